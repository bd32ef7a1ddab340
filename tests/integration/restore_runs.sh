#!/bin/bash
# Runs that end after the flash without the unit's values, the restore run
# that writes them back from the Data log, and a run that may not flash
# because its Data log cannot be written. The console front end against the
# router simulator in private network namespaces (as root; exit 77 = skipped
# otherwise):
#
#   restore_runs.sh RAMTUNE LIBECHOMOD [CASE...]   (no CASE: all, one after another)
#
#   reset     the router comes back from its first two reboots with factory
#             values (values-reset.json): the run fails its verification on both
#             passes (status 6) after the flash, and its ending names its Data
#             log and the restore command; then, from the same folder and
#             against the same router, "ramtune --restore DATALOG" ends PASS
#             without a second flash, the router holds the unit's values again
#             (boot partition and calibration variables), the run's Data log is
#             unchanged, and the restore kept the unit's values from before it
#             wrote (the factory values, in ..._BeforeRestore_...) and wrote a
#             Data log of the values it wrote (the original's last 30 lines)
#   bootmac   the same with a router that answers under the 2.4 GHz MAC of its
#             boot partition (restore-under-boot-mac.json): after the run's
#             reboot it answers under the factory MAC, so the run ends without
#             reaching it (status 6); the restore finds it under that MAC,
#             writes the unit's own MAC and finds it again under that one: PASS
#   retry     the bootmac router with ramtune at a terminal (script(1)): the run
#             fails after the flash and shows the restore hint; Retry typed at
#             the prompt writes the run's Data log back (the identity question
#             says a wiped unit shows a factory MAC, and is answered y): PASS,
#             the router holds the unit's values again, one flash, the run's
#             Data log unchanged; Exit then ends with status 0
#   readonly  a run started in a read-only working folder (a read-only bind
#             mount in a private mount namespace) stops before the transfer:
#             status 4, the Data log's path and "Nothing has been changed on
#             the router" in the output, no flash command, boot partition as before
#
# The tool folder holds the real curl. The simulated router is silent for 3 s
# after a reboot; the program's own countdown is 65 s per reboot, so the
# reset and bootmac cases take five to six minutes each, readonly half a minute.
set -u

all_cases="reset bootmac retry readonly backup verify"
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib.sh"
lib_cases "$all_cases" "$@"
logs_checker=$here/console_check_logs.py
checker=$here/full_run_checks.py
items=$top/upgrade/calibration_items.h
scenarios=$top/sim/scenarios
silence=3
tool_curl=real
flash_command="/mnt/cfe/mtd-write /mnt/cfe/cfe_lm-7210a_1.0.1.6.bin boot"
factory_mac=02:FA:C7:00:00:01   # FACTORY_MAC_2G of sim/scenario.py
unit_mac=AA:BB:CC:DD:EE:01      # the scenarios' unit

reboots() { grep -cx reboot "$state/commands.log"; }
show_file() { echo "--- output of $1"; sed 's/^/    /' "$2"; }
last_picture() { [ "$(grep '^Status: ' "$1" | tail -n 1)" = "Status: $2" ]; }
occurs() { [ "$(grep -cF -- "$2" "$1")" = "$3" ]; }   # occurs FILE TEXT COUNT (lines)

# begin CASE SCENARIO: tool folder, fresh simulator state, the simulator, and
# a copy of the router's snapshots before the run ($work/CASE/before). Sets
# $dir, $state, $before. The simulator keeps running until stop_sim.
begin() {
    layout "$1"
    dir=$work/$1
    state=$dir/state
    before=$dir/before
    start_sim "$scenarios/$2" "$state" "$silence" || exit 1
    mkdir -p "$before"
    cp "$state/$router/nvram" "$state/$router/mtd0" "$before/"
}

# The Data logs of the folder other than the first run's.
other_data_logs() {
    find "$dir" -maxdepth 1 -name "*_Data_*.txt" ! -name "$(basename "$datalog")"
}

# A Data log of the restore holds exactly the original's last 30 lines.
restore_log_written() {
    local f
    while IFS= read -r f; do
        cmp -s <(tail -n 30 "$f") <(tail -n 30 "$dir/datalog.orig") && return 0
    done < <(other_data_logs)
    return 1
}

# A Data log of the restore recorded what the unit held before the restore.
factory_values_recorded() {
    local f
    while IFS= read -r f; do
        grep -qxF "MacAddr_2G $factory_mac"$'\r' "$f" && return 0
    done < <(find "$dir" -maxdepth 1 -name "*_BeforeRestore_*.txt")
    return 1
}

# ---- a run that ends after the flash, then the restore ----------------------------------------

# restore_chain CASE SCENARIO WHAT: the run, checked by the caller through
# $dir/out-run; then the restore and its checks.
restore_chain() {
    local name=$1 what=$3
    begin "$name" "$2"
    run "$name" --accept-warning
    mv "$dir/out" "$dir/out-run"
    run_status=$status
    run_reboots=$(reboots)
    datalog=$(one_log "$dir" Data)
    check "$what: the run ends in failure after changing the unit (status 6)" test "$run_status" = 6
    check "$what: the run flashed the router once" occurs "$state/commands.log" "$flash_command" 1
    check "$what: the router came back with the factory MAC" \
        has_line "$state/$router/mtd0" "et0macaddr=$factory_mac"
    check "$what: the run's Data log holds the 30 values from before the run" \
        /usr/bin/python3 "$logs_checker" data "$datalog" "$items" "$before"
    check "$what: the run's ending names its Data log and the restore command" \
        sh -c "grep -F -- '--restore' '$dir/out-run' | grep -qF -- \"\$(basename \"\$1\")\"" sh "$datalog"
    if [ "$failed" != 0 ]; then
        show_file "the run" "$dir/out-run"
        if [ -z "$datalog" ]; then stop_sim; return; fi
    fi
    cp "$datalog" "$dir/datalog.orig"

    run "$name" --restore "$datalog" --accept-warning --yes
    stop_sim
    out=$dir/out
    check "$what: the restore ends PASS (status 0)" test "$status" = 0
    check "$what: the restore shows the PASS picture and progress 20" \
        sh -c "grep -qxF 'Status: PASS' '$out' && grep -qxF 'Progress [####################] 20/20' '$out'"
    check "$what: the restore did not flash again (the bootloader is new already)" \
        occurs "$state/commands.log" "$flash_command" 1
    check "$what: the restore rebooted the router once" test "$(reboots)" = $((run_reboots + 1))
    check "$what: the router holds the unit's values from before the run again" \
        /usr/bin/python3 "$checker" restored "$before" "$state/$router" "$items"
    check "$what: the run's Data log is unchanged" cmp -s "$datalog" "$dir/datalog.orig"
    check "$what: the restore wrote a Data log of the 30 lines it wrote" restore_log_written
    check "$what: the restore recorded the unit's factory values before writing" factory_values_recorded
}

case_reset() {
    restore_chain reset values-reset.json "values reset"
    check "values reset: the run's verification failed on both passes (FAIL, two reboots)" \
        sh -c "[ '$run_reboots' = 2 ] && grep -qxF 'Status: FAIL' '$dir/out-run'"
    [ "$failed" = 0 ] || show_file "the restore" "$dir/out"
}

case_bootmac() {
    restore_chain bootmac restore-under-boot-mac.json "boot MAC"
    check "boot MAC: the router answered under the factory MAC, then under the unit's" \
        sh -c "grep -qF 'answers under MAC $factory_mac' '$work/sim.err' &&
               grep -qF 'answers under MAC $unit_mac' '$work/sim.err'"
    check "boot MAC: the run did not reach the router after its reboot" \
        sh -c "[ '$run_reboots' = 1 ] && grep -qF 'Unable to retrieve LM-7210A/LM-7210B info!' '$dir/out-run'"
    [ "$failed" = 0 ] || show_file "the restore" "$dir/out"
}

# ---- Retry at a terminal after a failure after the flash ------------------------------------------

# at_terminal NAME ARGS...: ramtune from the working folder NAME at a
# terminal, in the PC namespace, until it ends; sets $status. What it asks
# is answered as a user would: Enter for a message box, y for a question, r
# the first time Retry is offered, e once Exit alone is. Output in NAME/out.
at_terminal() {
    local dir=$work/$1 arg n boxes=0 questions=0 retried=0 exited=0
    shift
    local command="'$dir/$tool_folder_name/ramtune'"
    for arg in "$@"; do command+=" '$arg'"; done
    mkfifo "$dir/typed"
    (cd "$dir" && RAMTUNE_MEMBER_MARKER=$work/no-marker \
        exec "$netns" exec pc "$suffix" -- script -qefc "$command" /dev/null) <"$dir/typed" >"$dir/out" 2>&1 &
    run_pid=$!
    exec 3>"$dir/typed"
    while kill -0 "$run_pid" 2>/dev/null; do
        n=$(grep -cF '[Enter] OK' "$dir/out")
        for ((; boxes < n; boxes++)); do printf '\n' >&3; done
        n=$(grep -cF '[y] Yes  [n] No: ' "$dir/out")
        for ((; questions < n; questions++)); do printf 'y\n' >&3; done
        if [ "$retried" = 0 ] && grep -qF '[r] Retry' "$dir/out"; then
            printf 'r\n' >&3
            retried=1
        fi
        if [ "$exited" = 0 ] && grep -q '^\[e\] Exit  \[?\] help' "$dir/out"; then
            printf 'e\n' >&3
            exited=1
        fi
        sleep 0.5
    done
    wait "$run_pid"
    status=$?
    run_pid=
    exec 3>&-
}

case_retry() {
    begin retry restore-under-boot-mac.json
    at_terminal retry --accept-warning
    stop_sim
    out=$dir/out
    datalog=$(find "$dir" -maxdepth 1 -name "*_Data_*.txt" | sort | head -n 1)   # the run's, the earlier
    check "Retry: the run fails after the flash and shows the restore hint" \
        sh -c "grep -qF 'Unable to retrieve LM-7210A/LM-7210B info!' '$out' &&
               grep -qF \"To write them back, run: cd '\" '$out' &&
               grep -qF 'Do not start a new upgrade of this unit: it would be reported as up to date.' '$out'"
    check "Retry: typed at the prompt, it restores (the question names the factory MAC case)" \
        sh -c "grep -qF 'A unit whose values were wiped shows a factory MAC' '$out' &&
               grep -qF 'are back in the unit' '$out' && ! grep -qF 'already has the latest' '$out'"
    check "Retry: the restore ends PASS, Exit then with status 0" \
        sh -c "[ '$status' = 0 ] && [ \"\$(grep -o 'Status: [A-Za-z]*' '$out' | tail -n 1)\" = 'Status: PASS' ]"
    check "Retry: the router was flashed once and holds the unit's values again" \
        sh -c "[ \"\$(grep -cF -- '$flash_command' '$state/commands.log')\" = 1 ] &&
               /usr/bin/python3 '$checker' restored '$before' '$state/$router' '$items'"
    check "Retry: the run's Data log still holds the values from before the run" \
        /usr/bin/python3 "$logs_checker" data "$datalog" "$items" "$before"
    [ "$failed" = 0 ] || show_file "the session" "$out"
}

# ---- a read-only working folder -------------------------------------------------------------------

case_readonly() {
    begin readonly complete.json
    # ramtune starts inside a mount namespace of its own in which the working
    # folder is a read-only bind mount; the machine's view stays writable.
    run_wrapper=(unshare -m --propagation private /bin/sh -c
                 'mount --bind "$0" "$0" && mount -o remount,bind,ro "$0" && cd "$0" && exec "$@"'
                 "$dir")
    run readonly --accept-warning --yes
    run_wrapper=()
    stop_sim
    out=$dir/out
    check "read-only folder: status 4" test "$status" = 4
    check "read-only folder: the PAUSE picture" last_picture "$out" PAUSE
    check "read-only folder: the output names the Data log that could not be written" \
        grep -qE "The Data log .*${tool_folder_name}[0-9A-F]{12}_Data_[0-9]+\.txt could not be written" "$out"
    check "read-only folder: the output says nothing has been changed" \
        contains "$out" "Nothing has been changed on the router"
    check "read-only folder: nothing of the transfer step reached the router" \
        sh -c "! grep -q -e 'mkdir /tmp/mnt/cfe' -e 'mtd-write' -e 'enable_ftp' '$state/commands.log'"
    check "read-only folder: the boot partition is unchanged" \
        /usr/bin/python3 "$checker" untouched "$before" "$state/$router"
    check "read-only folder: the backup reached the router" contains "$state/commands.log" "ATE Get_MacAddr_2G"
    check "read-only folder: no log file in the folder, and the mount stayed in the run's namespace" \
        sh -c "[ -z \"\$(find '$dir' -maxdepth 1 -name '*.txt')\" ] && ! grep -qF ' $dir ' /proc/self/mountinfo"
    [ "$failed" = 0 ] || show readonly
}

# ---- the runs that only read ------------------------------------------------------------------------

# Nothing of a write, an upload or a reboot in the router's commands.
nothing_written() {
    ! grep -q -e 'Set_' -e 'nvram set' -e 'nvram commit' -e '^reboot$' -e 'mtd-write' -e 'enable_ftp' \
        -e 'mkdir /tmp/mnt/cfe' "$state/commands.log"
}

# backup: --backup writes the unit's Data log and nothing to the unit; that
# file then restores the unit (--restore of the backup: PASS).
case_backup() {
    begin backup complete.json
    run backup --backup --accept-warning
    mv "$dir/out" "$dir/out-backup"
    local backup_log
    backup_log=$(one_log "$dir" Data)
    check "backup: status 0, its line names the file and says nothing was changed" \
        sh -c "[ '$status' = 0 ] && grep -qF 'nothing has been changed on the router' '$dir/out-backup'"
    check "backup: no write, upload or reboot reached the router" nothing_written
    check "backup: the Data log holds the 30 values of the unit" \
        /usr/bin/python3 "$logs_checker" data "$backup_log" "$items" "$before"
    run backup --restore "$backup_log" --accept-warning
    stop_sim
    check "backup: the backup's file restores the unit (PASS)" sh -c "[ '$status' = 0 ] && grep -qF 'are back in the unit' '$dir/out'"
    [ "$failed" = 0 ] || { show_file "the backup" "$dir/out-backup"; show backup; }
}

# verify: --verify of the unit's own Data log with one value changed names
# that value and ends with status 8; nothing is written.
case_verify() {
    begin verify complete.json
    run verify --backup --accept-warning
    local changed=$dir/changed_Data_20260101000000.txt
    sed 's/^0:pa2ga0=0x..../0:pa2ga0=0x1234/' "$(one_log "$dir" Data)" >"$changed"
    : >"$state/commands.log"
    run verify --verify "$changed" --accept-warning
    stop_sim
    check "verify: status 8" test "$status" = 8
    check "verify: the differing value is named" contains "$dir/out" "1 of 30 values differ: 0:pa2ga0"
    check "verify: the table row says DIFFERENT" sh -c "grep -E '0:pa2ga0 +nvram get 0:pa2ga0 +0x1234.*DIFFERENT' '$dir/out' >/dev/null"
    check "verify: no write, upload or reboot reached the router" nothing_written
    check "verify: no Data log written by the check" test "$(find "$dir" -maxdepth 1 -name "*_Data_*.txt" | wc -l)" = 2
    echo "--- the check's table"; sed -n '/Check: the unit against/,/Check: The unit differs/p' "$dir/out"
    [ "$failed" = 0 ] || show verify
}

# ---- the cases asked for ---------------------------------------------------------------------------

lib_run_cases restore_run "$1" "$2" rr
