#!/bin/bash
# Bench benchmark: four units upgraded at once (`ramtune --all`) against one
# unit's run alone, measured in the same script.
#
#   perf/bench_run.sh [REBOOT_SILENCE_S]        (as root; default 20 s)
#
# scripts/netns with four links, a simulated router with its own MAC on each
# (sim/scenarios/complete.json otherwise), the real curl. First one unit's
# run alone (`ramtune --interface LINK1`), then fresh routers and the bench
# of all four (`ramtune --all --interface ...`, its search included). Both
# are timed by /usr/bin/time from start to exit, with their CPU time (user +
# sys, the runs and curl included). Prints the ratio of the bench's time to
# the single run's and the CPU time per unit; exit status 0 when every run
# completed, the ratio is at most 1.10 and the CPU time per unit at most the
# single run's (+10 %), 1 otherwise.
set -u

silence=${1:-20}
if ! [[ "$silence" =~ ^[0-9]+$ ]]; then
    echo "usage: $0 [REBOOT_SILENCE_S]" >&2
    exit 2
fi
top=$(cd "$(dirname "$0")/.." && pwd)
build=${RAMTUNE_BUILD_DIR:-$top/build}
time_tool=/usr/bin/time
[ -x "$time_tool" ] || { echo "bench_run: $time_tool is missing" >&2; exit 2; }
if [ "$(id -u)" = 0 ]; then
    [ -f "$build/build.ninja" ] || cmake -S "$top" -B "$build" -G Ninja >/dev/null || exit 2
    ninja -C "$build" -j2 ramtune Echomod >/dev/null || exit 2
fi

. "$top/tests/integration/lib.sh"
export RAMTUNE_NETNS_LINKS=4
tool_curl=real
lib_start bench_run "$build/app/console/ramtune" "$build/echomod/libEchomod.so" br
links=("vp$suffix" "vq$suffix" "vk3$suffix" "vk4$suffix")
namespaces=(rt rt2 rt3 rt4)
sim_pids=()

# start_sims ROUND: a fresh simulated router on every link.
start_sims() {
    local k dir
    for k in 1 2 3 4; do
        dir=$work/$1/link$k
        mkdir -p "$dir"
        printf '{"mac": "AA:BB:CC:0%d:00:01"}\n' "$k" >"$dir/scenario.json"
        "$netns" exec "${namespaces[$k - 1]}" "$suffix" -- "$top/sim/run-sim.sh" "$dir/scenario.json" \
            "$dir/state" --reboot-silence "$silence" >"$dir/sim.out" 2>"$dir/sim.err" &
        sim_pids+=($!)
        wait_ready "$dir/sim.out" || { echo "bench_run: simulator $k did not start"; exit 1; }
    done
}

stop_sims() {
    local pid
    for pid in "${sim_pids[@]}"; do kill -TERM "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done
    sim_pids=()
}

run_wrapper=("$time_tool" -o "$work/time" -f '%e %U %S')

echo "bench_run: one unit alone (reboot silence ${silence} s), about two minutes..."
layout single
start_sims single
run single --interface "${links[0]}" --accept-warning
stop_sims
read -r single_s single_user single_sys < <(tail -n 1 "$work/time")
if [ "$status" != 0 ]; then
    echo "bench_run: the single run did not complete (status $status)"; tail -n 20 "$work/single/out"; exit 1
fi

echo "bench_run: four units at once, about two minutes..."
layout bench
start_sims bench
args=(--all --accept-warning --report "$work/bench/report.json")
for l in "${links[@]}"; do args+=(--interface "$l"); done
run bench "${args[@]}"
stop_sims
read -r bench_s bench_user bench_sys < <(tail -n 1 "$work/time")
if [ "$status" != 0 ] || [ "$(grep -c '| Status: PASS$' "$work/bench/out")" != 4 ]; then
    echo "bench_run: the bench did not complete (status $status)"; tail -n 30 "$work/bench/out"; exit 1
fi

/usr/bin/python3 - "$single_s" "$single_user" "$single_sys" "$bench_s" "$bench_user" "$bench_sys" "$silence" <<'EOF'
import sys
single, su, ss, bench, bu, bs = (float(v) for v in sys.argv[1:7])
ratio = bench / single
single_cpu = su + ss
per_unit = (bu + bs) / 4
print("reboot silence:        %s s" % sys.argv[7])
print("one unit alone:        %.2f s, CPU %.2f s (user %.2f + sys %.2f)" % (single, single_cpu, su, ss))
print("four units (--all):    %.2f s, CPU %.2f s (user %.2f + sys %.2f), search included" % (bench, bu + bs, bu, bs))
print("ratio bench / single:  %.4f (goal <= 1.10)" % ratio)
print("CPU per unit:          %.2f s (single run: %.2f s)" % (per_unit, single_cpu))
ok = ratio <= 1.10 and per_unit <= single_cpu * 1.10
print("verdict:               %s" % ("within the goals" if ok else "OUTSIDE the goals"))
sys.exit(0 if ok else 1)
EOF
