#!/bin/bash
# The console front end, non-interactive, against the router simulator in
# private network namespaces (as root; exit 77 = skipped otherwise):
#
#   console_against_simulator.sh RAMTUNE LIBECHOMOD
#
# The runs stop right after the backup: the tool folder's "curl" prints
# nothing, so the image upload fails ("Run Bat_Bin fail") and the run ends
# with exit status 2 before anything is written to the router. Then the
# Process log and the Data log on disk are checked line by line. Around that:
# the endings that need no run (warning refused, start-up check, no router,
# router choice closed) and the choice of the second of two routers.
#
# Everything it creates (namespaces, simulator, files) is removed on exit,
# also on failure or interruption.
set -u

if [ $# -ne 2 ]; then
    echo "usage: $0 RAMTUNE LIBECHOMOD" >&2
    exit 2
fi
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib.sh"
checker=$here/console_check_logs.py
items=$top/upgrade/calibration_items.h

lib_start console "$1" "$2" ci

# ---- endings without a run -----------------------------------------------------------------

layout usage
run usage --select
check "an option without its value is a usage error (64)" test "$status" = 64
run usage --help
check "--help succeeds and lists the exit statuses" \
    sh -c "[ $status = 0 ] && grep -q -- '--accept-warning' '$work/usage/out' && grep -q '^   3 ' '$work/usage/out'"
run usage --version
check "--version succeeds and prints the version" \
    sh -c "[ $status = 0 ] && grep -qx 'ramtune [0-9.]* (bootloader image 1.0.1.6)' '$work/usage/out'"

layout noscript
run noscript --script "$work/no such.script"
check "--script with a missing file: status 66, before any start-up step" \
    sh -c "[ $status = 66 ] && ! grep -q '===' '$work/noscript/out'"
check "--script with a missing file: the message names the file" contains "$work/noscript/out" "$work/no such.script"

layout refused
run refused
check "warning not accepted: the program ends with its code 0 (10)" test "$status" = 10
check "warning not accepted: no search" lacks "$work/refused/out" "[System]-Searching"

layout nolib
rm "$work/nolib/$tool_folder_name/libEchomod.so"
run nolib --accept-warning
check "missing echo library: start-up ends with code 0 (10)" test "$status" = 10
check "missing echo library: the message names the file" \
    contains "$work/nolib/out" "$work/nolib/$tool_folder_name/libEchomod.so"

# No simulator: the search series runs out after 20 s.
layout nobody
run nobody --accept-warning
check "no router: the series ends with status 3" test "$status" = 3
check "no router: the message box is shown" contains "$work/nobody/out" "No Devices found, please try again."
[ "$failed" = 0 ] || show nobody

# At a terminal, Exit ends with the status of the last ending, or with Exit's
# own code (11) when nothing has ended yet. script(1) gives ramtune a terminal.
interactive() {   # interactive NAME DELAY INPUT ARGS...: INPUT typed after DELAY seconds
    local dir=$work/$1 delay=$2 input=$3; shift 3
    local command="'$dir/$tool_folder_name/ramtune'"
    for arg in "$@"; do command+=" '$arg'"; done
    (sleep "$delay"; printf "$input"; sleep 5) |
        (cd "$dir" && RAMTUNE_MEMBER_MARKER=$work/no-marker \
            exec "$netns" exec pc "$suffix" -- script -qefc "$command" /dev/null) >"$dir/out" 2>&1 &
    run_pid=$!
    wait "$run_pid"
    status=$?
    run_pid=
}
layout exitnow
interactive exitnow 1 'e\n' --accept-warning
check "interactive Exit during the first search: Exit's own code (11)" test "$status" = 11
layout exitafter
interactive exitafter 30 '\ne\n' --accept-warning
check "interactive Exit after a series without a router: its status (3)" test "$status" = 3
[ "$failed" = 0 ] || show exitafter

# ---- backup, then the upload fails (normal mode) ----------------------------------------------

state=$work/state-normal
start_sim "$top/sim/scenarios/complete.json" "$state" || exit 1
layout normal
run normal --accept-warning
stop_sim
check "failed upload: the run ends with status 2" test "$status" = 2
check "failed upload: no PASS picture" lacks "$work/normal/out" "Status: PASS"
check "failed upload: the router got the FTP preparation" contains "$state/commands.log" "rc rc_service restart_ftpd"
check "failed upload: nothing after it reached the router" \
    sh -c "! grep -q -e chmod -e mtd-write -e 'cat /mnt/cfe' '$state/commands.log'"
process=$(one_log "$work/normal" Process)
data=$(one_log "$work/normal" Data)
named_after() {   # named_after LOG KIND: tool folder name, MAC digits, time stamp
    [[ "$1" =~ ^"$work/normal/${tool_folder_name}AABBCCDDEE01_$2_"[0-9]{14}\.txt$ ]]
}
both_named() { named_after "$process" Process && named_after "$data" Data; }
check "one Process log and one Data log, named after the tool folder and the MAC" both_named
check "the console tells where the logs are" \
    sh -c "grep -qxF 'Process log: $process' '$work/normal/out' && grep -qxF 'Data log: $data' '$work/normal/out'"
check "Data log: the 30 backed-up values in table order" \
    /usr/bin/python3 "$checker" data "$data" "$items" "$state/$router"
check "Process log (normal mode): only the [System] lines from the backup on" \
    /usr/bin/python3 "$checker" process "$process" \
    "[System]-Backing up data" "[System]-Upgrading DDR configuration...Please wait..." \
    "[System]-The upload of cfe_lm-7210a_1.0.1.6.bin did not complete (curl status 0, Retrieve data error!). Nothing has been changed on the router. Check the connection to the router, then press Retry."
[ "$failed" = 0 ] || show normal

# ---- the same run with its output on a terminal -------------------------------------------------

# 40 columns: the progress line needs a shorter bar there.
state=$work/state-terminal
start_sim "$top/sim/scenarios/complete.json" "$state" || exit 1
layout terminal
run_wrapper=(/usr/bin/python3 "$here/terminal_view.py" run 40 --)
run terminal --accept-warning
run_wrapper=()
stop_sim
check "on a terminal: the same ending (status 2)" test "$status" = 2
check "on a terminal: one progress line redrawn in place, the other lines as without a terminal" \
    /usr/bin/python3 "$here/terminal_view.py" check "$work/terminal/out" "$work/normal/out" 40
check "on a terminal: the line names the phase" contains "$work/terminal/out" "uploading"
[ "$failed" = 0 ] || show terminal

# ---- the same in engineering mode -------------------------------------------------------------

state=$work/state-engineering
start_sim "$top/sim/scenarios/complete.json" "$state" || exit 1
layout engineering "qzkw#8062"
run engineering --accept-warning
stop_sim
process=$(one_log "$work/engineering" Process)
check "engineering mode: status 2" test "$status" = 2
check "engineering mode: the run ends with Run Bat_Bin fail" \
    sh -c "[ \"\$(tail -n 1 '$process' | tr -d '\r')\" = 'Run Bat_Bin fail' ]"
check "engineering mode: the silent uploader is the cause" \
    sh -c "grep -q '^Retrieve data error!' '$process' && grep -q '^ExecuteConsoleCommand_Bin fail!' '$process'"
check "engineering mode: the Process log starts with SetPos(1)" \
    sh -c "[ \"\$(head -n 1 '$process' | tr -d '\r')\" = 'SetPos(1)' ]"
check "engineering mode: the console shows the diagnostic lines" contains "$work/engineering/out" "Run Bat_Bin fail"
check "engineering mode: the same Data log" \
    /usr/bin/python3 "$checker" data "$(one_log "$work/engineering" Data)" "$items" "$state/$router"
[ "$failed" = 0 ] || show engineering

# ---- two routers: the selection dialog ----------------------------------------------------------

state=$work/state-two
start_sim "$top/sim/scenarios/two-routers.json" "$state" || exit 1
layout closed
run closed --accept-warning
check "two routers, no --select: the choice is closed (10)" test "$status" = 10
check "two routers: the dialog lists both addresses" \
    sh -c "grep -q '\\[0\\] 10.77.0.2' '$work/closed/out' && grep -q '\\[1\\] 10.77.0.3' '$work/closed/out'"
layout second
run second --accept-warning --select 1
check "two routers, --select 1: the run goes on with the second router (status 2)" test "$status" = 2
data=$(one_log "$work/second" Data)
check "two routers, --select 1: the Data log holds the second router's values" \
    /usr/bin/python3 "$checker" data "$data" "$items" "$state/10.77.0.3"
stop_sim
[ "$failed" = 0 ] || show second

lib_finish
