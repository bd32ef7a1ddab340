#!/bin/sh
# Starts the router simulator. Run it inside the router namespace, e.g.
#   scripts/netns exec rt SUFFIX -- sim/run-sim.sh sim/scenarios/complete.json /tmp/simstate
# Extra options after STATE_DIR go to routersim.py (e.g. --reboot-silence 3).
if [ $# -lt 2 ]; then
    echo "usage: $0 SCENARIO.json STATE_DIR [--reboot-silence SECONDS]" >&2
    exit 2
fi
here=$(cd "$(dirname "$0")" && pwd)
scenario=$1
state_dir=$2
shift 2
exec /usr/bin/python3 -u "$here/routersim.py" --scenario "$scenario" --state-dir "$state_dir" "$@"
