#!/bin/bash
# A bench (`ramtune --all`) in network namespaces (as root; exit 77 = skipped
# otherwise):
#
#   bench.sh RAMTUNE LIBECHOMOD [CASE...]   (no CASE: both, one after another)
#
# scripts/netns with RAMTUNE_NETNS_LINKS=6: six links in one subnet, a
# simulated router at 10.77.0.2 on each. The cases:
#
#   units   every router with its own MAC except:
#
#   links 1, 3, 4  a complete run each: PASS
#   link 2         the flash check never finds the new version: a failure
#                  after the unit was changed (status 6, the restore hint)
#   link 5         two routers (10.77.0.2 and 10.77.0.3): not run
#   link 6         a router with the MAC of link 1's unit: not run
#
#           One bench with the real curl. Checked: the bench's exit status,
#           each unit's ending, logs and values as in a single run, the summary
#           and the JSON report, the skipped links with their reasons, and that
#           no unit received a command or an FTP connection meant for another.
#   ctrlc   two links: Ctrl+C once the unit on link 1 was changed, while the
#           one on link 2 waits for its router to become ready: link 1 is left
#           to finish (PASS), link 2 ends at once with nothing changed.
#   term    the same with SIGTERM to the bench and to every process under it,
#           as a service manager stops a service: the same first step.
set -u

all_cases="units ctrlc term"
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib.sh"
lib_cases "$all_cases" "$@"
export RAMTUNE_NETNS_LINKS=6
tool_curl=real
silence=3
items=$top/upgrade/calibration_items.h
checker=$here/full_run_checks.py
logs_checker=$here/console_check_logs.py
sim_pids=()

# The six links' names (the suffix is known once lib_start has run).
set_links() { links=("vp$suffix" "vq$suffix" "vk3$suffix" "vk4$suffix" "vk5$suffix" "vk6$suffix"); }
namespaces=(rt rt2 rt3 rt4 rt5 rt6)
macs=(AA:BB:CC:01:00:01 AA:BB:CC:02:00:01 AA:BB:CC:03:00:01 AA:BB:CC:04:00:01 AA:BB:CC:05:00:01
      AA:BB:CC:01:00:01)
pc_ips=(10.77.0.1 10.77.0.11 10.77.0.12 10.77.0.13 10.77.0.14 10.77.0.15)
digits() { tr -d ':' <<<"$1"; }

# The scenario of link K (1 to 6) in case CASE.
scenario() {
    case $2$1 in
        ctrlc2 | term2) printf '{"mac": "%s", "never_ready": true}\n' "${macs[1]}" ;;
        units2) printf '{"mac": "%s", "reboot_silence_s": 3, "faults": [{"command": "cat /dev/mtd0 |grep bl_version", "action": "reply", "text": "bl_version=1.0.1.5\\n"}]}\n' "${macs[1]}" ;;
        units5) printf '{"routers": [{"ip": "10.77.0.2", "mac": "%s"}, {"ip": "10.77.0.3", "mac": "AA:BB:CC:05:00:02"}]}\n' "${macs[4]}" ;;
        *) printf '{"mac": "%s", "reboot_silence_s": 3}\n' "${macs[$1 - 1]}" ;;
    esac
}

# start_sims CASE K...: the simulators of those links, with a copy of each
# router's snapshots before the run (CASE/linkK/before).
start_sims() {
    local name=$1 k dir
    shift
    for k in "$@"; do
        dir=$work/$name/link$k
        mkdir -p "$dir/before"
        scenario "$k" "$name" >"$dir/scenario.json"
        "$netns" exec "${namespaces[$k - 1]}" "$suffix" -- "$top/sim/run-sim.sh" "$dir/scenario.json" \
            "$dir/state" --reboot-silence "$silence" >"$dir/sim.out" 2>"$dir/sim.err" &
        sim_pids+=($!)
        wait_ready "$dir/sim.out" || { echo "simulator $k did not start:"; cat "$dir/sim.err"; exit 1; }
        cp "$dir/state/$router/nvram" "$dir/state/$router/mtd0" "$dir/before/"
    done
}

stop_sims() {
    local pid
    for pid in "${sim_pids[@]}"; do kill -TERM "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done
    sim_pids=()
}

unit_log() { find "$work/$1" -maxdepth 1 -name "*$(digits "$2")_$3_*.txt" | head -n 1; }
report_is() { /usr/bin/python3 -c "import json,sys; r=json.load(open('$report')); sys.exit(0 if ($1) else 1)"; }

case_units() {
    set_links
    layout units
    start_sims units 1 2 3 4 5 6
    report=$work/units/report.json
    args=(--all --accept-warning --report "$report")
    for l in "${links[@]}"; do args+=(--interface "$l"); done
    run units "${args[@]}"
    stop_sims
    out=$work/units/out

    check "bench: exit status 6 (a unit was changed and did not complete)" test "$status" = 6
    for k in 1 3 4; do
        l=${links[$k - 1]} m=$(digits "${macs[$k - 1]}") dir=$work/units/link$k
        check "bench: $l: PASS" has_line "$out" "$l $m| Status: PASS"
        check "bench: $l: the Data log holds the unit's values from before the run" \
            /usr/bin/python3 "$logs_checker" data "$(unit_log units "${macs[$k - 1]}" Data)" "$items" "$dir/before"
        check "bench: $l: the Process log is the [System] trail of a single run" \
            /usr/bin/python3 "$checker" trail "$(unit_log units "${macs[$k - 1]}" Process)"
        check "bench: $l: the boot partition has the new bootloader and the unit's own values" \
            /usr/bin/python3 "$checker" kept "$dir/before" "$dir/state/$router" "$items"
        check "bench: $l: the commands of a single run, in order" \
            /usr/bin/python3 "$checker" commands "$dir/state/commands.log" "$items" "$dir/before" complete
    done
    l=${links[1]} m=$(digits "${macs[1]}")
    check "bench: $l: the failure after the flash, with the restore hint" \
        sh -c "grep -qxF '$l $m| Status: FAIL' '$out' &&
               grep -qF '$l $m| [System]-This unit' '$out' && grep -qF -- '--restore' '$out'"
    check "bench: $l: its Data log holds the unit's values from before the run" \
        /usr/bin/python3 "$logs_checker" data "$(unit_log units "${macs[1]}" Data)" "$items" "$work/units/link2/before"
    check "bench: the link with two routers is skipped and said so" \
        has_line "$out" "[System]-${links[4]}: more than one router answered (AABBCC050001 LM-7210A at 10.77.0.2, AABBCC050002 LM-7210A at 10.77.0.3); this link is not run: leave one router on it."
    check "bench: the second unit with one MAC is skipped and said so" \
        grep -qF "[System]-${links[5]}: the router AABBCC010001 has the MAC of the unit on ${links[0]}" "$out"
    check "bench: the skipped links' routers received no command" \
        sh -c "! [ -s '$work/units/link5/state/commands.log' ] && ! [ -s '$work/units/link6/state/commands.log' ]"
    for k in 1 2 3 4 5 6; do
        check "bench: link $k: no command for another unit, FTP only from its own link's address" \
            sh -c "! grep -q 'no router has that MAC' '$work/units/link$k/sim.err' &&
                   ! grep 'ftp connection from' '$work/units/link$k/sim.err' | grep -vq 'from ${pc_ips[$k - 1]}\$'"
    done
    check "bench: the FTP uploads of each run reached its own unit" \
        sh -c "for k in 1 2 3 4; do grep -q 'ftp connection from' '$work/units/link'\$k/sim.err || exit 1; done"
    check "bench: no hint about a held port 9999" lacks "$out" "port 9999 is held"
    check "bench: the summary lists every unit and the skipped links" \
        sh -c "grep -qF 'Summary of the bench:' '$out' &&
               [ \"\$(grep -cE '^  vk?[pq34]$suffix +AABBCC0[1-4]0001 +LM-7210A +1\\.0\\.1\\.5 -> 1\\.0\\.1\\.6 +PASS ' '$out')\" = 3 ] &&
               grep -qE '^  ${links[1]} +AABBCC020001 .*FAIL, restore it \\(6\\)' '$out' &&
               grep -qF '  ${links[4]}: not run: more than one router answered' '$out'"
    check "bench: the report: four units, three PASS, the changed one with 6, two skipped links" \
        report_is "r['exit_status'] == 6 and len(r['units']) == 4 and
                   sorted(u['exit_status'] for u in r['units']) == [0, 0, 0, 6] and
                   [u['unit_changed'] for u in r['units'] if u['exit_status'] == 6] == [True] and
                   all(u['process_log'] and u['data_log'] and u['started'] and u['ended'] for u in r['units']) and
                   [s['link'] for s in r['skipped']] == ['${links[4]}', '${links[5]}']"
    [ "$failed" = 0 ] || { show units; cat "$report"; }
}

# The bench's pid and those of every process under it.
process_tree() {
    local child
    echo "$1"
    for child in $(pgrep -P "$1"); do process_tree "$child"; done
}

# stop_case NAME: once the unit on link 1 was changed, ctrlc: Ctrl+C to the
# bench; term: SIGTERM to the bench and to every process under it at once.
stop_case() {
    local name=$1 l1 l2 m1 m2 pids
    set_links
    layout "$name"
    start_sims "$name" 1 2
    report=$work/$name/report.json
    l1=${links[0]} l2=${links[1]}
    m1=$(digits "${macs[0]}") m2=$(digits "${macs[1]}")
    start_run "$name" "$suffix" --all --accept-warning --report "$report" --interface "$l1" --interface "$l2"
    local bench_pid=$started
    if wait_output "$name" "$l1 $m1| [System]-Writing data" 120; then
        if [ "$name" = term ]; then
            pids=$(process_tree "$bench_pid")
            # shellcheck disable=SC2086  # one pid per word
            kill -TERM $pids
        else
            kill -INT "$bench_pid"
        fi
    fi
    finish_run "$bench_pid"
    stop_sims
    out=$work/$name/out
    check "$name: the bench says what the first step does" grep -qF "[System]-Ctrl+C: the units not changed yet" "$out"
    check "$name: the changed unit is said to be left to finish, and completes" \
        sh -c "grep -qF '$l1 $m1: this unit has been changed (flashed): its run is left to finish' '$out' &&
               grep -qxF '$l1 $m1| Status: PASS' '$out'"
    check "$name: the unit not changed yet ends at once, saying so" \
        has_line "$out" "$l2 $m2| [System]-Stopped at the bench (Ctrl+C) before anything was changed on this unit."
    check "$name: nothing was flashed on that unit" lacks "$work/$name/link2/state/commands.log" "mtd-write"
    check "$name: the bench's status is 2 and the report says stopped" \
        sh -c "[ $status = 2 ] && /usr/bin/python3 -c \"import json,sys; r=json.load(open('$report'));
sys.exit(0 if [u['ending'] for u in r['units']] == ['PASS', 'stopped (2)'] else 1)\""
    [ "$failed" = 0 ] || { show "$name"; cat "$report"; }
}

case_ctrlc() { stop_case ctrlc; }
case_term() { stop_case term; }

lib_run_cases bench "$1" "$2" bn
