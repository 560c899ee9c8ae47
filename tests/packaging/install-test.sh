#!/usr/bin/env bash
# What make install puts where, and whether the desktop file, the systemd units and the manual
# pages are accepted by the tools that read them. Usage: install-test.sh BUILD_DIR
set -euo pipefail
build=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

DESTDIR=$tmp cmake --install "$build" >/dev/null
prefix=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$build/CMakeCache.txt")
root=$tmp$prefix

expected=(
    sbin/pressgated
    lib/systemd/system/pressgated.service
    lib/systemd/system/pressgated.socket
    share/man/man1/pressgate.1
    share/man/man5/pgate.ini.5
    share/man/man8/pressgated.8
)
if grep -q '^PRESSGATE_GUI:BOOL=ON' "$build/CMakeCache.txt"; then
    expected+=(
        bin/pressgate
        lib/pressgate/pressgate
        lib/pressgate/pgate.hlp
        lib/pressgate/libpgabout.so
        share/applications/pressgate.desktop
        share/icons/hicolor/scalable/apps/pressgate.svg
    )
fi
diff -u <(printf '%s\n' "${expected[@]}" | sort) \
        <(cd "$root" && find . \( -type f -o -type l \) | sed 's|^\./||' | sort)

fail=0
if [ -e "$root/bin/pressgate" ]; then
    # The window runs from its private folder, where it finds its help and about box.
    [ "$(readlink "$root/bin/pressgate")" = ../lib/pressgate/pressgate ] || {
        echo "bin/pressgate does not link to lib/pressgate/pressgate"; fail=1; }
    "$root/bin/pressgate" --version | grep -q '^pressgate ' || fail=1
    desktop-file-validate "$root/share/applications/pressgate.desktop" || fail=1
fi
"$root/sbin/pressgated" --version | grep -q '^pressgated ' || fail=1

# The units, with the daemon and the manual pages where the unit says they are; the root gets
# the system's own units and the commands the service runs besides the daemon.
mkdir -p "$tmp/usr/lib/systemd" "$tmp/bin"
cp -r /usr/lib/systemd/system "$tmp/usr/lib/systemd/"
cp /bin/mkdir /bin/sh "$tmp/bin/"
out=$(MANPATH=$root/share/man systemd-analyze verify --root="$tmp" \
      "$root/lib/systemd/system/pressgated.socket" \
      "$root/lib/systemd/system/pressgated.service" 2>&1) || { echo "$out"; fail=1; }
if [ -n "$out" ]; then
    echo "systemd-analyze verify: $out"; fail=1
fi
grep -q "^ExecStart=$prefix/sbin/pressgated --system\$" \
    "$root/lib/systemd/system/pressgated.service" || { echo "ExecStart"; fail=1; }

for page in "$root"/share/man/man*/*; do
    warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
    if [ -n "$warnings" ]; then
        echo "$page: $warnings"; fail=1
    fi
done
exit $fail
