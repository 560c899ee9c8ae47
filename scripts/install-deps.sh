#!/usr/bin/env bash
# Installs what building and testing Pressgate needs on Debian 12, and nothing when it is all
# there already. Run as root (make test and make run call it).
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(cmake make g++ clang clang-format libclang-rt-14-dev googletest libgtest-dev
          libgmock-dev libbenchmark-dev qt6-base-dev xvfb xauth socat iproute2 procps
          pkgconf libsystemd-dev systemd desktop-file-utils man-db groff-base dpkg-dev
          file util-linux)
# cupsd and lprng without their recommends: installing lprng removes cups-client, and the
# recommends would pull it back in.
norecommends=(cups-daemon libcups2-dev lprng)

missing() {
    local p
    for p in "$@"; do
        dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed$' ||
            echo "$p"
    done
}

want=($(missing "${packages[@]}"))
want_nr=($(missing "${norecommends[@]}"))
if ((${#want[@]} + ${#want_nr[@]} > 0)); then
    if [ "$(id -u)" != 0 ]; then
        echo "install-deps: missing packages (${want[*]} ${want_nr[*]}); run as root" >&2
        exit 1
    fi
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    ((${#want[@]})) && apt-get install -y -qq "${want[@]}"
    ((${#want_nr[@]})) && apt-get install -y -qq --no-install-recommends "${want_nr[@]}"
fi

# LPRng's lpr, lpq and lprm exit 33 without a printcap.
[ -e /etc/printcap ] || touch /etc/printcap 2>/dev/null || true

# CUPS's lpd backend, as a test client. Package cups cannot be installed beside lprng, so it is
# unpacked into .deps without installing it.
backend=.deps/cups/usr/lib/cups/backend-available/lpd
if [ ! -x "$backend" ]; then
    mkdir -p .deps/cups-deb
    (cd .deps/cups-deb && rm -f cups_*.deb && apt-get download cups >/dev/null 2>&1 ||
        { apt-get update -qq && apt-get download cups; })
    dpkg-deb -x .deps/cups-deb/cups_*.deb .deps/cups
fi
