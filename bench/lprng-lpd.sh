# Sourced by the benches: starts a private LPRng lpd for the comparison runs.
#
# start_lprng_lpd DIR: lpd with a private /etc/lprng (bind-mounted in its own mount namespace,
# the machine's files untouched), running as user daemon, with queue "hold" that keeps every job
# in DIR/spool/hold (received, never printed), queue "null" that prints every job to
# /dev/null and removes it, and queue "file" that prints every job to the file DIR/printed. Sets lpd_port and lpd_pid (a process group, ended by
# stop_lprng_lpd). Needs root.
start_lprng_lpd() {
    local dir="$1"
    mkdir -p "$dir/etc" "$dir/spool/hold" "$dir/spool/null" "$dir/spool/file"
    : > "$dir/printed"
    chown daemon:daemon "$dir/printed"
    chmod 755 "$dir"
    cat > "$dir/etc/lpd.conf" <<CONF
printcap_path=$dir/etc/printcap
perms_path=$dir/etc/lpd.perms
lockfile=$dir/lpd.lock
unix_socket_path=off
CONF
    echo "DEFAULT ACCEPT" > "$dir/etc/lpd.perms"
    printf '%s\n' "hold:sd=$dir/spool/hold:ah:sh:mx=0" "null:sd=$dir/spool/null:lp=/dev/null:sh:mx=0" \
        "file:sd=$dir/spool/file:lp=$dir/printed:sh:mx=0" \
        > "$dir/etc/printcap"
    chown -R daemon:daemon "$dir/spool"
    lpd_port="$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')"
    setsid unshare -m sh -c "mount --bind '$dir/etc' /etc/lprng && exec /usr/sbin/lpd -F -p $lpd_port -P off" \
        > "$dir/lpd.log" 2>&1 &
    lpd_pid=$!
}

stop_lprng_lpd() {
    if [ -n "${lpd_pid:-}" ]; then
        kill -TERM -- "-$lpd_pid" 2>/dev/null || true
        wait "$lpd_pid" 2>/dev/null || true
        lpd_pid=""
    fi
}
