#!/bin/bash
# Station benchmark: units plugged one after another into a station
# (`ramtune --all --continuous`), each against the same unit's run alone.
#
#   perf/station_run.sh [SLOTS [STAGGER_S [REBOOT_SILENCE_S]]]   (as root;
#                                                   default 8 slots, 5 s, 20 s)
#
# scripts/netns with SLOTS links (up to 24), a simulated router with its own
# MAC on each (sim/scenarios/complete.json otherwise), the real curl. First
# one unit's run alone (`ramtune --interface LINK1`, timed from start to
# exit). Then a station on every link, named "Port 1" to "Port N", with
# nothing plugged in; unit k's simulator is started on link k STAGGER_S
# seconds after unit k-1's, as a person plugs them. perf/station_watch.py
# follows the station: when each unit ended (its last "Status:" line), the CPU
# time of the station, of its searches and of its unit runs (from /proc),
# and the station's resident memory while the most units ran. Once every
# unit has ended, Ctrl+C ends the station.
#
# Prints for each unit (its end - its plug-in) / (the run alone), the
# largest of them (goal <= 1.10), the station's CPU time (itself and its
# searches) as a share of one core over the session (goal <= 2 %), the same
# with its unit runs and their curl, and the memory. Exit status 0 when
# every unit completed and both goals are met, 1 otherwise.
set -u

slots=${1:-8}
stagger=${2:-5}
silence=${3:-20}
if ! [[ "$slots" =~ ^[0-9]+$ && "$stagger" =~ ^[0-9]+$ && "$silence" =~ ^[0-9]+$ ]] ||
    [ "$slots" -lt 1 ] || [ "$slots" -gt 24 ]; then
    echo "usage: $0 [SLOTS (1 to 24) [STAGGER_S [REBOOT_SILENCE_S]]]" >&2
    exit 2
fi
top=$(cd "$(dirname "$0")/.." && pwd)
build=${RAMTUNE_BUILD_DIR:-$top/build}
if [ "$(id -u)" = 0 ]; then
    [ -f "$build/build.ninja" ] || cmake -S "$top" -B "$build" -G Ninja >/dev/null || exit 2
    ninja -C "$build" -j2 ramtune Echomod >/dev/null || exit 2
fi

. "$top/tests/integration/lib.sh"
export RAMTUNE_NETNS_LINKS=$slots
tool_curl=real
lib_start station_run "$build/app/console/ramtune" "$build/echomod/libEchomod.so" sr
links=("vp$suffix" "vq$suffix")
namespaces=(rt rt2)
for ((k = 3; k <= slots; k++)); do links+=("vk$k$suffix"); namespaces+=("rt$k"); done
links=("${links[@]:0:$slots}")
sim_pids=()
mac_of() { printf 'AA:BB:CC:%02X:00:01' "$1"; }

# plug ROUND K: unit K's simulator on link K; its MAC and the time it answers
# go to ROUND/plugged.
plug() {
    local dir=$work/$1/unit$2
    mkdir -p "$dir"
    printf '{"mac": "%s"}\n' "$(mac_of "$2")" >"$dir/scenario.json"
    "$netns" exec "${namespaces[$2 - 1]}" "$suffix" -- "$top/sim/run-sim.sh" "$dir/scenario.json" \
        "$dir/state" --reboot-silence "$silence" >"$dir/sim.out" 2>"$dir/sim.err" &
    sim_pids+=($!)
    wait_ready "$dir/sim.out" || { echo "station_run: simulator $2 did not start" >&2; exit 1; }
    echo "$(mac_of "$2" | tr -d ':') $(date +%s.%N)" >>"$work/$1/plugged"
}

stop_sims() {
    local pid
    for pid in "${sim_pids[@]}"; do kill -TERM "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done
    sim_pids=()
}

echo "station_run: one unit alone (reboot silence ${silence} s), about two minutes..."
layout single
plug single 1
run_wrapper=(/usr/bin/time -o "$work/time" -f '%e')
RAMTUNE_LEDGER=$work/single.sqlite3 run single --interface "${links[0]}" --accept-warning
run_wrapper=()
stop_sims
single_s=$(tail -n 1 "$work/time")
if [ "$status" != 0 ]; then
    echo "station_run: the run alone did not complete (status $status)"; tail -n 20 "$work/single/out"; exit 1
fi

echo "station_run: $slots units plugged ${stagger} s apart into a station of $slots slots..."
layout station
args=(--all --continuous --accept-warning --quiet)
for ((k = 1; k <= slots; k++)); do args+=(--slot "Port $k=${links[$k - 1]}"); done
start_run station "$suffix" "${args[@]}"
station_pid=$started
result=$work/watch.json
/usr/bin/python3 "$top/perf/station_watch.py" "$station_pid" "$work/station/out" "$result" &
watch_pid=$!
sleep 3
for ((k = 1; k <= slots; k++)); do
    plug station "$k"
    [ "$k" = "$slots" ] || sleep "$stagger"
done
limit=$((SECONDS + 600))
while [ "$(grep -cE '\| Status: (PASS|FAIL|PAUSE)$' "$work/station/out")" -lt "$slots" ] && [ "$SECONDS" -lt "$limit" ]; do
    sleep 1
done
sleep 1
touch "$result.stop"
wait "$watch_pid"
kill -INT "$station_pid"
finish_run "$station_pid"
stop_sims

/usr/bin/python3 - "$result" "$work/station/plugged" "$single_s" "$slots" "$stagger" "$silence" "$status" <<'EOF'
import json, sys
watch = json.load(open(sys.argv[1]))
plugged = dict(line.split() for line in open(sys.argv[2]))
single, slots, stagger, silence, status = float(sys.argv[3]), int(sys.argv[4]), sys.argv[5], sys.argv[6], sys.argv[7]
print("slots: %d, plugged %s s apart, reboot silence %s s" % (slots, stagger, silence))
print("one unit alone:        %.2f s" % single)
ratios = []
for mac in sorted(plugged):
    line = watch["endings"].get(mac, "(no ending)")
    if mac in watch["ends"]:
        took = watch["ends"][mac] - float(plugged[mac])
        ratios.append(took / single)
        print("  %s  %.2f s  ratio %.4f  %s" % (mac, took, took / single, line.split("| ", 1)[-1]))
    else:
        print("  %s  no ending" % mac)
passed = sum("Status: PASS" in line for line in watch["endings"].values())
seconds = watch["seconds"]
own = watch["station_cpu"] + watch["searches_cpu"]
whole = watch["station_cpu"] + watch["reaped_children_cpu"] + watch["alive_children_cpu"]
worst = max(ratios) if ratios else float("inf")
print("largest ratio:         %.4f (goal <= 1.10)" % worst)
print("station CPU:           %.2f s over %.0f s = %.2f %% of one core (goal <= 2 %%): itself %.2f s, "
      "its %d searches %.2f s" % (own, seconds, 100 * own / seconds, watch["station_cpu"], watch["searches"],
                                   watch["searches_cpu"]))
print("with its unit runs:    %.2f s = %.2f %% of one core (the runs, their curl and the searches)" %
      (whole, 100 * whole / seconds))
print("resident memory:       %d KiB with %d units running" % (watch["rss_kib_at_most_runs"], watch["most_runs"]))
print("station exit status:   %s; %d of %d units PASS" % (status, passed, slots))
ok = passed == slots and status == "0" and worst <= 1.10 and own / seconds <= 0.02
print("verdict:               %s" % ("within the goals" if ok else "OUTSIDE the goals"))
sys.exit(0 if ok else 1)
EOF
