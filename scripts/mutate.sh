#!/usr/bin/env bash
# Applies each single-point fault of scripts/mutations/*.list in turn, rebuilds, runs the suite
# and says whether the suite killed it. A fault the suite lets through is a hole in the tests.
#
# A list line:  file | sed expression | what the fault breaks
# (blank lines and lines starting with # are skipped). The expression must change the file;
# one that changes nothing is reported as stale, so the list follows the code.
#
# Usage: scripts/mutate.sh [build dir] [name filter]   (default: build, every fault)
# With ALL=1 the whole suite runs for each fault and every failing test is named, and
# BUILD/mutate-matrix.txt gets one "fault<TAB>test" line per kill: a test that appears only
# beside others kills nothing of the list on its own. LISTS="a.list b.list" runs other lists.
set -uo pipefail

cd "$(dirname "$0")/.."
build=$(cd "${1:-build}" 2>/dev/null && pwd) || { echo "no build directory ${1:-build}: run make build" >&2; exit 2; }
filter=${2:-}
jobs=${JOBS:-$(nproc)}
[ -f "$build/CMakeCache.txt" ] || { echo "no configured build in $build: run make build" >&2; exit 2; }

# The logs live in the build directory: several worktrees may run this at once.
buildlog="$(cd "$build" && pwd)/mutate-build.log" testlog="$(cd "$build" && pwd)/mutate-test.log"
killed=0 survived=0 stale=0
# One failing test settles a fault, unless every killer is wanted (ALL=1).
timeout=120 stop=--stop-on-failure matrix="$build/mutate-matrix.txt"
if [ -n "${ALL:-}" ]; then
    # No test takes ten seconds when nothing is wrong: one still running at 20 s is killed.
    timeout=20 stop=
    : >"$matrix"
fi
survivors=()
restore() { [ -n "${saved:-}" ] && cp -p "$saved" "$target" && rm -f "$saved"; saved=; }
trap 'restore; exit 130' INT TERM

while IFS= read -r line; do
    [[ -z "${line//[[:space:]]/}" || "$line" =~ ^[[:space:]]*# ]] && continue
    IFS='|' read -r target expr what <<<"$line"
    trim() { sed 's/^[[:space:]]*//;s/[[:space:]]*$//' <<<"$1"; }
    target=$(trim "$target") expr=$(trim "$expr") what=$(trim "$what")
    [[ -n "$filter" && "$what $target" != *"$filter"* ]] && continue
    saved=$(mktemp)
    cp -p "$target" "$saved"
    sed -i -e "$expr" "$target"
    if cmp -s "$target" "$saved"; then
        echo "STALE     $target: $what"
        stale=$((stale + 1))
        restore
        continue
    fi
    touch "$target"
    if ! cmake --build "$build" -j "$jobs" >"$buildlog" 2>&1; then
        echo "STALE     $target: $what (does not compile)"
        stale=$((stale + 1))
    elif (cd "$build" && ctest -j "$jobs" --timeout "$timeout" $stop >"$testlog" 2>&1); then
        echo "SURVIVED  $target: $what"
        survived=$((survived + 1))
        survivors+=("$what")
    else
        first=$(grep -m1 -aoE '[0-9]+ - [^ ]+ \((Failed|Timeout|SEGFAULT|Subprocess aborted)\)' "$testlog" ||
            grep -m1 -aE '\*\*\*(Failed|Timeout)' "$testlog" | sed 's/ *\*\*\*.*//;s/.*Test *#//')
        if [ -n "${ALL:-}" ]; then
            failed=$(sed -n '/tests FAILED:/,$p' "$testlog" | grep -aoE '[0-9]+ - [^ ]+' | sed 's/^[0-9]* - //')
            while IFS= read -r t; do printf '%s\t%s\n' "$what" "$t"; done <<<"$failed" >>"$matrix"
            first="$(wc -l <<<"$failed") tests: $(tr '\n' ' ' <<<"$failed")"
        fi
        echo "KILLED    $target: $what  [${first:-suite failed}]"
        killed=$((killed + 1))
    fi
    restore
    touch "$target"
done < <(cat ${LISTS:-scripts/mutations/*.list})

# Leave the build matching the sources.
cmake --build "$build" -j "$jobs" >/dev/null 2>&1
echo "killed $killed, survived $survived, stale $stale"
if [ -n "${ALL:-}" ]; then
    # The tests that kill some fault alone, and those that kill none alone.
    awk -F'\t' '{n[$1]++; k[$1]=$2} END {for (f in n) if (n[f] == 1) print k[f]}' "$matrix" | sort -u >"$matrix.sole"
    (cd "$build" && ctest -N) | sed -n 's/^ *Test *#[0-9]*: //p' | sed 's/  #.*//' | sort | comm -23 - "$matrix.sole" |
        sed 's/^/NO SOLE KILL  /'
fi
[ "$survived" -eq 0 ] && [ "$stale" -eq 0 ]
