#!/usr/bin/env bash
# Runs the link integration tests: namespaces, simulator in the router
# namespace, the test binary in the PC namespace; once with one router and
# once with two. Needs root (exit 77 = skipped otherwise).
set -euo pipefail
binary=$1
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../.." && pwd)
[ "$(id -u)" = 0 ] || { echo "needs root for network namespaces: skipped"; exit 77; }

suffix="lk$$"
work=$(mktemp -d)
sim_pid=""
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null || true
  "$top/scripts/netns" down "$suffix" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT INT TERM

mkdir -p "$work/tools"
/usr/bin/python3 "$top/sim/make_files.py" "$work/tools" >/dev/null
ln -s "$(command -v curl)" "$work/tools/curl"
"$top/scripts/netns" up "$suffix" >/dev/null

run_with() {  # scenario routers
  local state="$work/state-$2"
  mkdir -p "$state"
  "$top/scripts/netns" exec rt "$suffix" -- "$top/sim/run-sim.sh" "$1" "$state" > "$work/sim.out" 2> "$work/sim.err" &
  sim_pid=$!
  for _ in $(seq 100); do grep -q READY "$work/sim.out" 2>/dev/null && break; sleep 0.1; done
  grep -q READY "$work/sim.out" || { echo "simulator did not start"; cat "$work/sim.err"; return 1; }
  local rc=0
  "$top/scripts/netns" exec pc "$suffix" -- env RAMTUNE_SIM_STATE="$state" RAMTUNE_TOOLS="$work/tools" \
    RAMTUNE_ROUTERS="$2" "$binary" || rc=$?
  kill "$sim_pid" 2>/dev/null || true
  wait "$sim_pid" 2>/dev/null || true
  sim_pid=""
  return $rc
}

run_with "$top/sim/scenarios/complete.json" 1
run_with "$top/sim/scenarios/two-routers.json" 2
