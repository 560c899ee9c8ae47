# Pressgate: make run (the daemon on a local default), make test (everything, from a fresh
# Debian 12 machine). See README.md.

SHELL := /bin/bash
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
FUZZ_SECONDS ?= 60
PORT ?= 515
PREFIX ?= /usr/local
DESTDIR ?=

.PHONY: all deps build test check-threads test-tsan test-asan fuzz run gui bench screenshots \
        format clean install deb mutate

all: build

deps:
	@scripts/install-deps.sh

build/CMakeCache.txt:
	cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)

build: deps build/CMakeCache.txt
	cmake --build build -j $(JOBS)

test: build
	cd build && ctest --output-on-failure -j $(JOBS) --timeout 300

# One clang build serves two checks: every target (the daemon, the window, the tests) is compiled
# with the lock annotations checked as errors (-Werror=thread-safety, cmake/Options.cmake), and
# with ThreadSanitizer for the suite that test-tsan runs. check-threads builds it; test-tsan
# reuses what it built.
build-tsan/CMakeCache.txt:
	CXX=clang++ cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DPRESSGATE_SANITIZE=thread \
	    -DPRESSGATE_BENCH=OFF $(CMAKE_FLAGS)

check-threads: deps build-tsan/CMakeCache.txt
	@grep -q '^CMAKE_CXX_COMPILER:.*clang' build-tsan/CMakeCache.txt || \
	    { echo "build-tsan was configured without clang: remove it and run again" >&2; exit 1; }
	cmake --build build-tsan -j $(JOBS)

test-tsan: check-threads
	cd build-tsan && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$(CURDIR)/.tsan-suppressions" \
	    ctest --output-on-failure -j $(JOBS) --timeout 600

build-asan/CMakeCache.txt:
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DPRESSGATE_SANITIZE=address \
	    -DPRESSGATE_BENCH=OFF $(CMAKE_FLAGS)

test-asan: deps build-asan/CMakeCache.txt
	cmake --build build-asan -j $(JOBS)
	cd build-asan && ASAN_OPTIONS="detect_leaks=1" UBSAN_OPTIONS="print_stacktrace=1" \
	    ctest --output-on-failure -j $(JOBS) --timeout 600

# libFuzzer targets, built with clang (only they and what they link); each runs FUZZ_SECONDS
# seconds from its checked-in seeds in fuzz/seeds/NAME. A crash, leak or time-out fails the run
# and leaves its input in fuzz/.
build-fuzz/CMakeCache.txt:
	CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPRESSGATE_FUZZ=ON \
	    -DPRESSGATE_GUI=OFF -DPRESSGATE_TESTS=OFF -DPRESSGATE_BENCH=OFF $(CMAKE_FLAGS)

fuzz: deps build-fuzz/CMakeCache.txt
	cmake --build build-fuzz -j $(JOBS) --target fuzzers
	@set -eo pipefail; for f in build-fuzz/bin/fuzz_*; do \
	    name=$$(basename $$f); seeds=fuzz/seeds/$${name#fuzz_}; \
	    [ -n "$$(ls -A $$seeds 2>/dev/null)" ] || { echo "$$name: no seeds in $$seeds" >&2; exit 1; }; \
	    mkdir -p fuzz/corpus-$$name; \
	    echo "== $$name ($(FUZZ_SECONDS) s)"; \
	    $$f -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 -artifact_prefix=fuzz/ \
	        fuzz/corpus-$$name $$seeds 2>&1 | tail -n 12; \
	done

# Single-point faults (scripts/mutations/*.list) applied one at a time: each must fail the suite.
# FAULTS=text runs only the faults whose description or file holds the text.
mutate: build
	scripts/mutate.sh build "$(FAULTS)"

# The daemon in the foreground on the local default: home ./var/home, one queue "lp" on the
# printer folder ./var/printers/paper.
run: build
	@mkdir -p var/home var/printers/paper var/trace var/spool
	@[ -f var/home/pgate.ini ] || sed -e "s|@VAR@|$(CURDIR)/var|g" -e "s|@PORT@|$(PORT)|g" \
	    app/run-default.ini | sed 's/$$/\r/' > var/home/pgate.ini
	cd var && exec ../build/bin/pressgated --home home

gui: build
	@mkdir -p var/home var/printers/paper var/trace var/spool
	@[ -f var/home/pgate.ini ] || sed -e "s|@VAR@|$(CURDIR)/var|g" -e "s|@PORT@|$(PORT)|g" \
	    app/run-default.ini | sed 's/$$/\r/' > var/home/pgate.ini
	cd var && exec ../build/bin/pressgate --home home

# Installs under $(PREFIX) (below $(DESTDIR) when given): see packaging/CMakeLists.txt.
install: deps build/CMakeCache.txt
	cmake -S . -B build -DCMAKE_INSTALL_PREFIX=$(PREFIX) >/dev/null
	cmake --build build -j $(JOBS) --target pressgated $$(grep -q 'PRESSGATE_GUI:BOOL=ON' \
	    build/CMakeCache.txt && echo pressgate pgabout pg_help)
	DESTDIR=$(DESTDIR) cmake --install build

# The Debian package pressgate_<version>_<arch>.deb in build-deb/package: apt install ./<it>.
deb: deps
	cmake -S . -B build-deb -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
	    -DPRESSGATE_TESTS=OFF -DPRESSGATE_BENCH=OFF $(CMAKE_FLAGS)
	cmake --build build-deb -j $(JOBS)
	cd build-deb && cpack
	@ls build-deb/package/*.deb

bench: build
	@for b in bench/*; do [ -f "$$b" ] && [ -x "$$b" ] || continue; echo "== $$b"; "$$b" build; done

screenshots: build
	scripts/screenshots.sh build docs/screenshots

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf build build-tsan build-asan build-fuzz build-deb
