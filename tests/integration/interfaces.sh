#!/bin/bash
# The console front end on a PC with two links in one subnet (as root; exit
# 77 = skipped otherwise):
#
#   interfaces.sh RAMTUNE LIBECHOMOD [CASE...]   (no CASE: all, one after another)
#
# scripts/netns with RAMTUNE_NETNS_LINKS=2: the first link holds the default
# route and a decoy with the router's address (10.77.0.2) that answers
# nothing and counts what it receives; the simulated router is on the second
# link. The cases:
#
#   found   a complete run with the real curl: PASS; the decoy gets discovery
#           requests (it is reachable) but no command and no FTP connection
#   chosen  --interface naming the first link: nothing found, and the hint
#           after "No Devices found" names that link; an unknown interface is
#           a usage error that lists both links; --list-interfaces lists them
#   second  a unit on each link, both at the router's address and under one
#           MAC (two units reset to the factory), the second answering a little
#           later: the selection lists both with their links, --select 1 picks
#           the second, which is upgraded to PASS; the first gets no command
#           and no FTP connection (a decoy beside it counts them)
set -u

all_cases="found chosen second"
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib.sh"
lib_cases "$all_cases" "$@"
export RAMTUNE_NETNS_LINKS=2
sim_ns=rt2
tool_curl=real
decoy_pid=
first_unit_pid=

# start_helper VAR OUT CMD...: CMD in the first link's router namespace, its
# pid in VAR; waits for its READY line in OUT.
start_helper() {
    local var=$1 out=$2
    shift 2
    "$netns" exec rt "$suffix" -- "$@" >"$out" 2>&1 &
    printf -v "$var" %s $!
    wait_ready "$out" || { echo "$1 did not start:"; cat "$out"; return 1; }
}

stop_helper() {   # stop_helper VAR
    [ -n "${!1}" ] || return 0
    kill -TERM "${!1}" 2>/dev/null
    wait "${!1}" 2>/dev/null
    printf -v "$1" %s ""
}

# start_decoy NAME [--ftp-only]: the decoy, its counts in NAME/decoy.
start_decoy() {
    decoy_counts=$work/$1/decoy
    start_helper decoy_pid "$work/$1/decoy.out" /usr/bin/python3 -u "$here/decoy.py" "$decoy_counts" "${@:2}"
}

# start_first_unit NAME: a simulated unit on the first link too, its state
# in NAME/first.
start_first_unit() {
    start_helper first_unit_pid "$work/$1/first.out" "$top/sim/run-sim.sh" "$top/sim/scenarios/complete.json" \
        "$work/$1/first" --reboot-silence 3
}

counted() {   # counted KIND TEST VALUE: e.g. counted commands -eq 0
    local n
    n=$(tr ' ' '\n' <"$decoy_counts" | sed -n "s/^$1=//p")
    [ -n "$n" ] && [ "$n" "$2" "$3" ]
}

# A line after another one in FILE (both whole lines).
after() { awk -v a="$2" -v b="$3" '$0 == a { seen = 1 } seen && $0 == b { found = 1 } END { exit !found }' "$1"; }

case_found() {
    layout found
    start_decoy found || exit 1
    start_sim "$top/sim/scenarios/complete.json" "$work/found/state" 3 || exit 1
    run found --accept-warning --yes
    stop_sim
    stop_helper decoy_pid
    out=$work/found/out
    check "two links, router on the second: status 0 and the PASS picture" \
        sh -c "[ $status = 0 ] && grep -qxF 'Status: PASS' '$out'"
    check "two links: the decoy on the first link received discovery requests" counted discovery -gt 0
    check "two links: the decoy received no command of the run" counted commands -eq 0
    check "two links: the decoy received no FTP connection" counted ftp -eq 0
    [ "$failed" = 0 ] || { show found; cat "$decoy_counts"; }
}

case_chosen() {
    layout chosen
    local first=vp$suffix second=vq$suffix
    start_decoy chosen || exit 1
    start_sim "$top/sim/scenarios/complete.json" "$work/chosen/state" 3 || exit 1
    run chosen --accept-warning --interface "$first"
    stop_sim
    stop_helper decoy_pid
    out=$work/chosen/out
    check "--interface the first link: status 3 (no router)" test "$status" = 3
    check "--interface the first link: the hint after No Devices found names it" \
        after "$out" "| No Devices found, please try again." \
        "[System]-Searched on $first 10.77.0.1/255.255.255.0, link up"
    check "--interface the first link: the second link is named as not chosen" \
        has_line "$out" "[System]-Not searched: $second 10.77.0.11/255.255.255.0, link up (not the chosen interface)"
    check "--interface the first link: the router got no command" \
        sh -c "! [ -s '$work/chosen/state/commands.log' ]"
    check "--interface the first link: the decoy got no command" counted commands -eq 0
    [ "$failed" = 0 ] || show chosen

    run chosen --interface nosuch0
    check "--interface unknown: usage error (64) listing both links" \
        sh -c "[ $status = 64 ] && grep -qF '  $first 10.77.0.1/255.255.255.0, link up' '$out' &&
               grep -qF '  $second 10.77.0.11/255.255.255.0, link up' '$out'"
    run chosen --list-interfaces
    check "--list-interfaces: both links" \
        sh -c "[ $status = 0 ] && [ \"\$(grep -c 'link up' '$out')\" = 2 ]"
    [ "$failed" = 0 ] || show chosen
}

case_second() {
    layout second
    local first=vp$suffix second=vq$suffix dir=$work/second
    start_decoy second --ftp-only || exit 1
    start_first_unit second || exit 1
    printf '%s\n' '{"comment": "answers discovery after the unit on the first link",' \
        ' "faults": [{"command": "@discovery", "action": "delay", "delay_ms": 300}]}' >"$dir/later.json"
    start_sim "$dir/later.json" "$dir/state" 3 || exit 1
    run second --accept-warning --yes --select 1
    stop_sim
    stop_helper first_unit_pid
    stop_helper decoy_pid
    out=$dir/out
    check "two units on two links, the second chosen: status 0 and the PASS picture" \
        sh -c "[ $status = 0 ] && grep -qxF 'Status: PASS' '$out'"
    check "two units on two links: the selection names each one's link" \
        sh -c "grep -qF '[0] 10.77.0.2 ($first)' '$out' && grep -qF '[1] 10.77.0.2 ($second)' '$out'"
    check "two units on two links: the second has the new bootloader" \
        grep -qx 'bl_version=1.0.1.6' "$dir/state/10.77.0.2/mtd0"
    check "two units on two links: the first got no command" \
        sh -c "[ -f '$dir/first/commands.log' ] && ! [ -s '$dir/first/commands.log' ]"
    check "two units on two links: the first got no FTP connection" counted ftp -eq 0
    [ "$failed" = 0 ] || { show second; cat "$decoy_counts"; }
}

lib_run_cases interfaces "$1" "$2" if
