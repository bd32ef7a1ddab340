#!/bin/bash
# What the unit ledger does with a unit whose run was killed after the flash:
# the console front end against the router simulator in private network
# namespaces (as root; exit 77 = skipped otherwise):
#
#   ledger_runs.sh RAMTUNE LIBECHOMOD [CASE...]   (no CASE: all, one after another)
#
# Every case starts with a complete upgrade run killed (SIGKILL) one second
# after the router received the flash command: the unit holds the new image's
# defaults, the ledger holds the run's open change. Then:
#
#   missing  the run's Data log moved away: a start (--accept-warning --yes)
#            says it cannot be read and ends with status 6, nothing written to
#            the router; the Data log moved back: the next start writes it
#            back, PASS, the unit holds its own values again and the Data log
#            is unchanged
#   gone     the Data log never comes back: the first start ends with status
#            6 and writes nothing; the second writes back the ledger's copy
#            of the values: PASS, the unit holds its own values again
#   bench    the unit (answering under its boot partition's MAC) is power
#            cycled and answers under the image's default MAC; a bench
#            (--all --yes) on its link stops it as left mid-run: status 6,
#            "unfinished (6)" in the summary and the report, the open change
#            and its restore command named, nothing written to the router
#
# The simulated router is silent for 3 s after a reboot; a run's own reboot
# countdown is 65 s, so missing and gone take about three minutes each,
# bench about one.
set -u

all_cases="missing gone bench"
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib.sh"
lib_cases "$all_cases" "$@"
checker=$here/full_run_checks.py
items=$top/upgrade/calibration_items.h
silence=3
tool_curl=real
flash_command="/mnt/cfe/mtd-write /mnt/cfe/cfe_lm-7210a_1.0.1.6.bin boot"
unit=AABBCCDDEE01          # the scenarios' unit, as the ledger writes it
image_mac=001122334455     # et0macaddr of the image of sim/make_files.py

show_file() { echo "--- output of $1"; sed 's/^/    /' "$2"; }

# The ledger's state of the unit (python's sqlite3, read only).
ledger_state() {
    /usr/bin/python3 - "$RAMTUNE_LEDGER" "$1" <<'EOF'
import sqlite3, sys
db = sqlite3.connect("file:%s?mode=ro" % sys.argv[1], uri=True)
row = db.execute("SELECT state FROM units WHERE mac = ?", (sys.argv[2],)).fetchone()
print(row[0] if row else "")
EOF
}
ledger_says() { [ "$(ledger_state "$1")" = "$2" ]; }
change_closed() { local s; s=$(ledger_state "$1"); [ -n "$s" ] && [ "$s" != changed ]; }

# mark_router: what the router holds and has received so far, for
# written_nothing (copies in $dir/mark, the commands.log line count in $mark).
mark_router() {
    mkdir -p "$dir/mark"
    cp "$state/$router/nvram" "$state/$router/mtd0" "$dir/mark/"
    mark=$(wc -l <"$state/commands.log")
}

# Nothing of a write, an upload, a flash or a reboot reached the router since
# mark_router, and its boot partition is as it was then.
written_nothing() {
    ! tail -n +$((mark + 1)) "$state/commands.log" |
        grep -q -e 'Set_' -e 'nvram set' -e 'nvram commit' -e '^reboot$' -e 'mtd-write' -e 'enable_ftp' \
            -e 'mkdir /tmp/mnt/cfe' &&
        /usr/bin/python3 "$checker" untouched "$dir/mark" "$state/$router"
}

# killed_run NAME SCENARIO: the tool folder, the simulator, the router's
# snapshots before the run ($before), and an upgrade run killed one second
# after the flash command; its Data log in $datalog. Sets $dir and $state.
killed_run() {
    local name=$1 first
    layout "$name"
    dir=$work/$name
    state=$dir/state
    before=$dir/before
    start_sim "$2" "$state" "$silence" || exit 1
    mkdir -p "$before"
    cp "$state/$router/nvram" "$state/$router/mtd0" "$before/"
    start_run "$name" "$suffix" --accept-warning --yes
    first=$started
    for _ in $(seq 1800); do grep -qF "$flash_command" "$state/commands.log" 2>/dev/null && break; sleep 0.1; done
    sleep 1
    # As a crash or a power cut of the PC would. start_run's pid is ramtune's
    # own: the namespace helpers exec it.
    kill -KILL "$first"
    finish_run "$first"
    mv "$dir/out" "$dir/out.killed"
    datalog=$(one_log "$dir" Data)
    check "$name: the run was killed after the flash command" \
        sh -c "[ '$status' = 137 ] && [ \"\$(grep -cF -- '$flash_command' '$state/commands.log')\" = 1 ]"
    check "$name: the run wrote its Data log" test -n "$datalog"
    check "$name: the ledger holds the run's open change" ledger_says "$unit" changed
}

# ---- single runs --------------------------------------------------------------------------------

# stopped_start NAME WHAT: a start with the Data log out of reach; it must
# end with status 6 and write nothing.
stopped_start() {
    mark_router
    run "$1" --accept-warning --yes
    mv "$dir/out" "$dir/out.stopped"
    check "$2: the start ends with status 6 and the PAUSE picture" \
        sh -c "[ '$status' = 6 ] && grep -qxF 'Status: PAUSE' '$dir/out.stopped'"
    check "$2: it says the Data log cannot be read and nothing was written" \
        sh -c "grep -qF 'and its Data log cannot be read' '$dir/out.stopped' &&
               grep -qF 'Nothing has been written to the router.' '$dir/out.stopped'"
    check "$2: nothing was written to the router" written_nothing
    check "$2: the ledger still holds the open change" ledger_says "$unit" changed
}

# completed_start NAME WHAT: the start that writes the values back: PASS.
completed_start() {
    run "$1" --accept-warning --yes
    stop_sim
    out=$dir/out
    check "$2: status 0 and the PASS picture" sh -c "[ '$status' = 0 ] && grep -qxF 'Status: PASS' '$out'"
    check "$2: no new backup: it resumes the unfinished run" \
        grep -qF "[System]-The last run on this unit did not finish: it changed the unit at" "$out"
    check "$2: the router holds the unit's values from before the first run again" \
        /usr/bin/python3 "$checker" restored "$before" "$state/$router" "$items"
    check "$2: the ledger's open change is closed" change_closed "$unit"
}

case_missing() {
    killed_run missing "$top/sim/scenarios/complete.json"
    mkdir -p "$dir/away"
    cp "$datalog" "$dir/datalog.orig"
    mv "$datalog" "$dir/away/"
    stopped_start missing "Data log moved away"
    check "Data log moved away: the output says the ledger's copy is written by the next start" \
        grep -qF "Started again without it, the program writes back the copy of its values" "$dir/out.stopped"
    mv "$dir/away/$(basename "$datalog")" "$datalog"
    completed_start missing "Data log moved back"
    check "Data log moved back: the values come from the Data log" \
        sh -c "grep -qF '[System]-Writing the values of $datalog back' '$dir/out' &&
               ! grep -qF \"the unit ledger's copy\" '$dir/out'"
    check "Data log moved back: the first run's Data log is unchanged" cmp -s "$datalog" "$dir/datalog.orig"
    [ "$failed" = 0 ] || { show_file "the stopped start" "$dir/out.stopped"; show missing; }
}

case_gone() {
    killed_run gone "$top/sim/scenarios/complete.json"
    rm -f "$datalog"
    stopped_start gone "Data log gone"
    completed_start gone "Data log gone, started again"
    check "Data log gone, started again: the values come from the ledger's copy" \
        sh -c "grep -qF 'still cannot be read (' '$dir/out' &&
               grep -qF \"): the values are taken from the unit ledger's copy.\" '$dir/out'"
    [ "$failed" = 0 ] || { show_file "the stopped start" "$dir/out.stopped"; show gone; }
}

# ---- a bench meets the unit left mid-run ------------------------------------------------------------

report_is() { /usr/bin/python3 -c "import json,sys; r=json.load(open('$report')); sys.exit(0 if ($1) else 1)"; }

case_bench() {
    local link=vp$suffix
    printf '{"answers_under_boot_mac": true}\n' >"$work/boot-mac.json"
    killed_run bench "$work/boot-mac.json"
    # Power off and on: the unit starts from the image's boot configuration.
    kill -USR1 "$sim_pid"
    for _ in $(seq 50); do grep -qF "answers under MAC 00:11:22:33:44:55" "$work/sim.err" && break; sleep 0.1; done
    check "bench: after the power cycle the unit answers under the image's default MAC" \
        grep -qF "answers under MAC 00:11:22:33:44:55" "$work/sim.err"
    mark_router
    report=$dir/report.json
    run bench --all --accept-warning --yes --report "$report" --interface "$link"
    stop_sim
    out=$dir/out
    check "bench: exit status 6" test "$status" = 6
    check "bench: the unit is found under the image's default MAC and its run stops as left mid-run" \
        sh -c "grep -qF '$link $image_mac| [System]-The unit $unit was changed by a run that did not finish' '$out' &&
               grep -qF '$link $image_mac| [System]-Stopped: nothing has been written to the router.' '$out'"
    check "bench: the open change's restore command names its Data log" \
        sh -c "grep -F '$link $image_mac| [System]-The unit $unit' '$out' | grep -F -- '--restore' |
               grep -qF -- \"\$(basename '$datalog')\""
    check "bench: the summary says unfinished (6)" \
        grep -qE "^  $link +$image_mac +.* unfinished \(6\)" "$out"
    check "bench: the report says unfinished (6)" \
        report_is "[u['ending'] for u in r['units']] == ['unfinished (6)'] and r['exit_status'] == 6"
    check "bench: nothing was written to the router" written_nothing
    check "bench: the ledger still holds the killed run's open change" ledger_says "$unit" changed
    [ "$failed" = 0 ] || { show bench; cat "$report"; }
}

lib_run_cases ledger_run "$1" "$2" lg
