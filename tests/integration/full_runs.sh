#!/bin/bash
# Complete upgrade runs of the console front end, non-interactive, against the
# router simulator in private network namespaces (as root; exit 77 = skipped
# otherwise):
#
#   full_runs.sh RAMTUNE LIBECHOMOD [CASE...]   (no CASE: all, one after another)
#
# Unlike console_against_simulator.sh the tool folder holds the real curl, so
# the image and the flash tool reach the simulator's FTP server and the run
# goes on through the flash, the write-back, the reboot (the simulated router
# is silent for 3 s) and the verification. The cases (CTest runs each as a
# test of its own, side by side: every script has its own namespaces):
#
#   corrupt      the image check fails: PAUSE, nothing flashed
#   normal       a complete run: PASS; the Process log is the [System] trail
#                exactly; the Data log; the boot partition keeps the unit's values
#   engineering  the same in engineering mode: the commands reach the router
#                in the run's order; the uploads' lines in the Process log
#   mismatch     a value reads back wrong after the first reboot: a second
#                pass, then PASS; the flash command still only once
#   neverback    the router stays silent after the reboot: the Wi-Fi hint
#                once, one re-scan, FAIL, status 6 (the unit was changed)
#   interrupted  the program is killed one second after the flash; started
#                again in the same folder with --yes it makes no new backup,
#                writes every value back from the first Data log: PASS
#
# Each run takes one to five minutes (the reboot countdown alone is 65 s).
set -u

all_cases="corrupt normal engineering mismatch neverback interrupted"
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib.sh"
lib_cases "$all_cases" "$@"
logs_checker=$here/console_check_logs.py
checker=$here/full_run_checks.py
items=$top/upgrade/calibration_items.h
scenarios=$top/sim/scenarios
engineering="qzkw#8062"
silence=3
tool_curl=real

# begin CASE SCENARIO [MODE]: tool folder, fresh simulator state, the
# simulator, and a copy of the router's snapshots before the run
# ($work/CASE/before); then the run. Sets $state, $before and $status.
begin() {
    local name=$1 scenario=$2
    shift 2
    layout "$name" "$@"
    state=$work/$name/state
    before=$work/$name/before
    start_sim "$scenarios/$scenario" "$state" "$silence" || exit 1
    mkdir -p "$before"
    cp "$state/$router/nvram" "$state/$router/mtd0" "$before/"
    run "$name" --accept-warning --yes
    stop_sim
}

last_picture() { [ "$(grep '^Status: ' "$1" | tail -n 1)" = "Status: $2" ]; }
occurs() { [ "$(grep -cF -- "$2" "$1")" = "$3" ]; }   # occurs FILE TEXT COUNT (lines)
commands_are() { /usr/bin/python3 "$checker" commands "$state/commands.log" "$items" "$before" "$1"; }
kept() { /usr/bin/python3 "$checker" kept "$before" "$state/$router" "$items"; }
full_bar="Progress [####################] 20/20"

# ---- the image does not arrive intact ----------------------------------------------------------

case_corrupt() {
    begin corrupt corrupt-image.json
    out=$work/corrupt/out
    check "corrupt image: status 2" test "$status" = 2
    check "corrupt image: the PAUSE picture" last_picture "$out" PAUSE
    check "corrupt image: the box says the file could not be checked" \
        has_line "$out" "| Unable to check bootloader file"
    check "corrupt image: the router got the backup, the FTP preparation and 5 image checks, nothing more" \
        commands_are corrupt
    check "corrupt image: no flash tool command reached the router" lacks "$state/commands.log" "mtd-write"
    check "corrupt image: the boot partition still holds bootloader 1.0.1.5" \
        has_line "$state/$router/mtd0" "bl_version=1.0.1.5"
    check "corrupt image: the boot partition is unchanged" \
        /usr/bin/python3 "$checker" untouched "$before" "$state/$router"
    [ "$failed" = 0 ] || show corrupt
}

# ---- a complete run, normal mode ---------------------------------------------------------------

case_normal() {
    begin normal complete.json
    out=$work/normal/out
    check "complete run: status 0" test "$status" = 0
    check "complete run: the PASS picture and progress 20" \
        sh -c "grep -qxF 'Status: PASS' '$out' && grep -qxF '$full_bar' '$out'"
    check "complete run: no FAIL or PAUSE picture on the way" \
        sh -c "! grep -qx -e 'Status: FAIL' -e 'Status: PAUSE' '$out'"
    # "Complete" carries no [System] marker: shown in engineering mode only.
    check "complete run: [System]-Upgrade completed is shown, the diagnostic Complete is not" \
        sh -c "grep -qxF '[System]-Upgrade completed' '$out' && ! grep -qxF 'Complete' '$out'"
    check "complete run: the Data log holds the 30 values from before the run" \
        /usr/bin/python3 "$logs_checker" data "$(one_log "$work/normal" Data)" "$items" "$before"
    check "complete run (normal mode): the Process log is the [System] trail, exactly" \
        /usr/bin/python3 "$checker" trail "$(one_log "$work/normal" Process)"
    check "complete run: the boot partition has the new bootloader and the unit's own values" kept
    check "complete run: the commands reached the router in the run's order" commands_are complete
    [ "$failed" = 0 ] || show normal
}

# ---- the same in engineering mode ------------------------------------------------------------------

case_engineering() {
    begin engineering complete.json "$engineering"
    out=$work/engineering/out
    process=$(one_log "$work/engineering" Process)
    check "engineering mode: status 0 and the PASS picture" \
        sh -c "[ $status = 0 ] && grep -qxF 'Status: PASS' '$out' && grep -qxF '$full_bar' '$out'"
    check "engineering mode: the commands reached the router in the run's order" commands_are complete
    check "engineering mode: the flash command was sent once" \
        occurs "$state/commands.log" "/mnt/cfe/mtd-write /mnt/cfe/cfe_lm-7210a_1.0.1.6.bin boot" 1
    check "engineering mode: the Process log runs from SetPos(1) to Complete, [System]-Upgrade completed" \
        sh -c "[ \"\$(head -n 1 '$process' | tr -d '\r')\" = 'SetPos(1)' ] &&
               [ \"\$(tail -n 2 '$process' | tr -d '\r' | paste -sd '|')\" = 'Complete|[System]-Upgrade completed' ]"
    check "engineering mode: each upload logs its ok line only, right after the FTP preparation" \
        sh -c "[ \"\$(tr -d '\r' <'$process' | grep -A4 -xF 'rc rc_service restart_ftpd' | paste -sd '|')\" = \
                 'rc rc_service restart_ftpd|ExecuteConsoleCommand_Bin ok!|Run Bat_Bin OK|ExecuteConsoleCommand_Mtd ok!|Run Bat_Mtd OK' ]"
    check "engineering mode: the console shows Complete and [System]-Upgrade completed" \
        sh -c "grep -qxF 'Complete' '$out' && grep -qxF '[System]-Upgrade completed' '$out'"
    check "engineering mode: one pass only" lacks "$process" "RETRY"
    check "engineering mode: the boot partition has the new bootloader and the unit's own values" kept
    [ "$failed" = 0 ] || show engineering
}

# ---- a value reads back wrong after the first reboot ---------------------------------------------

case_mismatch() {
    begin mismatch mismatch-after-first-reboot.json "$engineering"
    out=$work/mismatch/out
    process=$(one_log "$work/mismatch" Process)
    check "mismatch: status 0 and the PASS picture in the end" \
        sh -c "[ $status = 0 ] && grep -qxF 'Status: PASS' '$out' && grep -qxF '$full_bar' '$out'"
    check "mismatch: no message box for the first mismatch" lacks "$out" "Found data error"
    check "mismatch: the RETRY line once in the Process log" \
        sh -c "[ \"\$(tr -d '\r' <'$process' | grep -cxF '============= RETRY ==============')\" = 1 ]"
    check "mismatch: two write-backs and two reboots, the flash command once" \
        sh -c "[ \"\$(grep -c '^ATE Set_MacAddr_2G ' '$state/commands.log')\" = 2 ] &&
               [ \"\$(grep -c '^ATE Set_PINCode ' '$state/commands.log')\" = 2 ] &&
               [ \"\$(grep -cx 'reboot' '$state/commands.log')\" = 2 ] &&
               [ \"\$(grep -c 'mtd-write /mnt/cfe' '$state/commands.log')\" = 1 ]"
    check "mismatch: the commands of both passes in order (the wrong row read 8 times)" \
        commands_are mismatch
    check "mismatch: the second pass put the value right" kept
    [ "$failed" = 0 ] || show mismatch
}

# ---- the router never comes back after the reboot -------------------------------------------------

case_neverback() {
    begin neverback never-back.json "$engineering"
    out=$work/neverback/out
    process=$(one_log "$work/neverback" Process)
    check "never back: status 6 (the unit was changed)" test "$status" = 6
    check "never back: the FAIL picture" last_picture "$out" FAIL
    check "never back: the Wi-Fi hint once" occurs "$out" "If you updated the bootloader wirelessly" 1
    check "never back: exactly one re-scan" \
        sh -c "[ \"\$(tr -d '\r' <'$process' | grep -cxF 'Re-Scan devices again....')\" = 1 ]"
    check "never back: the run ends with Complete, then the lines that tell how to restore" \
        sh -c "[ \"\$(tail -n 3 '$process' | head -n 1 | tr -d '\r')\" = 'Complete' ] && grep -qxF 'Complete' '$out' &&
               tail -n 2 '$process' | head -n 1 | grep -qF -- \"To write them back, run: cd '\" &&
               tail -n 2 '$process' | head -n 1 | grep -qF -- \"/ramtune' --restore '\" &&
               tail -n 1 '$process' | grep -qF -- 'Do not start a new upgrade of this unit'"
    check "never back: no PASS picture" lacks "$out" "Status: PASS"
    check "never back: the router got everything up to the reboot, once" commands_are never-back
    [ "$failed" = 0 ] || show neverback
}

# ---- killed after the flash, started again -------------------------------------------------------

case_interrupted() {
    local dir=$work/interrupted pid first
    layout interrupted
    state=$dir/state
    before=$dir/before
    start_sim "$scenarios/complete.json" "$state" "$silence" || exit 1
    mkdir -p "$before"
    cp "$state/$router/nvram" "$state/$router/mtd0" "$before/"
    start_run interrupted "$suffix" --accept-warning --yes
    first=$started
    for _ in $(seq 1200); do grep -q "mtd-write /mnt" "$state/commands.log" 2>/dev/null && break; sleep 0.1; done
    sleep 1
    # As a crash or a power cut of the PC would: this folder's program only.
    pid=$(pgrep -f -x "$dir/$tool_folder_name/ramtune --accept-warning --yes")
    [ -n "$pid" ] && kill -KILL $pid
    finish_run "$first"
    check "interrupted: the first run was killed" test "$status" != 0
    check "interrupted: the unit ledger holds the unit's open change" \
        test "$(sqlite3 "$RAMTUNE_LEDGER" "SELECT count(*) FROM units WHERE state = 'changed'")" = 1
    mv "$dir/out" "$dir/out.first"
    run interrupted --accept-warning --yes
    stop_sim
    out=$dir/out
    check "interrupted, started again: status 0" test "$status" = 0
    check "interrupted, started again: the PASS picture" last_picture "$out" PASS
    check "interrupted, started again: it says the last run did not finish" \
        grep -qF "[System]-The last run on this unit did not finish" "$out"
    check "interrupted, started again: the values come back from the first Data log" \
        grep -qF "[System]-Writing the values of " "$out"
    check "interrupted, started again: the boot partition has the new bootloader and the unit's own values" kept
    check "interrupted, started again: the ledger closed the change" \
        test "$(sqlite3 "$RAMTUNE_LEDGER" "SELECT count(*) FROM units WHERE state = 'changed'")" = 0
    [ "$failed" = 0 ] || show interrupted
}

# ---- the cases asked for ---------------------------------------------------------------------------

lib_run_cases full_run "$1" "$2" fr
