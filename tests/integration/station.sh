#!/bin/bash
# A station (`ramtune --all --continuous`) in network namespaces (as root;
# exit 77 = skipped otherwise):
#
#   station.sh RAMTUNE LIBECHOMOD
#
# scripts/netns with RAMTUNE_NETNS_LINKS=3: three links in one subnet, named
# as slots "Port 1" to "Port 3" (--slot). The station starts with nothing
# plugged in; then, as a technician would plug them:
#
#   Port 1  unit 1, a few seconds later; once it completed it is pulled and
#           unit 4 is plugged in its place at once (another MAC answers)
#   Port 2  unit 2; once it completed it is pulled, and unit 5 plugged in
#           after the slot has been silent for longer than a unit may be
#   Port 3  unit 3; once it completed it is pulled and a router answering
#           with unit 1's MAC is plugged: the ledger has it completed, so it
#           is not run ("done at")
#
# Each unit is a simulator of its own with the real curl. Then Ctrl+C with
# no unit running ends the station. Checked: status 0, each of the five units
# upgraded with its own values, the ledger holding five completed units each
# with its slot and the one session, the session's report and the history's
# CSV, and that the router plugged again received no command.
set -u

here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib.sh"
[ $# = 2 ] || { echo "usage: $0 RAMTUNE LIBECHOMOD" >&2; exit 2; }
export RAMTUNE_NETNS_LINKS=3
tool_curl=real
silence=3
items=$top/upgrade/calibration_items.h
checker=$here/full_run_checks.py
namespaces=(rt rt2 rt3)
lib_start station "$1" "$2" st
links=("vp$suffix" "vq$suffix" "vk3$suffix")
sim_pids=()   # by unit (1 to 6; 6 is unit 1's MAC plugged again)

mac_of() { [ "$1" = 6 ] && set -- 1; printf 'AA:BB:CC:0%d:00:01' "$1"; }
digits() { tr -d ':' <<<"$1"; }

# plug UNIT PORT: the unit's simulator on that port's link, with a copy of
# its snapshots before the run (unitN/before).
plug() {
    local dir=$work/unit$1
    mkdir -p "$dir/before"
    printf '{"mac": "%s", "reboot_silence_s": %d}\n' "$(mac_of "$1")" "$silence" >"$dir/scenario.json"
    "$netns" exec "${namespaces[$2 - 1]}" "$suffix" -- "$top/sim/run-sim.sh" "$dir/scenario.json" \
        "$dir/state" --reboot-silence "$silence" >"$dir/sim.out" 2>"$dir/sim.err" &
    sim_pids[$1]=$!
    wait_ready "$dir/sim.out" || { echo "simulator of unit $1 did not start:"; cat "$dir/sim.err"; exit 1; }
    cp "$dir/state/$router/nvram" "$dir/state/$router/mtd0" "$dir/before/"
}

pull() {
    kill -TERM "${sim_pids[$1]}" 2>/dev/null
    wait "${sim_pids[$1]}" 2>/dev/null
    sim_pids[$1]=
}

# A query on the ledger (python's sqlite3, read only); prints its rows.
ledger() {
    /usr/bin/python3 - "$RAMTUNE_LEDGER" "$1" <<'EOF'
import sqlite3, sys
db = sqlite3.connect("file:%s?mode=ro" % sys.argv[1], uri=True)
for row in db.execute(sys.argv[2]):
    print("|".join(str(v) for v in row))
EOF
}

# completed UNIT SECONDS: until the ledger has the unit's run completed
# and the station has said so.
completed() {
    local mac i
    mac=$(digits "$(mac_of "$1")")
    for ((i = 0; i < $2; i++)); do
        if [ "$(ledger "SELECT count(*) FROM runs WHERE unit = '$mac' AND outcome = 'completed'" 2>/dev/null)" = 1 ] &&
            grep -qF "$mac| Status: PASS" "$work/station/out"; then
            return 0
        fi
        sleep 1
    done
    echo "unit $1 did not complete within $2 s"
    return 1
}

layout station
report=$work/station/report.json
start_run station "$suffix" --all --continuous --accept-warning --report "$report" \
    --slot "Port 1=${links[0]}" --slot "Port 2=${links[1]}" --slot "Port 3=${links[2]}"
station_pid=$started
sleep 3
plug 1 1
sleep 3
plug 2 2
sleep 3
plug 3 3
ok=1
completed 1 240 || ok=0
pull 1
plug 4 1
completed 2 240 || ok=0
pull 2
sleep 12
plug 5 2
completed 3 240 || ok=0
pull 3
plug 6 3
wait_output station "completed by an earlier run (done at" 30 || ok=0
completed 4 240 || ok=0
completed 5 240 || ok=0
# Every unit has ended: Ctrl+C ends the station.
sleep 2
kill -INT "$station_pid"
finish_run "$station_pid"
for unit in 4 5 6; do pull "$unit"; done
out=$work/station/out

check "station: every unit answered and completed in turn" test "$ok" = 1
check "station: Ctrl+C with no unit running ends it with status 0" test "$status" = 0
for unit in 1 2 3 4 5; do
    dir=$work/unit$unit
    check "station: unit $unit has the new bootloader and its own values" \
        /usr/bin/python3 "$checker" kept "$dir/before" "$dir/state/$router" "$items"
done
check "station: the ledger holds five completed units, each run on its slot, in one session" \
    test "$(ledger "SELECT group_concat(unit || ' ' || slot, ','), count(DISTINCT session) FROM
                    (SELECT * FROM runs WHERE outcome = 'completed' ORDER BY unit)")" = \
    "AABBCC010001 Port 1,AABBCC020001 Port 2,AABBCC030001 Port 3,AABBCC040001 Port 1,AABBCC050001 Port 2|1"
check "station: the ledger has no other run and no open change" \
    test "$(ledger "SELECT (SELECT count(*) FROM runs), (SELECT count(*) FROM units WHERE state = 'changed')")" = "5|0"
check "station: the router plugged again under a completed unit's MAC received no command" \
    sh -c "! grep -q -e 'nvram' -e 'mtd' -e 'ATE' '$work/unit6/state/commands.log' 2>/dev/null"
check "station: every message about a unit names its slot" \
    sh -c "grep -qF 'Port 1 AABBCC040001| Status: PASS' '$out' && grep -qF 'Port 2 AABBCC050001| Status: PASS' '$out'"
check "station: the report holds the session's five units, each PASS on its slot" \
    /usr/bin/python3 -c "import json, sys; r = json.load(open('$report'))
units = sorted((u['mac'], u['slot'], u['ending']) for u in r['units'])
slots = {1: 'Port 1', 2: 'Port 2', 3: 'Port 3', 4: 'Port 1', 5: 'Port 2'}
sys.exit(0 if r['exit_status'] == 0 and units == [('AABBCC0%d0001' % k, slots[k], 'PASS') for k in range(1, 6)] else 1)"
(cd "$work/station" && "$work/station/$tool_folder_name/ramtune" --history --csv "$work/history.csv") \
    >"$work/history.out" 2>&1
check "station: the history's CSV has a row for each run with its slot" \
    sh -c "[ \"\$(grep -c ',Port [123],' '$work/history.csv')\" = 5 ]"
[ "$failed" = 0 ] || { show station; cat "$report" "$work/history.out"; }
lib_finish
