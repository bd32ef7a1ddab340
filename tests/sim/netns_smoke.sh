#!/bin/bash
# End-to-end smoke check of the router simulator, as root, in private network
# namespaces: discovery broadcast, one command, one FTP upload with real curl.
# Everything it creates is removed on exit, also on failure or interruption.
set -u
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../.." && pwd)
netns=$top/scripts/netns
py=/usr/bin/python3

if [ "$(id -u)" != 0 ]; then
    echo "netns_smoke: needs root (network namespaces); skipped" >&2
    exit 77
fi

suffix=sm$$
work=$(mktemp -d /tmp/ramtune-smoke.XXXXXX)
sim_pid=
cleanup() {
    if [ -n "$sim_pid" ]; then kill -TERM "$sim_pid" 2>/dev/null; wait "$sim_pid" 2>/dev/null; fi
    "$netns" down "$suffix" >/dev/null 2>&1
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

fails=0
check() {   # check DESCRIPTION COMMAND...
    local what=$1; shift
    if "$@"; then echo "ok   - $what"; else echo "FAIL - $what"; fails=$((fails + 1)); fi
}
pc() { "$netns" exec pc "$suffix" -- "$@"; }
client() { pc "$py" "$here/client.py" "$@"; }
cmd() { client command --mac AA:BB:CC:DD:EE:01 --seq "$1" "$2"; }

"$netns" up "$suffix" >/dev/null || exit 1
"$netns" exec rt "$suffix" -- "$top/sim/run-sim.sh" "$top/sim/scenarios/complete.json" \
    "$work/state" >"$work/sim.out" 2>"$work/sim.err" &
sim_pid=$!
for _ in $(seq 50); do grep -q READY "$work/sim.out" 2>/dev/null && break; sleep 0.1; done
if ! grep -q READY "$work/sim.out"; then
    echo "FAIL - simulator did not start"; cat "$work/sim.err"; exit 1
fi

out=$(client discover)
check "discovery broadcast is answered" \
    test "$out" = "10.77.0.2 AA:BB:CC:DD:EE:01 LM-7210A LM-7210A-01 0"

out=$(cmd 2 "nvram get bl_version")
check "command request returns the variable" test "$out" = "1.0.1.5"

for c in "mkdir /tmp/mnt/cfe" "nvram set enable_ftp=1" "nvram set st_ftp_mode=1" \
         "rc rc_service restart_ftpd"; do
    cmd 3 "$c" >/dev/null || echo "warning: no answer to '$c'"
done
"$py" "$top/sim/make_files.py" "$work/files" >/dev/null
image=$work/files/cfe_lm-7210a_1.0.1.6.bin
pc curl -sS --max-time 20 -T "$image" ftp://10.77.0.2/cfe/ >"$work/curl.out" 2>&1
check "curl upload succeeds" test $? = 0
check "uploaded image is byte-identical" \
    cmp -s "$image" "$work/state/10.77.0.2/tmp/mnt/cfe/cfe_lm-7210a_1.0.1.6.bin"

out=$(cmd 4 "cat /mnt/cfe/cfe_lm-7210a_1.0.1.6.bin |grep bl_version")
check "router greps the uploaded image" test "$out" = "bl_version=1.0.1.6"

check "command record holds the commands in order" \
    test "$(head -2 "$work/state/commands.log")" = "$(printf 'nvram get bl_version\nmkdir /tmp/mnt/cfe')"

if [ $fails -ne 0 ]; then
    echo "--- simulator stderr"; cat "$work/sim.err"; echo "--- curl"; cat "$work/curl.out"
    exit 1
fi
echo "netns smoke: all passed"
