#!/bin/bash
# The 32-bit program in the emulated PC (scripts/guest), host side.
#
#   run.sh setup CASE...   CASE: NAME:E2E-CASE:FILES:WINDOWS:LIMIT:LANE (see
#                          CMakeLists.txt). Fills the shared folder, boots the
#                          guest once, which runs the cases in two lanes
#                          (in-guest.sh), and leaves each case's results in
#                          $GUEST_SHARE/results/NAME. Exit 0 when the guest ran
#                          every case (whatever their results), 77 when QEMU
#                          cannot run here.
#   run.sh check NAME      NAME's result: its log, its time, its files checked
#                          again; exit 0 for a passed case, 77 when the setup
#                          was skipped.
#
# Environment (tests/guest/CMakeLists.txt): RAMTUNE_SOURCE_DIR, GUEST_SHARE,
# PACKAGE_ZIP, RAMTUNE_EXE, ECHOMOD_DLL, CURL_EXE, DLGANSWER_EXE, BEACON_EXE,
# PLANTED_EXE.
set -u
SKIP=77
ACTION=${1:-}
[ $# -gt 0 ] && shift
PROG=guest

log() { echo "[$PROG $(date +%T)] $*"; }
die() { log "FAIL: $*"; exit 1; }

for v in RAMTUNE_SOURCE_DIR GUEST_SHARE PACKAGE_ZIP RAMTUNE_EXE ECHOMOD_DLL CURL_EXE DLGANSWER_EXE \
         BEACON_EXE PLANTED_EXE; do
    [ -n "${!v:-}" ] || die "$v is not set (run through ctest)"
done
SRC=$RAMTUNE_SOURCE_DIR
SHARE=$GUEST_SHARE
GUEST=$SRC/scripts/guest
TOOL_FOLDER_NAME="QARV LM-7210A_LM-7210B DDR Configuration Upgrade Tool"
# What a case leaves in its artifacts: the screenshots (e2e.sh names them).
screenshots_of() {
    case "$1" in
        complete) echo "warning backup pass" ;;
        restore)  echo "restore-pass" ;;
        station-one|station-two) echo "station-units" ;;
        *)        echo "" ;;
    esac
}

# The three files of the package, as the zip holds them (name and SHA-256).
zip_sums() {
    /usr/bin/python3 - "$PACKAGE_ZIP" "$TOOL_FOLDER_NAME" <<'EOF'
import hashlib, struct, sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as z:
    for name in ("Ramtune.exe", "Echomod.dll", "curl.exe"):
        data = z.read(sys.argv[2] + "/" + name)
        # A PE file for the i386 machine (0x14c): 32-bit, for every Windows.
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[:2] != b"MZ" or data[pe:pe + 4] != b"PE\0\0":
            sys.exit(name + " in the zip is not a PE file")
        machine = struct.unpack_from("<H", data, pe + 4)[0]
        if machine != 0x14C:
            sys.exit("%s in the zip is not 32-bit (machine 0x%x)" % (name, machine))
        print(hashlib.sha256(data).hexdigest() + "  " + name)
EOF
}

setup() {
    [ $# -gt 0 ] || die "no cases"
    rm -rf "$SHARE"
    mkdir -p "$SHARE/results" || die "cannot create $SHARE"
    local reason
    if ! reason=$("$GUEST" check); then
        if [ "$(id -u)" = 0 ] && command -v qemu-system-x86_64 >/dev/null 2>&1; then
            # The image is missing or out of date: made here (scripts/test
            # makes it beside the builds; then this waits for that one).
            log "making the guest's image (scripts/guest build)"
            "$GUEST" build || die "could not make the guest's image"
        fi
        reason=$("$GUEST" check) || { echo "$reason" >"$SHARE/skipped"; log "SKIP: $reason"; exit $SKIP; }
    elif [ "$(id -u)" = 0 ]; then
        # Up to date, or rebuilt when the script changed (waits for a build
        # that runs).
        "$GUEST" build || die "could not make the guest's image"
    fi

    # What the guest needs of the source: the case script, the simulator,
    # the namespace script and what the cases read.
    (cd "$SRC" && tar -cf - --exclude=__pycache__ scripts/netns sim tests/wine/e2e.sh tests/wine/run-in-wine.sh \
                         tests/integration/console_check_logs.py tests/integration/decoy.py \
                         tests/integration/full_run_checks.py app/win32/package/Station.cmd \
                         upgrade/calibration_items.h tests/guest/in-guest.sh) |
        (mkdir -p "$SHARE/src" && tar -C "$SHARE/src" -xf -) || die "cannot copy the sources"
    # The files as they ship (the zip) and as this tree built them.
    [ -f "$PACKAGE_ZIP" ] || die "no package zip $PACKAGE_ZIP (ninja package-win)"
    mkdir -p "$SHARE/package" "$SHARE/tree"
    /usr/bin/python3 -m zipfile -e "$PACKAGE_ZIP" "$SHARE/package" || die "cannot unpack $PACKAGE_ZIP"
    zip_sums >"$SHARE/package.sha256" || die "the package zip: $(cat "$SHARE/package.sha256")"
    mv "$SHARE/package/$TOOL_FOLDER_NAME"/* "$SHARE/package/"
    rmdir "$SHARE/package/$TOOL_FOLDER_NAME"
    cp "$RAMTUNE_EXE" "$ECHOMOD_DLL" "$CURL_EXE" "$SHARE/tree/" || die "missing build output"
    mkdir -p "$SHARE/tools"
    cp "$DLGANSWER_EXE" "$BEACON_EXE" "$PLANTED_EXE" "$SHARE/tools/" || die "missing test helpers"

    local started=$SECONDS status entry limit=300
    for entry in "$@"; do limit=$((limit + $(cut -d: -f5 <<<"$entry"))); done
    log "booting the guest for: $*"
    "$GUEST" run --share "$SHARE" --timeout "$limit" \
        bash /share/src/tests/guest/in-guest.sh "$@" 2>&1 | tee "$SHARE/guest.log"
    status=${PIPESTATUS[0]}
    log "the guest ran $((SECONDS - started)) s in all (status $status)"
    [ "$status" = $SKIP ] && { echo "QEMU could not run" >"$SHARE/skipped"; exit $SKIP; }
    local name missing=0
    for entry in "$@"; do
        name=${entry%%:*}
        [ -s "$SHARE/results/$name/status" ] || { log "no result for $name"; missing=1; }
    done
    [ "$missing" = 0 ] || die "the guest did not run every case (status $status)"
    exit 0
}

check() {
    local name=${1:-} result status ok=1 e2e shot
    [ -n "$name" ] || die "usage: run.sh check NAME"
    [ -f "$SHARE/skipped" ] && { log "SKIP: $(cat "$SHARE/skipped")"; exit $SKIP; }
    result=$SHARE/results/$name
    [ -s "$result/status" ] || die "the guest left no result for $name (see guest_setup)"
    cat "$result/log" 2>/dev/null
    status=$(cat "$result/status")
    e2e=$(cat "$result/case")
    log "$name: e2e.sh $e2e with the files of the $(cat "$result/files"): status $status in $(cat "$result/seconds") s in the guest"
    grep -o 'Wine reports .*' "$result/log" | tail -n 1
    [ "$status" = 0 ] || ok=0
    local art=$result/artifacts/$e2e
    # e2e.sh found them not blank in the guest; here: copied out.
    for shot in $(screenshots_of "$e2e"); do
        [ -s "$art/$shot.png" ] || { log "FAIL: no screenshot $shot.png"; ok=0; }
    done
    case "$e2e" in
        complete|restore)
            compgen -G "$art/${TOOL_FOLDER_NAME}AABBCCDDEE01_Process_*.txt" >/dev/null || { log "FAIL: no Process log"; ok=0; }
            compgen -G "$art/${TOOL_FOLDER_NAME}AABBCCDDEE01_Data_*.txt" >/dev/null || { log "FAIL: no Data log"; ok=0; }
            ;;
    esac
    if [ "$(cat "$result/files")" = package ]; then
        # The files that ran are the zip's, byte for byte.
        if ! diff "$SHARE/package.sha256" "$result/ran.sha256"; then
            log "FAIL: the files that ran are not the package's"
            ok=0
        else
            log "ran the package's files: $(awk '{printf "%s ", $2}' "$result/ran.sha256")"
        fi
    fi
    [ "$ok" = 1 ] || { log "FAIL: $name (files in $result)"; exit 1; }
    log "PASS: $name"
}

case "$ACTION" in
    setup) setup "$@" ;;
    check) check "$@" ;;
    *) echo "usage: run.sh setup CASE... | check NAME" >&2; exit 2 ;;
esac
