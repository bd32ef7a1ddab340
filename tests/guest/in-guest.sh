#!/bin/bash
# Inside the emulated PC (scripts/guest run): the cases of the 32-bit
# program under 32-bit Wine, one after another, with tests/wine/e2e.sh.
#
#   in-guest.sh CASE...    CASE: NAME:E2E-CASE:FILES:WINDOWS:LIMIT
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

for entry in "$@"; do
    IFS=: read -r name e2e files windows limit <<<"$entry"
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
done
sync
