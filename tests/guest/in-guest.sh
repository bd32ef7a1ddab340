#!/bin/bash
# Inside the emulated PC (scripts/guest run): the cases of the 32-bit
# program under 32-bit Wine, with tests/wine/e2e.sh, in lanes side by side
# (LANE of each case, at most GUEST_LANES: default 2, one per processor):
# each lane runs its cases one after another in the order given, each case
# in its own namespaces, display, Wine prefix and work folder. Most of a
# case is the program's real-time waits, so two lanes take little more than
# the longer one.
#
#   in-guest.sh CASE...    CASE: NAME:E2E-CASE:FILES:WINDOWS:LIMIT:LANE
#
# The shared folder (/share) holds src/ (what the cases need of the source),
# package/ (the files of the zip), tree/ (the build tree's), tools/ (the
# 32-bit test helpers). Each case leaves in /share/results/NAME: status
# (e2e.sh's exit status), seconds, log, case, files, windows, ran.sha256 (the
# program's files that ran) and artifacts/ (screenshots, logs, the router's
# commands). The work folders are in the guest's memory (/tmp).
set -u
share=/share
src=$share/src
prefix=/opt/ramtune/wineprefix   # the 32-bit prefix kept in the image (scripts/guest)
echo "in-guest: up after $(cut -d' ' -f1 /proc/uptime) s; $(nproc) processors, $(awk '/MemTotal/ {print int($2 / 1024)}' /proc/meminfo) MiB"
[ -f "$prefix/system.reg" ] || { echo "in-guest: no Wine prefix at $prefix"; exit 1; }

# run_case CASE: one case, its results in /share/results/NAME.
run_case() {
    local entry=$1 name e2e files windows limit lane out bin started status
    IFS=: read -r name e2e files windows limit lane <<<"$entry"
    out=$share/results/$name
    rm -rf "$out"
    mkdir -p "$out/artifacts"
    echo "$e2e" >"$out/case"
    echo "$files" >"$out/files"
    echo "$windows" >"$out/windows"
    bin=$share/$files
    (cd "$bin" && sha256sum Ramtune.exe Echomod.dll curl.exe) >"$out/ran.sha256"
    echo "in-guest: $name: e2e.sh $e2e, files from $files, Windows ${windows/-/as the case sets it}"
    started=$(date +%s)
    env E2E_WINEARCH=win32 \
        E2E_WINDOWS_VERSION="${windows#-}" \
        RAMTUNE_EXE="$bin/Ramtune.exe" ECHOMOD_DLL="$bin/Echomod.dll" CURL_EXE="$bin/curl.exe" \
        DLGANSWER_EXE="$share/tools/dlganswer.exe" BEACON_EXE="$share/tools/beacon_window.exe" \
        PLANTED_EXE="$share/tools/planted.exe" RAMTUNE_SOURCE_DIR="$src" \
        E2E_WORK_ROOT="/tmp/e2e/$name" E2E_ARTIFACTS="$out/artifacts" E2E_TEMPLATE_PREFIX="$prefix" \
        "$src/tests/wine/e2e.sh" "$e2e" "$limit" >"$out/log" 2>&1
    status=$?
    echo "$(( $(date +%s) - started ))" >"$out/seconds"
    echo "$status" >"$out/status"
    echo "in-guest: $name: status $status after $(cat "$out/seconds") s"
    [ "$status" = 0 ] || tail -n 15 "$out/log"
    rm -rf "/tmp/e2e/$name"
}

# The lanes, as the cases name them (the last lane takes the lanes beyond).
lanes=${GUEST_LANES:-2}
declare -a queue=()
for ((k = 0; k < lanes; k++)); do queue[k]=""; done
for entry in "$@"; do
    lane=${entry##*:}
    [[ "$lane" =~ ^[1-9][0-9]*$ ]] || { echo "in-guest: no lane in $entry"; exit 1; }
    k=$(( (lane > lanes ? lanes : lane) - 1 ))
    queue[k]="${queue[k]} $entry"
done
pids=()
for ((k = 0; k < lanes; k++)); do
    [ -n "${queue[k]}" ] || continue
    echo "in-guest: lane $((k + 1)):$(for entry in ${queue[k]}; do printf ' %s' "${entry%%:*}"; done)"
    ( for entry in ${queue[k]}; do run_case "$entry"; done ) &
    pids+=($!)
    # The next lane's first Wine starts once this one's is under way.
    sleep 20
done
wait "${pids[@]}"
# How busy the guest's processors were (user, system, interrupts), against
# the time the cases took: what the emulation was asked for.
awk -v up="$(cut -d' ' -f1 /proc/uptime)" -v hz="$(getconf CLK_TCK)" '/^cpu / {
    printf "in-guest: processors busy %.0f s in %.0f s since the start\n", ($2 + $3 + $4 + $7 + $8) / hz, up }' /proc/stat
sync
