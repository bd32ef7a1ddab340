#!/bin/bash
# Station benchmark of the Windows program: Ramtune.exe /all under Wine, units
# plugged one after another, each against one unit's run alone.
#
#   perf/station_wine.sh [SLOTS [STAGGER_S [REBOOT_SILENCE_S]]]   (as root;
#                                                  default 8 slots, 5 s, 20 s)
#
# Runs tests/wine/e2e.sh station-bench with the programs of the 64-bit Windows
# tree (build-win64, or $RAMTUNE_BUILD_WIN64; built already, as scripts/test
# does): its Wine e2e test's environment, taken from CTest. The station has
# SLOTS links of scripts/netns, a simulated router with its own MAC comes to
# link 1 alone first, then one to every link STAGGER_S seconds apart. Each
# unit is timed from the moment its router answers to the end of its Process
# log; prints each unit's time over the unit's alone and the largest ratio.
# Screenshot and report in the tree's tests/wine/artifacts/station-bench/.
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
tree=${RAMTUNE_BUILD_WIN64:-$top/build-win64}
# The e2e test's command: cmake -E env VAR=VALUE... e2e.sh CASE LIMIT.
mapfile -t env_vars < <(ctest --test-dir "$tree" -R '^wine_e2e_complete$' --show-only=json-v1 2>/dev/null |
    /usr/bin/python3 -c "import json,sys; c=json.load(sys.stdin)['tests'][0]['command']
print('\n'.join(a for a in c[c.index('env') + 1:] if '=' in a))")
[ "${#env_vars[@]}" -gt 0 ] || { echo "station_wine: no wine_e2e_complete test in $tree (build it first)" >&2; exit 2; }
exec env "${env_vars[@]}" E2E_STATION_SLOTS="$slots" E2E_STAGGER="$stagger" E2E_REBOOT_SILENCE="$silence" \
    "$top/tests/wine/e2e.sh" station-bench 1500
