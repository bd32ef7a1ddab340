#!/bin/bash
# The script runner of the console front end (ramtune --script FILE) against
# the router simulator in private network namespaces (as root; exit 77 =
# skipped otherwise):
#
#   script_against_simulator.sh RAMTUNE LIBECHOMOD
#
# A script with CR LF line ends, a comment line and one bare-LF line is sent
# to the router twice; Result.txt in the current directory must hold every
# command with the router's whole reply, LF only, the second run appended to
# the first. Without a router the program says so (status 3) and sends nothing.
set -u

if [ $# -ne 2 ]; then
    echo "usage: $0 RAMTUNE LIBECHOMOD" >&2
    exit 2
fi
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib.sh"

lib_start script "$1" "$2" sc

layout script
dir=$work/script
script=$dir/check.script
printf 'nvram get bl_version\r\n; the version of the firmware\r\nATE Get_FWVersion\r\nnvram get wlopmode\n' \
    >"$script"
# Each reply ends in a line feed of its own, so every record is followed by an empty line.
printf '<Send> nvram get bl_version\n<Response> 1.0.1.5\n\n<Send> ATE Get_FWVersion\n<Response> 3.0.4.118\n\n<Send> nvram get wlopmode\n<Response> 7\n\n' \
    >"$work/one-run"
cat "$work/one-run" "$work/one-run" >"$work/two-runs"
printf 'nvram get bl_version\nATE Get_FWVersion\nnvram get wlopmode\n' >"$work/sent-once"
cat "$work/sent-once" "$work/sent-once" >"$work/sent-twice"

state=$work/state
start_sim "$top/sim/scenarios/complete.json" "$state" || exit 1

run script --script "$script"
check "script: status 0" test "$status" = 0
check "script: Result.txt holds each command and the whole reply, LF only" \
    cmp -s "$dir/Result.txt" "$work/one-run"
check "script: the comment line was not sent" cmp -s "$state/commands.log" "$work/sent-once"
check "script: the console says where the results are" \
    contains "$dir/out" "appended to Result.txt in the current directory"
[ "$failed" = 0 ] || { show script; echo "--- Result.txt"; cat -A "$dir/Result.txt"; }

run script --script "$script"
check "script, second run: status 0" test "$status" = 0
check "script, second run: appended to Result.txt" cmp -s "$dir/Result.txt" "$work/two-runs"
check "script, second run: the same commands again" cmp -s "$state/commands.log" "$work/sent-twice"
stop_sim
[ "$failed" = 0 ] || { show script; echo "--- Result.txt"; cat -A "$dir/Result.txt"; }

# No simulator: the one search runs out.
run script --script "$script"
check "script, no router: status 3" test "$status" = 3
check "script, no router: Result.txt unchanged" cmp -s "$dir/Result.txt" "$work/two-runs"
[ "$failed" = 0 ] || show script

lib_finish
