#!/usr/bin/env bash
# The daemon under a running systemd: started through its socket unit, it prints a job sent
# with lpr, its lines reach the journal with their priorities, and systemctl reload puts a
# queue added to pgate.ini in force. Usage: systemd-test.sh
# BUILD_DIR. Skipped (77) where systemd is not the service manager or this is not root.
set -euo pipefail
build=$1
if [ ! -d /run/systemd/system ] || [ "$(id -u)" != 0 ]; then
    echo "skipped: systemd is not PID 1 here, or not root (systemctl cannot start units)"
    exit 77
fi
unit=pressgated-test-$$
tmp=$(mktemp -d)
chmod 755 "$tmp"
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
cleanup() {
    systemctl stop "$unit.socket" "$unit.service" >/dev/null 2>&1 || true
    rm -f "/run/systemd/system/$unit.socket" "/run/systemd/system/$unit.service"
    systemctl daemon-reload
    rm -rf "$tmp"
}
trap cleanup EXIT

mkdir -p "$tmp/home" "$tmp/printers/paper"
printf '[GENERAL CONFIGURE]\r\nSpoolBaseDirectory=%s/spool\r\nPrintSystem=devices:%s/printers\r\n[Print Queues]\r\nlp=paper,,,Print in local/LAN printer - paper\r\nbroken=nosuch,,,x\r\n[Logging]\r\nLogToScreen=Y\r\n' \
    "$tmp" "$tmp" > "$tmp/home/pgate.ini"
sed -e "s|^ExecStart=.*|ExecStart=$build/bin/pressgated --home $tmp/home|" \
    -e "/^ExecStartPre=/d" -e "s|^ReadWritePaths=.*|ReadWritePaths=$tmp|" \
    -e "/^ProtectHome=/d" -e "/^PrivateTmp=/d" -e "/^Also=/d" \
    "$build/packaging/pressgated.service" > "/run/systemd/system/$unit.service"
sed -e "s|^ListenStream=.*|ListenStream=127.0.0.1:$port|" "$(dirname "$0")/../../packaging/pressgated.socket" \
    > "/run/systemd/system/$unit.socket"
systemctl daemon-reload
systemctl start "$unit.socket"

echo "hello through systemd" > "$tmp/job.txt"
lpr -P "lp@127.0.0.1%$port" "$tmp/job.txt"
for _ in $(seq 50); do
    ls "$tmp/printers/paper" | grep -q . && break
    sleep 0.2
done
grep -rq "hello through systemd" "$tmp/printers/paper"
systemctl is-active --quiet "$unit.service"
# The missing printer is a warning; the journal has it at that priority, and no error.
journalctl -u "$unit.service" -p warning --no-pager | grep -q 'has no printer "nosuch"'
! journalctl -u "$unit.service" -p err --no-pager | grep -q 'pressgated'

perl -pi -e 's/^(lp=paper.*\r\n)/$1added=paper,,,x\r\n/' "$tmp/home/pgate.ini"
systemctl reload "$unit.service"
echo "after the reload" > "$tmp/job2.txt"
lpr -P "added@127.0.0.1%$port" "$tmp/job2.txt"
for _ in $(seq 50); do
    grep -rq "after the reload" "$tmp/printers/paper" && break
    sleep 0.2
done
grep -rq "after the reload" "$tmp/printers/paper"
echo "systemd test passed"
