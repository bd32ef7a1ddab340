#!/bin/bash
# Run-time benchmark: how long a complete upgrade run takes for real, against
# the floor that the run's own fixed waits set.
#
#   perf/runtime.sh [REBOOT_SILENCE_S]        (as root; default 20 s)
#
# 1. Builds ramtune, libEchomod.so and ramtune_virtual_run in build/ if needed
#    (RAMTUNE_BUILD_DIR names another build folder).
# 2. Real run: the console front end against the router simulator
#    (sim/scenarios/complete.json) in the namespaces of scripts/netns, with the
#    real curl and the simulator's FTP server; the simulated router is silent
#    for REBOOT_SILENCE_S after its reboot. Measured from the start of ramtune
#    to its exit, with its CPU time (user + sys), by /usr/bin/time.
# 3. Virtual run: the same scenario in virtual time
#    (ramtune_virtual_run REBOOT_SILENCE_S*1000).
# 4. The unit ledger's share: its steps of one run, durable on this disk as
#    a run makes them, timed over 50 runs (ramtune_ledger_cost).
# 5. Prints the durations and their ratio; exit status 0 when the real run
#    completed and took at most 5 % longer than the virtual floor, and the
#    ledger added under 50 ms and under 1 % of the run's CPU; 1 otherwise.
set -u

silence=${1:-20}
if ! [[ "$silence" =~ ^[0-9]+$ ]]; then
    echo "usage: $0 [REBOOT_SILENCE_S]" >&2
    exit 2
fi
top=$(cd "$(dirname "$0")/.." && pwd)
build=${RAMTUNE_BUILD_DIR:-$top/build}
time_tool=/usr/bin/time
if [ ! -x "$time_tool" ]; then
    echo "runtime: $time_tool is missing" >&2
    exit 2
fi

# Root is checked by lib_start; build first only when that will pass.
if [ "$(id -u)" = 0 ]; then
    if [ ! -f "$build/build.ninja" ]; then
        cmake -S "$top" -B "$build" -G Ninja >/dev/null || exit 2
    fi
    ninja -C "$build" -j2 ramtune Echomod ramtune_virtual_run ramtune_ledger_cost >/dev/null || exit 2
fi

. "$top/tests/integration/lib.sh"
tool_curl=real
lib_start runtime "$build/app/console/ramtune" "$build/echomod/libEchomod.so" bm

# ---- the real run ------------------------------------------------------------------------------

layout real
start_sim "$top/sim/scenarios/complete.json" "$work/state" "$silence" || exit 1
# /usr/bin/time starts ramtune inside the PC namespace: %e is ramtune's own
# wall time, %U and %S its CPU time.
run_wrapper=("$time_tool" -o "$work/time" -f '%e %U %S')
echo "runtime: real run (reboot silence ${silence} s), about two minutes..."
run real --accept-warning --yes
stop_sim
read -r real_s user_s sys_s < <(tail -n 1 "$work/time")
if [ "$status" != 0 ] || ! grep -qxF 'Status: PASS' "$work/real/out"; then
    echo "runtime: the real run did not complete (status $status):"
    sed 's/^/    /' "$work/real/out" | tail -n 30
    exit 1
fi

# ---- the virtual run ---------------------------------------------------------------------------

virtual_out=$("$build/perf/ramtune_virtual_run" $((silence * 1000)))
virtual_ms=$(printf '%s\n' "$virtual_out" | sed -n 's/.*virtual_ms=\([0-9]*\).*/\1/p')
if [ -z "$virtual_ms" ] || ! printf '%s' "$virtual_out" | grep -q 'completed=1'; then
    echo "runtime: the virtual run did not complete: $virtual_out"
    exit 1
fi

# ---- the ledger ----------------------------------------------------------------------------------
ledger_out=$("$build/perf/ramtune_ledger_cost" "$work" 50) || { echo "runtime: $ledger_out"; exit 1; }
ledger_wall=$(printf '%s\n' "$ledger_out" | sed -n 's/.*wall_ms=\([0-9.]*\).*/\1/p')
ledger_cpu=$(printf '%s\n' "$ledger_out" | sed -n 's/.*cpu_ms=\([0-9.]*\).*/\1/p')
# ---- report ------------------------------------------------------------------------------------
/usr/bin/python3 - "$real_s" "$user_s" "$sys_s" "$virtual_ms" "$silence" "$ledger_wall" "$ledger_cpu" <<'EOF'
import sys
real, user, system = (float(v) for v in sys.argv[1:4])
ledger_wall, ledger_cpu = float(sys.argv[6]), float(sys.argv[7])
virtual = int(sys.argv[4]) / 1000.0
ratio = real / virtual
print("reboot silence:   %s s" % sys.argv[5])
print("real run:         %.2f s (ramtune start to exit)" % real)
print("virtual run:      %.2f s (floor of the run's fixed waits)" % virtual)
print("ratio:            %.4f (real %+.2f %%)" % (ratio, (ratio - 1) * 100))
print("ramtune CPU time: %.2f s (user %.2f s + sys %.2f s), %.2f %% of the real run"
      % (user + system, user, system, 100 * (user + system) / real))
cpu_share = 100 * ledger_cpu / 1000 / (user + system)
print("unit ledger:      %.1f ms a run (goal < 50 ms), CPU %.1f ms = %.2f %% of ramtune's (goal < 1 %%)"
      % (ledger_wall, ledger_cpu, cpu_share))
within = ratio <= 1.05
ledger_fine = ledger_wall < 50 and cpu_share < 1
print("verdict:          %s; ledger %s" % ("within 5 % of the virtual floor" if within
                                           else "MORE than 5 % above the virtual floor",
                                           "within its goals" if ledger_fine else "ABOVE its goals"))
sys.exit(0 if within and ledger_fine else 1)
EOF
