#!/bin/bash
# End-to-end tests of Ramtune.exe under Wine and Xvfb, against the router
# simulator, in network namespaces.
#
#   e2e.sh CASE [LIMIT]   (CTest runs one CASE per test; exit 77 = skipped;
#                          LIMIT: seconds after which the case gives up)
#
# Cases:
#   complete          a whole upgrade: PASS picture, Process and Data logs,
#                     uploaded files on the router, About box, Exit = code 1
#   already-updated   router refused as up to date: PASS picture under the
#                     notice, exit code 1 once it is closed
#   beacon-yes        "Beacon Finder" question answered Yes: that window is
#                     closed and start-up goes on to the warning
#   beacon-no         answered No: exit code 1, the window stays, no warning
#   second-instance   "The program is running", exit code 0; the first
#                     instance goes on
#   missing-file      "Loss file:\n" + the first missing path, exit code 0
#   select-cancel     two routers answer: both offered in the selection
#                     dialog; closing it without a choice ends with code 0
#   warning-refused   No on the warning: exit code 0, no search, no logs
#   old-windows       Wine reports Windows XP x64 (5.2, Service Pack 2), or
#                     Windows 2000 (5.0, Service Pack 4) in a 32-bit prefix: the
#                     supported-versions message, exit code 0, nothing else
#   restore           /restore with the path of a Data log holding the unit's
#                     own values (a path with blanks): the old bootloader is
#                     flashed, the values written back and verified: PASS,
#                     and the restore's own Data log holds the same lines
#   verify            /verify with the path of the unit's own Data log in
#                     which one value was changed: the check names that value
#                     in its message and its Process log, FAIL, and nothing is
#                     written to the router nor a Data log to the disk
#   cut-upload        the router's FTP server cuts the image's upload after
#                     its version text (426, the part kept): curl.exe ends
#                     non-zero and the run ends before the flash with the
#                     line that says so; nothing is flashed
#   engineering-script
#                     engineering mode: the window has its system-menu box;
#                     the run ends at a router of another model; "Run
#                     Script..." is chosen from the system menu, the file
#                     dialog answered with a script, and Result.txt holds
#                     the router's replies. Stand-ins planted as arp.exe and
#                     QARV_SSID.exe in the current directory never run; the
#                     system folder's arp and the QARV_SSID.exe beside the
#                     program do. (Normal mode keeps the template's window
#                     without the box: checked in "complete".)
#   two-links         the PC has two links in one subnet (scripts/netns with
#                     RAMTUNE_NETNS_LINKS=2): the router on the second, a
#                     decoy with its address on the first, which holds the
#                     default route. A whole upgrade: the router is found and
#                     answers every command, curl's uploads (--interface with
#                     the second link's address) reach it byte for byte; the
#                     decoy receives discovery requests only (IP_UNICAST_IF
#                     under Wine) and no FTP connection. An address picks
#                     curl's source address only: the link follows from it on
#                     Windows Vista and later (strong host model), not on
#                     Linux, so the PC namespace gets a rule that routes that
#                     source by the second link, as Windows would.
#   station-children  a bench of three links (RAMTUNE_NETNS_LINKS=3), a router
#                     with its own MAC on each: bench_probe.exe runs the
#                     bench's course over the Windows platform layer, starting
#                     Ramtune.exe as its search and run children, each with
#                     its adapter's address. Every unit passes; each router
#                     got the commands of one complete run, none meant for
#                     another, FTP from its own link's address only, and keeps
#                     its own values. The PC namespace routes each link's
#                     address by that link, as in two-links.
#   station-window    Ramtune.exe /all on the same three links: the warning is
#                     answered, Start pressed in the station window. Links 1
#                     and 2 hold healthy units, link 3 one whose image upload
#                     is cut (its run fails before the flash). Once those
#                     have ended, link 1's unit is taken away and, after its
#                     slot is free again, a fourth unit plugged in there runs
#                     by itself. Screenshot of the rows; Stop; the report of
#                     four units (three PASS with their own values kept, link
#                     3's FAIL and untouched); Close ends the program with
#                     the report's status (the bench's rule: not 0).
#   station-one       (the emulated PC's cases) Ramtune.exe /all on one link
#   station-two       (started by Station.cmd, as the package has it) or two,
#                     a healthy unit on each: Start, every unit PASS with its
#                     own values kept, Stop, Close (with status 0).
#   station-xp-refused  Windows XP SP3 (a 32-bit prefix only) with two linked
#                     adapters: after the warning, the box that says why the
#                     station cannot run there, naming both adapters and the
#                     Windows that can; exit status 2, no window, no run.
#   station-bench     not a test (perf/station_wine.sh): units plugged one
#                     after another into a station of E2E_STATION_SLOTS links,
#                     each timed against one unit's run alone.
#
# The uploader is curl.exe from scripts/curl-win (x86_64), as it ships.
#
# Environment (set by tests/wine/CMakeLists.txt): RAMTUNE_EXE, ECHOMOD_DLL,
# CURL_EXE, DLGANSWER_EXE, BEACON_EXE, PLANTED_EXE, BENCH_PROBE_EXE,
# RAMTUNE_SOURCE_DIR, E2E_WORK_ROOT, E2E_ARTIFACTS, E2E_TEMPLATE_PREFIX. Optional:
#   E2E_WINEARCH          win64 (default) or win32: the 32-bit program in a
#                         32-bit prefix (the emulated PC, tests/guest)
#   E2E_WINDOWS_VERSION   the Windows that Wine reports to the program (a
#                         name of winecfg -v: winxp, win7, ...); checked with
#                         the helper before the case starts
#
# Network safety: Ramtune.exe broadcasts on UDP 9999. Wine's sockets belong
# to the wineserver, so every case uses a fresh copy of a Wine prefix whose
# wineserver is started inside the PC namespace, and the script checks that
# no wineserver of that prefix runs anywhere else before Ramtune.exe starts.
# The simulator runs in the router namespace. Both namespaces are removed on
# every exit.
#
# Screenshots (PNG) and the run's files are kept in $E2E_ARTIFACTS/CASE.
set -u

CASE=${1:-}
SKIP=77
PROG_NAME=${0##*/}

# The pictures' colours, as res/make_images.py draws them.
COLOUR_PASS='#1E9E3C'
COLOUR_LOGO='#14285A'

TOOL_FOLDER_NAME="QARV LM-7210A_LM-7210B DDR Configuration Upgrade Tool"
IMAGE_NAME=cfe_lm-7210a_1.0.1.6.bin
QUESTION='The system has detected that Beacon Finder is running. It will affect current DDR Configuration Upgrade Process.\r\nDo you want to terminate Beacon Finder?\r\nIf Yes, the DDR Configuration Upgrade Process will continue. If No, it will exit.'
UP_TO_DATE='Your LM-7210A/LM-7210B already has the latest available DDR configuration update.'

log() { echo "[$PROG_NAME $CASE $(date +%T)] $*"; }
skip() { log "SKIP: $*"; exit $SKIP; }
FAILED=0
fail() { log "FAIL: $*"; FAILED=1; }
die() { log "FAIL: $*"; keep_files; exit 1; }
# A pause without a process of its own: read's time limit on a pipe that
# never delivers. In the emulated PC a process's start costs its processors
# tens of milliseconds (measured there: "sleep 0.2" took 0.27 s, and a loop of
# grep and sleep every 0.2 s half a processor), so the loops that wait pause
# with this and look at files with builtins.
exec {PAUSE_FD}<> <(:)
pause() { read -r -t "$1" -u "$PAUSE_FD" _ || true; }
# The set-up's steps and their seconds, for the log: mark STEP after each.
SETUP_TIMES=
SETUP_MARK=$SECONDS
mark() {
    SETUP_TIMES="$SETUP_TIMES $1 $((SECONDS - SETUP_MARK)) s,"
    SETUP_MARK=$SECONDS
}

# ---- preconditions ----------------------------------------------------------------

CASES="complete already-updated beacon-yes beacon-no second-instance missing-file select-cancel"
CASES="$CASES warning-refused old-windows engineering-script restore two-links verify cut-upload"
CASES="$CASES station-children station-window station-one station-two station-xp-refused station-bench"
case " $CASES " in
    *" ${CASE:-none} "*) ;;
    *) echo "usage: $PROG_NAME ${CASES// /|} [LIMIT]" >&2
       exit 2 ;;
esac
# bench_probe.exe only for the case that runs it (the emulated PC's cases have none).
[ "$CASE" != station-children ] || [ -n "${BENCH_PROBE_EXE:-}" ] || die "BENCH_PROBE_EXE is not set (run through ctest)"
for v in RAMTUNE_EXE ECHOMOD_DLL CURL_EXE DLGANSWER_EXE BEACON_EXE PLANTED_EXE RAMTUNE_SOURCE_DIR \
         E2E_WORK_ROOT E2E_ARTIFACTS E2E_TEMPLATE_PREFIX; do
    [ -n "${!v:-}" ] || die "$v is not set (run through ctest)"
done
SRC=$RAMTUNE_SOURCE_DIR
NETNS=$SRC/scripts/netns

[ "$(id -u)" = 0 ] || skip "needs root for network namespaces"
for tool in ip wine wineserver Xvfb /usr/bin/import /usr/bin/convert /usr/bin/python3 flock; do
    command -v "$tool" >/dev/null 2>&1 || skip "$tool is not installed"
done
/usr/bin/python3 -c 'import pyftpdlib' 2>/dev/null || skip "python3-pyftpdlib is not installed"
for f in "$RAMTUNE_EXE" "$ECHOMOD_DLL" "$CURL_EXE" "$DLGANSWER_EXE" "$BEACON_EXE" "$PLANTED_EXE" ${BENCH_PROBE_EXE:+"$BENCH_PROBE_EXE"}; do
    [ -f "$f" ] || die "missing build output $f"
done

LIMIT=${2:-600}   # seconds; the script ends itself (cleaning up) before this
WINE_ARCH=${E2E_WINEARCH:-win64}
case "$WINE_ARCH" in
    win64|win32) ;;
    *) die "E2E_WINEARCH must be win64 or win32, not '$WINE_ARCH'" ;;
esac

SUFFIX=we$$
NS_PC=rtpc$SUFFIX
WORK=$E2E_WORK_ROOT/$CASE
ART=$E2E_ARTIFACTS/$CASE
PREFIX=$WORK/prefix
PREFIX_LAYER=$WORK/prefix-layer   # the case's changes to the template prefix
PREFIX_MOUNTED=0
# A case killed from outside may have left its prefix mounted.
! mountpoint -q "$PREFIX" 2>/dev/null || umount -l "$PREFIX"
rm -rf "$WORK" "$ART"
mkdir -p "$WORK" "$ART" || die "cannot create $WORK"
# The case's own unit ledger, as the program sees it (drive Z: is /).
export RAMTUNE_LEDGER="Z:$(printf '%s' "$WORK/ledger.sqlite3" | tr / '\\')"

# ---- clean-up ---------------------------------------------------------------------

BACKGROUND=()   # pids of what this script started
NETNS_UP=0
WATCHDOG=
cleanup() {
    local pid
    if [ -d "$PREFIX" ]; then
        WINEPREFIX=$PREFIX wineserver -k >/dev/null 2>&1
    fi
    for pid in "${BACKGROUND[@]}"; do
        kill "$pid" 2>/dev/null
    done
    [ "$NETNS_UP" = 1 ] && "$NETNS" down "$SUFFIX" >/dev/null 2>&1
    for pid in "${BACKGROUND[@]}"; do
        wait "$pid" 2>/dev/null
    done
    if [ "$PREFIX_MOUNTED" = 1 ]; then
        # The Wine server was stopped above; a process of it may still end.
        umount "$PREFIX" 2>/dev/null || { sleep 1; umount "$PREFIX" 2>/dev/null; } || umount -l "$PREFIX"
    fi
    rm -rf "$PREFIX" "$PREFIX.lock" "$PREFIX_LAYER"
    [ -n "$WATCHDOG" ] && kill "$WATCHDOG" 2>/dev/null
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'log "stopped (time limit or signal)"; exit 143' TERM

# ---- namespaces, display, Wine ---------------------------------------------------

# A case killed from outside (no clean-up ran) leaves its namespaces: they
# are named after the script's process id, so remove those whose script is gone.
for ns in $(ip netns list 2>/dev/null | awk '{print $1}' | grep -E '^rtpcwe[0-9]+$'); do
    kill -0 "${ns#rtpcwe}" 2>/dev/null || "$NETNS" down "we${ns#rtpcwe}" >/dev/null 2>&1
done

# Ends the case, with its clean-up, before the test runner's own limit.
(
    trap 'kill "$nap" 2>/dev/null; exit 0' TERM
    sleep "$LIMIT" &
    nap=$!
    wait "$nap" && kill -TERM $$
) </dev/null >/dev/null 2>&1 &
WATCHDOG=$!

[ "$CASE" = two-links ] && export RAMTUNE_NETNS_LINKS=2
case "$CASE" in
    station-children|station-window) export RAMTUNE_NETNS_LINKS=3 ;;
    station-two|station-xp-refused) export RAMTUNE_NETNS_LINKS=2 ;;
    station-bench) export RAMTUNE_NETNS_LINKS=${E2E_STATION_SLOTS:-8} ;;
esac
"$NETNS" up "$SUFFIX" >"$WORK/netns.txt" 2>&1 || skip "cannot create network namespaces: $(cat "$WORK/netns.txt")"
NETNS_UP=1
mark namespaces

# Runs a command in the PC namespace with this case's display and Wine prefix.
# EXTRA_OVERRIDES: more Wine DLL overrides for what a case starts.
DISPLAY_NUMBER=
EXTRA_OVERRIDES=
in_pc() {
    "$NETNS" exec pc "$SUFFIX" -- env WINEPREFIX="$PREFIX" WINEDEBUG=-all WINEARCH="$WINE_ARCH" \
        WINEDLLOVERRIDES="mscoree=d;mshtml=d;winemenubuilder.exe=d$EXTRA_OVERRIDES" \
        DISPLAY=":$DISPLAY_NUMBER" "$@"
}

# The template prefix is made once, outside the namespaces (nothing in it
# opens a socket), and copied for every case.
# (run-in-wine.sh takes "$prefix.lock" itself: this lock has another name,
# and is not handed on to Wine's processes.)
(
    flock 9
    if [ ! -f "$E2E_TEMPLATE_PREFIX/system.reg" ]; then
        log "creating the template Wine prefix"
        RAMTUNE_WINEPREFIX=$E2E_TEMPLATE_PREFIX "$SRC/tests/wine/run-in-wine.sh" "$DLGANSWER_EXE" probe \
            </dev/null >/dev/null 2>&1 9>&-
        WINEPREFIX=$E2E_TEMPLATE_PREFIX wineserver -k </dev/null >/dev/null 2>&1 9>&-
        WINEPREFIX=$E2E_TEMPLATE_PREFIX wineserver -w </dev/null >/dev/null 2>&1 9>&-
    fi
    [ -f "$E2E_TEMPLATE_PREFIX/system.reg" ]
) 9>"$E2E_TEMPLATE_PREFIX.e2e-lock" || die "could not create the template Wine prefix"
# The case's prefix: the template under an overlay, the case's changes in a
# layer of its own (nothing is written to the template), which takes no time
# where copying the template (700 MB) takes seconds; a copy where overlays
# cannot be mounted.
mkdir -p "$PREFIX" "$PREFIX_LAYER/upper" "$PREFIX_LAYER/work" || die "cannot create $PREFIX"
if mount -t overlay e2e-prefix \
        -o "lowerdir=$E2E_TEMPLATE_PREFIX,upperdir=$PREFIX_LAYER/upper,workdir=$PREFIX_LAYER/work" \
        "$PREFIX" 2>/dev/null; then
    PREFIX_MOUNTED=1
else
    rmdir "$PREFIX"
    cp -a "$E2E_TEMPLATE_PREFIX" "$PREFIX" || die "cannot copy the Wine prefix"
fi
mark prefix

"$NETNS" exec pc "$SUFFIX" -- Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp \
    3>"$WORK/display" </dev/null >"$WORK/xvfb.log" 2>&1 &
BACKGROUND+=($!)
DISPLAY_NUMBER=
for _ in $(seq 200); do
    read -r DISPLAY_NUMBER 2>/dev/null <"$WORK/display"
    [[ "$DISPLAY_NUMBER" =~ ^[0-9]+$ ]] && break
    DISPLAY_NUMBER=
    pause 0.1
done
[ -n "$DISPLAY_NUMBER" ] || die "Xvfb did not start: $(cat "$WORK/xvfb.log")"
mark Xvfb

# The prefix's wineserver starts here, inside the PC namespace, detached
# from this script's streams (run-in-wine.sh does the same for a 64-bit prefix).
if [ "$WINE_ARCH" = win64 ]; then
    in_pc env RAMTUNE_WINEPREFIX="$PREFIX" "$SRC/tests/wine/run-in-wine.sh" "$DLGANSWER_EXE" probe \
        >"$WORK/probe.txt" 2>&1
else
    in_pc wineserver -p </dev/null >/dev/null 2>&1
    in_pc wine wineboot </dev/null >/dev/null 2>&1
    mark wineboot
    in_pc wine "$DLGANSWER_EXE" probe </dev/null >"$WORK/probe.txt" 2>&1
fi
grep -q "dlganswer ready" "$WORK/probe.txt" || die "Wine does not run the helper: $(cat "$WORK/probe.txt")"
mark Wine

# Every wineserver of this prefix must live in the PC namespace. A wineserver
# leads a session of its own, which the kernel schedules as a group of its own
# whatever its nice value (autogroup): the group gets this script's nice value,
# so that the case's server does not come before the test run's priorities.
check_wineserver_namespace() {
    local server_dir pid found=0
    server_dir=$(printf 'server-%x-%x' $(stat -c '%d %i' "$PREFIX"))
    for pid in $(pgrep -x 'wineserver(32|64)?'); do
        [ "$(basename "$(readlink "/proc/$pid/cwd" 2>/dev/null)")" = "$server_dir" ] || continue
        found=1
        [ "$(ip netns identify "$pid" 2>/dev/null)" = "$NS_PC" ] ||
            die "wineserver $pid of $PREFIX runs outside $NS_PC: refusing to start Ramtune.exe"
        echo "$(nice)" >"/proc/$pid/autogroup" 2>/dev/null
    done
    [ "$found" = 1 ]
}
if ! check_wineserver_namespace; then
    # Seen once in the emulated PC under load: no server left after the
    # probe. One started here again lives in the PC namespace too.
    log "no wineserver for $PREFIX after the probe: starting it again"
    in_pc wineserver -p </dev/null >/dev/null 2>&1
    check_wineserver_namespace || die "no wineserver for $PREFIX"
fi

# ---- the program's files -------------------------------------------------------------

/usr/bin/python3 "$SRC/sim/make_files.py" "$WORK/files" >/dev/null || die "make_files.py failed"
mark files

# Lays the program out. "apart": program folder and current directory are
# unrelated, and the tool folder (current directory + the folder name) gets
# its own copies of the transfer files. "nested": the program lives in the
# tool folder and is started from its parent, as README-Windows.txt advises.
# MODE: the MODE value of config.ini.
PROGRAM=; CWD=; TOOL=
lay_out() {
    local how=$1 mode=$2 dir
    CWD=$WORK/cwd
    TOOL=$CWD/$TOOL_FOLDER_NAME
    if [ "$how" = nested ]; then PROGRAM=$TOOL; else PROGRAM=$WORK/program; fi
    mkdir -p "$CWD" "$PROGRAM"
    cp "$RAMTUNE_EXE" "$ECHOMOD_DLL" "$PROGRAM/"
    printf '[QARV]\r\nMODE=%s\r\n' "$mode" >"$PROGRAM/config.ini"
    for dir in "$PROGRAM" "$TOOL"; do
        mkdir -p "$dir"
        cp "$CURL_EXE" "$WORK/files/$IMAGE_NAME" "$WORK/files/mtd-write" "$dir/"
    done
}

SIM_PID=
SIM_NS=rt   # rt2: the second link of two-links
# start_simulator SCENARIO [DIR]: a scenario of sim/scenarios or a file;
# the router's files in DIR/simstate (default $WORK), its output DIR/sim.*.
start_simulator() {
    local scenario=$SRC/sim/scenarios/$1.json dir=${2:-$WORK}
    [ -f "$1" ] && scenario=$1
    "$NETNS" exec "$SIM_NS" "$SUFFIX" -- "$SRC/sim/run-sim.sh" "$scenario" "$dir/simstate" \
        --reboot-silence 5 >"$dir/sim.out" 2>"$dir/sim.err" &
    SIM_PID=$!
    BACKGROUND+=($SIM_PID)
    wait_for_line "$dir/sim.out" READY 30 && return 0
    die "the simulator did not start: $(tail -5 "$dir/sim.err")"
}

# ---- Ramtune.exe and the helpers ---------------------------------------------------

# Starts Ramtune.exe from the current directory CWD with ARGS; its exit code
# lands in $WORK/NAME.rc. A hard limit keeps a hanging program from holding
# the suite.  start_ramtune NAME [LIMIT [ARGS...]]
start_ramtune() {
    local name=$1 limit=${2:-600}
    shift 2 || shift $#
    rm -f "$WORK/$name.rc"
    (
        cd "$CWD" || exit 1
        in_pc timeout -s KILL "$limit" wine "$PROGRAM/Ramtune.exe" "$@" </dev/null >"$WORK/$name.out" 2>&1
        echo $? >"$WORK/$name.rc"
    ) &
    BACKGROUND+=($!)
}

# Waits up to SECONDS for Ramtune.exe (NAME) to end; prints its exit code.
wait_exit() {
    local name=$1 seconds=$2 i
    for ((i = 0; i < seconds * 5; i++)); do
        if [ -s "$WORK/$name.rc" ]; then
            cat "$WORK/$name.rc"
            return 0
        fi
        pause 0.2
    done
    echo none
    return 1
}

# PID and every process below it.
descendants() {
    local -a todo=("$1")
    local pid
    while [ ${#todo[@]} -gt 0 ]; do
        pid=${todo[0]}
        todo=("${todo[@]:1}")
        echo "$pid"
        todo+=($(pgrep -P "$pid"))
    done
}

# The dialog helper, answering in the background; its report goes to FILE.
# It returns once the helper's Windows process has loaded user32 (it is then
# past its start-up): a Wine process started at the same moment as another
# one can hang or fail under a slow (emulated) processor, so the next one
# starts only after that.
start_watcher() {
    local file=$1 i pid
    local -a maps
    shift
    in_pc wine "$DLGANSWER_EXE" watch "$@" </dev/null >"$WORK/$file" 2>&1 &
    BACKGROUND+=($!)
    WATCHER_PID=$!
    for ((i = 0; i < 300; i++)); do
        for pid in $(descendants "$WATCHER_PID"); do
            mapfile -t maps 2>/dev/null <"/proc/$pid/maps" || continue
            [[ "${maps[*]}" == *user32.dll* ]] && return 0
        done
        kill -0 "$WATCHER_PID" 2>/dev/null || break
        pause 0.2
    done
    fail "the dialog helper did not start: $(report "$file")"
}

# A Wine program in the PC namespace, its output with Wine's CR LF line ends
# made LF. The output goes through a file, not a pipe, which a Wine process
# started meanwhile could hold open (see run-in-wine.sh).
wine_output() {
    local raw=$WORK/wine-output.$BASHPID status=0
    in_pc "$@" </dev/null >"$raw" || status=$?
    tr -d '\r' <"$raw"
    rm -f "$raw"
    return "$status"
}

# The helper in the foreground (report() drops the CRs of its files too).
helper() { wine_output wine "$DLGANSWER_EXE" "$@"; }

# Waits up to SECONDS until a file matching PATTERN (a glob; blanks in it
# belong to the names) holds a line with TEXT.
wait_for_line() {
    local pattern=$1 text=$2 seconds=$3 i f IFS=
    local -a files lines
    for ((i = 0; i < seconds * 5; i++)); do
        # IFS empty: the pattern is expanded as a glob, not split at blanks.
        shopt -s nullglob
        files=($pattern)
        shopt -u nullglob
        for f in "${files[@]}"; do
            mapfile -t lines 2>/dev/null <"$f" || continue
            IFS=$'\n'
            [[ "${lines[*]}" == *"$text"* ]] && return 0
            IFS=
        done
        pause 0.2
    done
    return 1
}

# Saves a screenshot of the whole display and checks that it is not blank:
# more than a handful of colours and no single colour covering nearly all.
# Further arguments are colours that must cover at least 1500 pixels (a
# status picture is 117 x 36, mostly its background colour).
screenshot() {
    local name=$1 file=$ART/$1.png colours top colour count
    shift
    in_pc /usr/bin/import -window root "$file" 2>"$WORK/import.err" ||
        { fail "screenshot $name: $(cat "$WORK/import.err")"; return; }
    colours=$(/usr/bin/convert "$file" -format %k info:)
    top=$(/usr/bin/convert "$file" -format %c histogram:info:- | sort -rn | head -1 | awk '{print $1}' | tr -d :)
    log "screenshot $file: $colours colours, most frequent covers $top of 786432 pixels"
    if [ "${colours:-0}" -lt 8 ] || [ "${top:-786432}" -ge 770000 ]; then
        fail "screenshot $name is blank"
    fi
    for colour in "$@"; do
        count=$(/usr/bin/convert "$file" -alpha off -fill black +opaque "$colour" -fill white \
                -opaque "$colour" -format '%[fx:round(mean*w*h)]' info:)
        log "screenshot $name: $count pixels of $colour"
        [ "${count:-0}" -ge 1500 ] || fail "screenshot $name does not show the picture in $colour"
    done
}

# The Windows form of a path, as the program sees it.
windows_path() { wine_output winepath -w "$1" 2>/dev/null; }

expect_exit() {
    local name=$1 seconds=$2 expected=$3 rc
    rc=$(wait_exit "$name" "$seconds")
    [ "$rc" = "$expected" ] || fail "$name: exit code $rc, expected $expected"
}

# What a program without a manifest is told under each Windows version
# that Wine can report (GetVersionExA, as the helper prints it).
reported_version() {
    case "$1" in
        win2k)   echo "VERSION 5.0 platform 2 Service Pack 4" ;;
        winxp)   echo "VERSION 5.1 platform 2 Service Pack 3" ;;
        winxp64) echo "VERSION 5.2 platform 2 Service Pack 2" ;;
        vista)   echo "VERSION 6.0 platform 2 Service Pack 2" ;;
        win7)    echo "VERSION 6.1 platform 2 Service Pack 1" ;;
        *)       return 1 ;;
    esac
}

# Makes the prefix report Windows NAME. A name the prefix does not know is
# ignored in silence, so what a program is told is checked.
set_windows_version() {
    local name=$1 expected
    expected=$(reported_version "$name") || die "no expected version for '$name'"
    # The value that "winecfg -v" sets; reg.exe takes the emulated PC a
    # second of processor time where winecfg took four.
    in_pc wine reg add 'HKCU\Software\Wine' /v Version /d "$name" /f </dev/null >"$WORK/reg.txt" 2>&1
    helper version >"$WORK/version.txt"
    [ "$(cat "$WORK/version.txt")" = "$expected" ] ||
        die "Wine does not report $name ($expected): $(cat "$WORK/version.txt"; report reg.txt)"
    log "Wine reports $name: $expected"
}

# Lines of the helper's report, for comparison.
report() { tr -d '\r' <"$WORK/$1"; }

keep_files() {
    [ -d "${WORK:-}" ] && [ -d "${ART:-}" ] || return 0
    cp "$WORK"/*.txt "$WORK"/*.out "$WORK"/sim.* "$ART/" 2>/dev/null
    [ -d "${CWD:-}" ] && find "$CWD" -maxdepth 1 -name '*.txt' -exec cp {} "$ART/" \;
    [ -f "$WORK/simstate/commands.log" ] && cp "$WORK/simstate/commands.log" "$ART/"
    return 0
}

# ---- the cases --------------------------------------------------------------------------

# What curl put on the router is what lay in the tool folder.
check_uploads() {
    local f
    for f in "$IMAGE_NAME" mtd-write; do
        cmp -s "$TOOL/$f" "$WORK/simstate/10.77.0.2/tmp/mnt/cfe/$f" || fail "$f did not reach the router intact"
    done
}

case_complete() {
    lay_out apart ""
    start_simulator complete
    start_ramtune ramtune 600
    helper wait-warning --seconds 60 >"$WORK/wait.txt" ||
        { report_missing warning; die "no warning dialog: $(cat "$WORK/wait.txt")"; }
    sleep 1
    screenshot warning
    start_watcher answers.txt --warning yes --question no --select ok

    local process_log="$CWD/$TOOL_FOLDER_NAME"'*_Process_*.txt'
    if wait_for_line "$process_log" "[System]-Backing up data" 120; then
        screenshot backup "$COLOUR_LOGO"
        helper state >"$WORK/state-backup.txt"
        grep -qxF "button 1 disabled" "$WORK/state-backup.txt" &&
            grep -qxF "button 2 disabled" "$WORK/state-backup.txt" ||
            fail "Retry and Exit are not both disabled during the run: $(cat "$WORK/state-backup.txt")"
    else
        fail "the backup did not start within 120 s"
    fi

    if wait_for_line "$process_log" "[System]-Upgrade completed" 420; then
        sleep 1
        screenshot pass "$COLOUR_PASS"
        helper state >"$WORK/state-pass.txt"
        local want
        for want in "system-menu no" "progress 20" "button 1 disabled" "button 2 enabled" \
                    "item [System]-Upgrade completed" "label 1001 Model:  [LM-7210A]" \
                    "label 1002 MAC Address:  [AABBCCDDEE01]"; do
            grep -qxF "$want" "$WORK/state-pass.txt" || fail "after completion: no '$want' in $(cat "$WORK/state-pass.txt")"
        done
        helper about >"$WORK/about.txt"
        grep -q "^ABOUT About Ramtune:.*Version 1.0" "$WORK/about.txt" ||
            fail "About box: $(cat "$WORK/about.txt")"
    else
        fail "no '[System]-Upgrade completed' within 420 s (exit code $(cat "$WORK/ramtune.rc" 2>/dev/null || echo none))"
        screenshot not-completed
        helper state >"$WORK/state-end.txt"
    fi

    # Logs beside the tool folder, not inside it.
    local -a logs data
    mapfile -t logs < <(compgen -G "$CWD/${TOOL_FOLDER_NAME}AABBCCDDEE01_Process_*.txt")
    mapfile -t data < <(compgen -G "$CWD/${TOOL_FOLDER_NAME}AABBCCDDEE01_Data_*.txt")
    [ "${#logs[@]}" -ge 1 ] || fail "no Process log in $CWD"
    [ "${#data[@]}" -ge 1 ] || fail "no Data log in $CWD"
    if [ "${#logs[@]}" -ge 1 ]; then
        [ "$(head -1 "${logs[0]}" | tr -d '\r')" = "[System]-Backing up data" ] ||
            fail "the Process log does not start with the backup line"
        grep -q $'\r$' "${logs[0]}" || fail "the Process log lines do not end in CR LF"
    fi
    if [ "${#data[@]}" -ge 1 ]; then
        grep -q '^MacAddr_2G ' "${data[0]}" && grep -q '^odmpid=' "${data[0]}" ||
            fail "the Data log lacks the MAC or model lines"
    fi

    check_uploads

    if grep -q '^MESSAGE ' "$WORK/answers.txt"; then
        fail "message boxes during a clean run: $(grep '^MESSAGE ' "$WORK/answers.txt")"
    fi

    if [ ! -s "$WORK/ramtune.rc" ]; then
        helper click 2 >"$WORK/click.txt"
        expect_exit ramtune 20 1
    fi
}

case_already_updated() {
    # Engineering mode: every line reaches the Process log.
    lay_out nested "qzkw#8062"
    start_simulator already-updated
    start_watcher answers.txt --warning yes --question no --select ok --ok-delay 3000
    start_ramtune ramtune 300
    if wait_for_line "$WORK/answers.txt" "MESSAGE $UP_TO_DATE" 120; then
        sleep 1
        screenshot already-updated "$COLOUR_PASS"
    else
        fail "no up-to-date notice: $(report answers.txt)"
    fi
    expect_exit ramtune 30 1
    [ "$(grep -c '^MESSAGE ' "$WORK/answers.txt")" = 1 ] || fail "message boxes: $(report answers.txt)"

    local -a logs
    mapfile -t logs < <(compgen -G "$CWD/${TOOL_FOLDER_NAME}AABBCCDDEE01_Process_*.txt")
    if [ "${#logs[@]}" -ge 1 ]; then
        [ "$(head -1 "${logs[0]}" | tr -d '\r')" = "SetPos(1)" ] ||
            fail "engineering mode: the Process log does not start with SetPos(1)"
        grep -qF "$UP_TO_DATE" "${logs[0]}" || fail "the notice is not in the Process log"
    else
        fail "no Process log in $CWD"
    fi
}

start_beacon() {
    in_pc wine "$BEACON_EXE" </dev/null >"$WORK/beacon.txt" 2>&1 &
    BEACON_PID=$!
    BACKGROUND+=($BEACON_PID)
    wait_for_line "$WORK/beacon.txt" "Beacon Finder up" 30 || die "the Beacon Finder window did not come up"
}

case_beacon_yes() {
    lay_out apart ""
    start_beacon
    start_watcher answers.txt --warning no --question yes
    start_ramtune ramtune 120
    expect_exit ramtune 60 0
    local expected
    expected=$(printf 'QUESTION %s -> yes\nWARNING no' "$QUESTION")
    [ "$(report answers.txt)" = "$expected" ] || fail "answers: $(report answers.txt)"
    grep -q "Beacon Finder closed" "$WORK/beacon.txt" || fail "Beacon Finder was not closed"
    sleep 1
    kill -0 "$BEACON_PID" 2>/dev/null && fail "the Beacon Finder program still runs"
}

case_beacon_no() {
    lay_out apart ""
    start_beacon
    start_watcher answers.txt --warning no --question no
    start_ramtune ramtune 120
    expect_exit ramtune 60 1
    sleep 1
    [ "$(report answers.txt)" = "QUESTION $QUESTION -> no" ] || fail "answers: $(report answers.txt)"
    grep -q "Beacon Finder closed" "$WORK/beacon.txt" && fail "Beacon Finder was closed after No"
    kill -0 "$BEACON_PID" 2>/dev/null || fail "the Beacon Finder program has ended"
}

case_second_instance() {
    lay_out apart ""
    start_ramtune first 300
    helper wait-warning --seconds 60 >"$WORK/wait.txt" || die "no warning dialog of the first instance"
    start_watcher answers.txt --warning leave
    start_ramtune second 120
    expect_exit second 60 0
    sleep 1
    grep -qxF "MESSAGE The program is running" <(report answers.txt) || fail "answers: $(report answers.txt)"
    [ "$(grep -c '^MESSAGE ' "$WORK/answers.txt")" = 1 ] || fail "message boxes: $(report answers.txt)"
    # The first instance is unaffected: still running, its warning still up.
    [ -s "$WORK/first.rc" ] && fail "the first instance ended with $(cat "$WORK/first.rc")"
    helper wait-warning --seconds 5 >/dev/null || fail "the first instance's warning is gone"
    kill "$WATCHER_PID" 2>/dev/null
    start_watcher answers-first.txt --warning no
    expect_exit first 60 0
}

case_missing_file() {
    lay_out apart ""
    # curl.exe and config.ini both missing: only curl.exe is reported.
    rm -f "$PROGRAM/curl.exe" "$PROGRAM/config.ini"
    rm -rf "$TOOL"
    local expected
    expected="MESSAGE Loss file:\\n$(windows_path "$PROGRAM/curl.exe")"
    start_watcher answers.txt --warning no
    start_ramtune ramtune 120
    expect_exit ramtune 60 0
    sleep 1
    [ "$(report answers.txt)" = "$expected" ] || fail "answers: '$(report answers.txt)', expected '$expected'"
    # Start-up stopped at the file check: the tool folder was never created.
    [ -e "$TOOL" ] && fail "the tool folder was created"
}

case_select_cancel() {
    lay_out apart ""
    start_simulator two-routers
    start_watcher answers.txt --warning yes --select cancel
    start_ramtune ramtune 120
    expect_exit ramtune 90 0
    sleep 1
    # Both routers are offered, in the order they answered.
    local items
    items=$(report answers.txt | sed -n 's/^SELECT \(.*\) -> cancel$/\1/p')
    case "$items" in
        "10.77.0.2;10.77.0.3"|"10.77.0.3;10.77.0.2") ;;
        *) fail "selection offered '$items': $(report answers.txt)" ;;
    esac
    grep -q '^MESSAGE ' "$WORK/answers.txt" && fail "message boxes: $(report answers.txt)"
    # Closed without a choice: no router was written to.
    grep -qE 'nvram set|ATE Set_|mtd-write' "$WORK/simstate/commands.log" && fail "the routers were changed"
    return 0
}

case_warning_refused() {
    lay_out apart ""
    start_simulator complete
    start_ramtune ramtune 120
    helper wait-warning --seconds 60 >"$WORK/wait.txt" ||
        { report_missing warning; die "no warning dialog: $(cat "$WORK/wait.txt")"; }
    helper about >"$WORK/about.txt"
    grep -q "^ABOUT About Ramtune:.*Version 1.0" "$WORK/about.txt" || fail "About box: $(cat "$WORK/about.txt")"
    start_watcher answers.txt --warning no
    expect_exit ramtune 60 0
    sleep 1
    [ "$(report answers.txt)" = "WARNING no" ] || fail "answers: $(report answers.txt)"
    # Start-up had finished (tool folder made); no search and no run followed.
    [ -d "$TOOL" ] || fail "the tool folder was not created"
    [ -z "$(find "$CWD" -maxdepth 1 -name '*.txt')" ] || fail "log files were written"
    [ -s "$WORK/simstate/commands.log" ] && fail "the router received commands"
    return 0
}

case_old_windows() {
    lay_out apart ""
    rm -rf "$TOOL"  # start-up makes it only after the version check
    # XP x64, or in a 32-bit prefix (which cannot report XP x64) Windows 2000.
    if [ "$WINE_ARCH" = win32 ]; then set_windows_version win2k; else set_windows_version winxp64; fi
    start_watcher answers.txt --warning no
    # Room for an emulated PC under load (its exit once took over 60 s there).
    start_ramtune ramtune 200
    expect_exit ramtune 180 0
    sleep 1
    local expected='MESSAGE Support windows versions as below:\r\n-Windows XP SP3\r\n-Windows Vista'
    expected+='\r\n-Windows 7\r\n-Windows 8\r\n-Windows 8.1'
    [ "$(report answers.txt)" = "$expected" ] || fail "answers: '$(report answers.txt)', expected '$expected'"
    # Start-up stopped at the version check: no tool folder, no search.
    [ -e "$TOOL" ] && fail "the tool folder was created"
    return 0
}

# Waits up to SECONDS until the main dialog's state has the LINE.
wait_for_state() {
    local line=$1 seconds=$2 i
    for ((i = 0; i < seconds * 2; i++)); do
        helper state >"$WORK/state.txt" 2>/dev/null
        grep -qxF "$line" "$WORK/state.txt" && return 0
        pause 0.5
    done
    return 1
}

case_engineering_script() {
    lay_out nested "qzkw#8062"
    # Stand-ins that note each start: where the program must take its
    # helpers from (the system folder, the program's folder) and where it
    # must not (the current directory, which holds the logs). Wine's own arp
    # gives way to the planted one.
    local system=$PREFIX/drive_c/windows/system32
    cp "$PLANTED_EXE" "$system/arp.exe"
    cp "$PLANTED_EXE" "$PROGRAM/QARV_SSID.exe"
    cp "$PLANTED_EXE" "$CWD/arp.exe"
    cp "$PLANTED_EXE" "$CWD/QARV_SSID.exe"
    EXTRA_OVERRIDES=";arp.exe=n"

    # A run that gets past the Wi-Fi helper and ends at the image check,
    # leaving the program open with Retry enabled.
    start_simulator corrupt-image
    start_watcher answers.txt --warning yes --question no --select ok
    start_ramtune ramtune 300
    wait_for_state "button 1 enabled" 180 || die "the run did not end: $(cat "$WORK/state.txt")"
    grep -qxF "system-menu yes" "$WORK/state.txt" || fail "engineering mode: no system-menu box"

    local script=$WORK/check.script
    printf 'nvram get bl_version\r\n; the version of the firmware\r\nATE Get_FWVersion\r\n' >"$script"
    helper menu-last >"$WORK/menu.txt" || fail "system menu: $(cat "$WORK/menu.txt")"
    sleep 1
    screenshot open-script
    helper answer-open "$(windows_path "$script")" >"$WORK/open.txt" ||
        fail "no open-file dialog: $(cat "$WORK/open.txt")"
    grep -qF "[SCRIPT File(*.script)]" "$WORK/open.txt" || fail "not the script dialog: $(cat "$WORK/open.txt")"

    local expected result=$CWD/Result.txt
    expected=$(printf '<Send> nvram get bl_version\n<Response> 1.0.1.5\n\n<Send> ATE Get_FWVersion\n<Response> 3.0.4.118\n\n.')
    for _ in $(seq 50); do
        [ "$(cat "$result" 2>/dev/null; echo .)" = "$expected" ] && break
        pause 0.2
    done
    [ "$(cat "$result" 2>/dev/null; echo .)" = "$expected" ] ||
        fail "Result.txt: $(cat -A "$result" 2>&1)"
    [ "$(tail -2 "$WORK/simstate/commands.log")" = $'nvram get bl_version\nATE Get_FWVersion' ] ||
        fail "the router did not get the script's commands: $(tail -3 "$WORK/simstate/commands.log")"
    cp "$script" "$result" "$ART/" 2>/dev/null

    # The helpers came from where they belong, and nothing from the current directory.
    [ -e "$CWD/ran.txt" ] && fail "a program in the current directory was started: $(cat "$CWD/ran.txt")"
    grep -q 'QARV_SSID.exe /GET' "$PROGRAM/ran.txt" 2>/dev/null ||
        fail "QARV_SSID.exe beside the program did not run: $(cat "$PROGRAM/ran.txt" 2>&1)"
    grep -q 'arp -d' "$system/ran.txt" 2>/dev/null ||
        fail "the system folder's arp did not run: $(cat "$system/ran.txt" 2>&1)"
    cp "$PROGRAM/ran.txt" "$ART/ran-program.txt" 2>/dev/null
    cp "$system/ran.txt" "$ART/ran-system.txt" 2>/dev/null

    helper click 2 >"$WORK/click.txt"
    expect_exit ramtune 20 1
}

case_restore() {
    lay_out apart ""
    start_simulator complete
    local source="$CWD/${TOOL_FOLDER_NAME}AABBCCDDEE01_Data_20261201120000.txt"
    /usr/bin/python3 "$SRC/tests/integration/console_check_logs.py" write-data "$source" \
        "$SRC/upgrade/calibration_items.h" "$WORK/simstate/10.77.0.2" || die "no Data log to restore from"
    start_watcher answers.txt --warning yes --question no --select ok
    start_ramtune ramtune 600 /restore "$(windows_path "$source")"
    local process_log="$CWD/$TOOL_FOLDER_NAME"'*_Process_*.txt'
    if wait_for_line "$process_log" "[System]-Upgrade completed" 480; then
        sleep 1
        screenshot restore-pass "$COLOUR_PASS"
        helper state >"$WORK/state-pass.txt"
        grep -qxF "progress 20" "$WORK/state-pass.txt" || fail "after the restore: $(cat "$WORK/state-pass.txt")"
    else
        fail "no '[System]-Upgrade completed' within 480 s (exit code $(cat "$WORK/ramtune.rc" 2>/dev/null || echo none))"
        screenshot restore-not-completed
    fi
    local -a data
    mapfile -t data < <(compgen -G "$CWD/${TOOL_FOLDER_NAME}AABBCCDDEE01_Data_*.txt" | grep -vF "$source")
    [ "${#data[@]}" = 1 ] && cmp -s "$source" "${data[0]}" || fail "the restore's Data log differs from its source"
    compgen -G "$CWD/${TOOL_FOLDER_NAME}AABBCCDDEE01_BeforeRestore_*.txt" >/dev/null ||
        fail "no log of what the unit held before the restore"
    grep -q 'mtd-write' "$WORK/simstate/commands.log" || fail "the old bootloader was not flashed"
    grep -q '^MESSAGE ' "$WORK/answers.txt" && fail "message boxes during the restore: $(grep '^MESSAGE ' "$WORK/answers.txt")"
    if [ ! -s "$WORK/ramtune.rc" ]; then
        helper click 2 >"$WORK/click.txt"
        expect_exit ramtune 20 1
    fi
    return 0
}

case_verify() {
    lay_out apart ""
    start_simulator complete
    local source="$CWD/${TOOL_FOLDER_NAME}AABBCCDDEE01_Data_20261201120000.txt"
    /usr/bin/python3 "$SRC/tests/integration/console_check_logs.py" write-data "$WORK/own.txt" \
        "$SRC/upgrade/calibration_items.h" "$WORK/simstate/10.77.0.2" || die "no Data log to check against"
    sed 's/^0:pa2ga0=0x..../0:pa2ga0=0x1234/' "$WORK/own.txt" >"$source"
    start_watcher answers.txt --warning yes --question no --select ok
    start_ramtune ramtune 300 /verify "$(windows_path "$source")"
    local process_log="$CWD/$TOOL_FOLDER_NAME"'*_Process_*.txt'
    # The ending's line follows its message box.
    if wait_for_line "$process_log" "[System]-Check: The unit differs from the Data log" 180; then
        sleep 2
        screenshot verify-differs
    else
        fail "the check did not name 0:pa2ga0 within 180 s (exit code $(cat "$WORK/ramtune.rc" 2>/dev/null || echo none))"
        screenshot verify-not-ended
    fi
    grep -qF "[System]-Check: 1 of 30 values differ: 0:pa2ga0" "$(compgen -G "$process_log" | head -n 1)" || fail "the Process log does not name 0:pa2ga0"
    grep -q '^MESSAGE .*0:pa2ga0' "$WORK/answers.txt" || fail "no message naming 0:pa2ga0: $(grep '^MESSAGE ' "$WORK/answers.txt")"
    grep -q -e 'Set_' -e 'nvram set' -e 'nvram commit' -e '^reboot$' -e 'mtd-write' -e 'enable_ftp' \
        "$WORK/simstate/commands.log" && fail "the check wrote to the router"
    [ "$(compgen -G "$CWD/${TOOL_FOLDER_NAME}*_Data_*.txt" | wc -l)" = 1 ] || fail "the check wrote a Data log"
    if [ ! -s "$WORK/ramtune.rc" ]; then
        helper click 2 >"$WORK/click.txt"
        expect_exit ramtune 20 1
    fi
    return 0
}

case_cut_upload() {
    lay_out apart ""
    start_simulator cut-upload
    start_watcher answers.txt --warning yes --question no --select ok
    start_ramtune ramtune 300
    local process_log="$CWD/$TOOL_FOLDER_NAME"'*_Process_*.txt'
    if wait_for_line "$process_log" "[System]-The upload of cfe_lm-7210a_1.0.1.6.bin did not complete" 240; then
        sleep 1
        screenshot upload-cut
    else
        fail "no line about the cut upload within 240 s (exit code $(cat "$WORK/ramtune.rc" 2>/dev/null || echo none))"
        screenshot upload-not-ended
    fi
    grep -q 'mtd-write' "$WORK/simstate/commands.log" && fail "the cut image was flashed"
    if [ ! -s "$WORK/ramtune.rc" ]; then
        helper click 2 >"$WORK/click.txt"
        expect_exit ramtune 20 1
    fi
    return 0
}

log "namespaces $SUFFIX, display :$DISPLAY_NUMBER, prefix $PREFIX ($WINE_ARCH); set-up:${SETUP_TIMES%,}"
[ -n "${E2E_WINDOWS_VERSION:-}" ] && set_windows_version "$E2E_WINDOWS_VERSION"
case_two_links() {
    lay_out apart ""
    SIM_NS=rt2
    # Windows (Vista and later) sends what a socket bound to an address sends
    # by the link that holds the address; Linux routes by the destination
    # alone. This rule gives the PC namespace Windows' way for the second
    # link's address, and for nothing else: what is not bound to it (the
    # discovery broadcasts, a command without IP_UNICAST_IF, curl without
    # --interface) still takes the first link and meets the decoy.
    local pc_ip2 pc_if2
    pc_ip2=$(sed -n "s/^RAMTUNE_PC_IP2='\(.*\)'$/\1/p" "$WORK/netns.txt")
    pc_if2=$(sed -n "s/^RAMTUNE_PC_IF2='\(.*\)'$/\1/p" "$WORK/netns.txt")
    ip -n "$NS_PC" rule add from "$pc_ip2" table 102 &&
        ip -n "$NS_PC" route add 10.77.0.0/24 dev "$pc_if2" src "$pc_ip2" table 102 ||
        die "cannot route $pc_ip2 by $pc_if2"
    start_simulator complete
    "$NETNS" exec rt "$SUFFIX" -- /usr/bin/python3 -u "$SRC/tests/integration/decoy.py" "$WORK/decoy" \
        >"$WORK/decoy.out" 2>&1 &
    BACKGROUND+=($!)
    local i
    for i in $(seq 100); do grep -q READY "$WORK/decoy.out" 2>/dev/null && break; sleep 0.1; done
    grep -q READY "$WORK/decoy.out" || die "the decoy did not start: $(cat "$WORK/decoy.out")"
    start_watcher answers.txt --warning yes --question no --select ok
    start_ramtune ramtune 600
    local process_log="$CWD/$TOOL_FOLDER_NAME"'*_Process_*.txt'
    if wait_for_line "$process_log" "[System]-Backing up data" 120; then
        sleep 3
        [ -s "$WORK/simstate/commands.log" ] || fail "the router on the second link got no command"
        grep -q "discovery=[1-9]" "$WORK/decoy" || fail "no discovery request reached the first link: $(cat "$WORK/decoy")"
        grep -q "commands=0 ftp=0" "$WORK/decoy" || fail "the decoy on the first link got a command: $(cat "$WORK/decoy")"
        if wait_for_line "$process_log" "[System]-Upgrade completed" 420; then
            sleep 1
            screenshot two-links-pass "$COLOUR_PASS"
        else
            fail "no '[System]-Upgrade completed' within 420 s (exit code $(cat "$WORK/ramtune.rc" 2>/dev/null || echo none))"
            screenshot two-links-not-completed
        fi
    else
        fail "the run did not reach the backup within 120 s: $(report answers.txt)"
        screenshot not-found
    fi
    check_uploads
    grep -q "commands=0 ftp=0" "$WORK/decoy" ||
        fail "the decoy on the first link got a command or an upload: $(cat "$WORK/decoy")"
    if [ ! -s "$WORK/ramtune.rc" ]; then
        helper click 2 >"$WORK/click.txt"
        expect_exit ramtune 20 1
    fi
}

# ---- the station -------------------------------------------------------------------------

# Link K (1 to RAMTUNE_NETNS_LINKS) of scripts/netns: the PC's address and
# device on it, and the router namespace at its other end.
link_address() { case $1 in 1) echo 10.77.0.1 ;; 2) echo 10.77.0.11 ;; *) echo "10.77.0.$((9 + $1))" ;; esac; }
link_device() { case $1 in 1) echo "vp$SUFFIX" ;; 2) echo "vq$SUFFIX" ;; *) echo "vk$1$SUFFIX" ;; esac; }
link_space() { case $1 in 1) echo rt ;; 2) echo rt2 ;; *) echo "rt$1" ;; esac; }
unit_mac() { printf 'AA:BB:CC:%02X:00:01' "$1"; }

# Windows (Vista and later) sends what a socket bound to an address sends by
# the link that holds the address; Linux routes by the destination alone.
# route_links N gives the PC namespace Windows' way for links 1 to N.
route_links() {
    local k address
    for ((k = 1; k <= $1; k++)); do
        address=$(link_address "$k")
        ip -n "$NS_PC" rule add from "$address" table $((100 + k)) &&
            ip -n "$NS_PC" route add 10.77.0.0/24 dev "$(link_device "$k")" src "$address" table $((100 + k)) ||
            die "cannot route $address by link $k"
    done
}

# plug_unit NAME LINK MAC [SILENCE [MORE]]: a simulated unit with its own MAC
# on link LINK, its files in $WORK/NAME (before/: its values as it came);
# SILENCE: its reboot silence (s); MORE: more of its scenario (JSON members).
# Its simulator's process id in UNIT_PID, the time it answered in UNIT_PLUGGED.
plug_unit() {
    local dir=$WORK/$1
    mkdir -p "$dir/before"
    printf '{"mac": "%s", "reboot_silence_s": %s%s}\n' "$3" "${4:-3}" "${5:+, $5}" >"$dir/scenario.json"
    SIM_NS=$(link_space "$2") start_simulator "$dir/scenario.json" "$dir"
    UNIT_PID=$SIM_PID
    UNIT_PLUGGED=$(date +%s.%N)
    cp "$dir/simstate/10.77.0.2/nvram" "$dir/simstate/10.77.0.2/mtd0" "$dir/before/"
}

# check_unit NAME LINK [untouched]: the unit got the commands of one complete
# run (or none that changes it), none meant for another unit, FTP from its
# link's address only, and keeps its own values.
check_unit() {
    local dir=$WORK/$1 address items=$SRC/upgrade/calibration_items.h
    local checks=$SRC/tests/integration/full_run_checks.py
    address=$(link_address "$2")
    cp "$dir/sim.err" "$ART/sim-$1.err"
    cp "$dir/simstate/commands.log" "$ART/commands-$1.log" 2>/dev/null
    grep -q 'no router has that MAC' "$dir/sim.err" && fail "$1: a command meant for another unit"
    grep 'ftp connection from' "$dir/sim.err" | grep -vq "from $address\$" && fail "$1: FTP from another link's address"
    if [ "${3:-}" = untouched ]; then
        grep -q 'mtd-write' "$dir/simstate/commands.log" && fail "$1: its image was flashed"
        /usr/bin/python3 "$checks" untouched "$dir/before" "$dir/simstate/10.77.0.2" \
            >"$dir/kept.txt" 2>&1 || fail "$1 was changed: $(cat "$dir/kept.txt")"
        return 0
    fi
    /usr/bin/python3 "$checks" commands "$dir/simstate/commands.log" "$items" "$dir/before" complete \
        >"$dir/commands.txt" 2>&1 || fail "$1: the commands: $(cat "$dir/commands.txt")"
    /usr/bin/python3 "$checks" kept "$dir/before" "$dir/simstate/10.77.0.2" "$items" \
        >"$dir/kept.txt" 2>&1 || fail "$1: the values: $(cat "$dir/kept.txt")"
}

case_station_children() {
    lay_out apart ""
    local k report=$WORK/report.json rc
    local -a addresses=()
    route_links 3
    for k in 1 2 3; do
        plug_unit "unit$k" $k "$(unit_mac $k)"
        addresses+=("$(link_address $k)")
    done
    (
        cd "$CWD" || exit 1
        in_pc timeout -s KILL 500 wine "$BENCH_PROBE_EXE" --accept-warning --yes --ledger "$RAMTUNE_LEDGER" \
            --report "$(windows_path "$report")" "$(windows_path "$PROGRAM/Ramtune.exe")" "${addresses[@]}" \
            </dev/null >"$WORK/bench.out" 2>&1
    )
    rc=$?
    tr -d '\r' <"$WORK/bench.out" >"$WORK/bench.txt"
    [ "$rc" = 0 ] || fail "the bench ended with $rc: $(tail -20 "$WORK/bench.txt")"
    grep -qF "cannot receive on UDP port" "$WORK/bench.txt" && fail "a run could not hold port 9999 on its adapter"
    /usr/bin/python3 -c "import json,sys; r=json.load(open(sys.argv[1])); u=r['units']
sys.exit(0 if r['exit_status'] == 0 and len(u) == 3 and all(x['exit_status'] == 0 and x['ending'] == 'PASS' for x in u)
         else 1)" "$report" || fail "the report: $(cat "$report" 2>&1)"
    for k in 1 2 3; do check_unit "unit$k" $k; done
    cp "$report" "$ART/" 2>/dev/null
    return 0
}

# The station window's rows, counts and note (dlganswer station) in FILE.
station_state() { helper station >"$WORK/$1" 2>&1; }

# Waits up to SECONDS until the station window shows a line that begins
# with PATTERN ("*": any text within one cell); its lines in station.txt.
# One helper process looks, as often as it likes (each Wine process's start
# costs the emulated PC seconds).
wait_for_station() {
    helper station --wait "$1" --seconds "$2" >"$WORK/station.txt" 2>&1
}

# The Process logs of the unit with MAC, as a pattern for wait_for_line.
process_log() { printf '%s' "$CWD/$TOOL_FOLDER_NAME$(printf '%s' "$1" | tr -d :)"'_Process_*.txt'; }

# What there is instead of the window a case waits for (WHAT), for the log:
# the screen, the warning (still up or not), whether the answerer and the
# program still run, and the Wine processes with what each waits in.
report_missing() {
    in_pc /usr/bin/import -window root "$ART/missing-${1// /-}.png" 2>/dev/null
    log "instead of the $1: the warning: $(helper wait-warning --seconds 1 2>&1 | tr -d '\r');" \
        "the answerer $([ -z "${WATCHER_PID:-}" ] && echo "not started" || { kill -0 "$WATCHER_PID" 2>/dev/null && echo runs || echo "has ended"; });" \
        "Ramtune.exe $([ -f "$WORK/ramtune.rc" ] && echo "ended with $(cat "$WORK/ramtune.rc")" || echo "has no exit status yet")"
    ps -eo pid,ppid,stat,etime,time,wchan:24,args | grep -iE 'wine|\.exe' | grep -v grep >"$ART/processes.txt"
}

# Starts Ramtune.exe /all with the warning answered, and waits for its window
# with SLOTS ticked slots ready.  open_station SLOTS [cmd]
# cmd: by the package's Station.cmd, as a technician double-clicks it (the
# nested layout; the program's exit status is then not seen).
STATION_BY_CMD=0
open_station() {
    if [ "${2:-}" = cmd ]; then
        local script=${RAMTUNE_EXE%/*}/Station.cmd
        [ -f "$script" ] || script=$SRC/app/win32/package/Station.cmd
        cp "$script" "$CWD/Station.cmd" || die "no Station.cmd"
        STATION_BY_CMD=1
    fi
    # The answerer first: a Wine process started at the same moment as
    # another one can hang under a slow processor (start_watcher).
    start_watcher answers.txt --warning yes --question no --select leave
    if [ "$STATION_BY_CMD" = 1 ]; then
        # --foreground: a slow cmd is ended alone, not the program it started.
        (cd "$CWD" && in_pc timeout --foreground -s KILL 120 wine cmd /c Station.cmd </dev/null >"$WORK/station-cmd.out" 2>&1)
        echo "Station.cmd: exit status $?" >>"$WORK/station-cmd.out"
    else
        start_ramtune ramtune 840 /all
    fi
    # The next Wine process (the station's helper) starts once the program
    # is past its start-up: its warning was answered.
    wait_for_line "$WORK/answers.txt" WARNING 300 ||
        { report_missing warning; die "no warning dialog: $(report answers.txt; cat "$WORK/station-cmd.out" 2>/dev/null)"; }
    wait_for_station 'title Ramtune station' 120 || { report_missing "station window"; die "no station window: $(report answers.txt; cat "$WORK/station.txt" "$WORK/station-cmd.out" 2>/dev/null)"; }
    cp "$WORK/station.txt" "$ART/station-ready.txt"
    [ "$(grep -c '^row .*| ready |' "$WORK/station.txt")" = "$1" ] || fail "not $1 ticked slots ready: $(cat "$WORK/station.txt")"
}

# Stop, the station's report (ramtune_bench_*.json) checked by the Python
# expression CHECK on r (the report) and u (its units by MAC without colons),
# then Close: the program ends with the report's status.  close_station CHECK
close_station() {
    local report expected=none rc
    helper click 1024 >"$WORK/click-stop.txt" || fail "Stop: $(cat "$WORK/click-stop.txt")"
    wait_for_station 'note The station has stopped' 180 || fail "the station did not end: $(cat "$WORK/station.txt")"
    cp "$WORK/station.txt" "$ART/station-ended.txt"
    report=$(compgen -G "$CWD/ramtune_bench_*.json" | head -1)
    if [ -z "$report" ]; then
        fail "no report in $CWD"
    else
        cp "$report" "$ART/report.json"
        expected=$(/usr/bin/python3 -c "import json,sys; print(json.load(open(sys.argv[1]))['exit_status'])" "$report")
        /usr/bin/python3 -c "import json,sys; r=json.load(open(sys.argv[1]))
u={x['mac'].upper().replace(':', ''): x for x in r['units']}
passed=lambda m: u[m.replace(':', '')]['ending'] == 'PASS' and u[m.replace(':', '')]['exit_status'] == 0
sys.exit(0 if $1 else 1)" "$report" || fail "the report: $(cat "$report")"
    fi
    helper click 2 >"$WORK/click-close.txt" || fail "Close: $(cat "$WORK/click-close.txt")"
    if [ "$STATION_BY_CMD" = 1 ]; then
        for ((rc = 0; rc < 30; rc++)); do station_state station.txt || return 0; sleep 1; done
        fail "the station window did not close"
        return 0
    fi
    rc=$(wait_exit ramtune 30)
    log "Ramtune.exe /all ended with exit code $rc"
    [ "$rc" = "$expected" ] || fail "exit code $rc after Close, expected the report's status $expected"
}

case_station_window() {
    lay_out apart ""
    local k m1 m2 m3 m4
    m1=$(unit_mac 1); m2=$(unit_mac 2); m3=$(unit_mac 3); m4=$(unit_mac 4)
    route_links 3
    plug_unit unit1 1 "$m1"
    local first=$UNIT_PID
    plug_unit unit2 2 "$m2"
    plug_unit unit3 3 "$m3" 3 '"cut_upload": {"file": "'$IMAGE_NAME'", "after_bytes": 3300, "times": 1}'
    open_station 3
    helper click 1023 >"$WORK/click-start.txt" || die "Start: $(cat "$WORK/click-start.txt")"

    wait_for_line "$(process_log "$m1")" "[System]-Upgrade completed" 300 || fail "unit 1 did not complete"
    wait_for_line "$(process_log "$m2")" "[System]-Upgrade completed" 60 || fail "unit 2 did not complete"
    wait_for_line "$(process_log "$m3")" "did not complete" 60 || fail "unit 3's cut upload was not logged"
    wait_for_station 'counts 2 completed, 1 failed, 0 unfinished, 0 running' 60 ||
        fail "the counts do not show two completed and one failed: $(cat "$WORK/station.txt")"
    cp "$WORK/station.txt" "$ART/station-three.txt"

    # Unit 1 leaves link 1; once its slot waits again, unit 4 is plugged in there.
    kill "$first"; wait "$first" 2>/dev/null
    local left=$SECONDS
    wait_for_station 'row * | waiting |' 60 || fail "link 1's slot did not become free: $(cat "$WORK/station.txt")"
    log "link 1's slot was free again after $((SECONDS - left)) s"
    plug_unit unit4 1 "$m4"
    wait_for_line "$(process_log "$m4")" "[System]-Upgrade completed" 300 || fail "unit 4 did not complete"
    wait_for_station 'counts 3 completed, 1 failed, 0 unfinished, 0 running' 60 ||
        fail "the counts do not show three completed and one failed: $(cat "$WORK/station.txt")"
    sleep 2
    station_state station-four.txt
    cp "$WORK/station-four.txt" "$ART/"
    screenshot station-window

    close_station "len(u) == 4 and r['exit_status'] != 0 and all(passed(m) for m in ('$m1', '$m2', '$m4'))
and u['${m3//:/}']['ending'].startswith('FAIL') and not u['${m3//:/}']['unit_changed']"
    for k in 1 2 4; do check_unit "unit$k" $((k == 4 ? 1 : k)); done
    check_unit unit3 3 untouched
    return 0
}

# Ramtune.exe /all with a healthy unit on each of its N links: N slots ready,
# Start, every unit PASS with its own values, Stop, Close: exit status 0.
station_units() {
    local n=$1 k
    if [ "${2:-}" = cmd ]; then lay_out nested ""; else lay_out apart ""; fi
    route_links "$n"
    for ((k = 1; k <= n; k++)); do plug_unit "unit$k" "$k" "$(unit_mac "$k")"; done
    open_station "$n" "${2:-}"
    helper click 1023 >"$WORK/click-start.txt" || die "Start: $(cat "$WORK/click-start.txt")"
    for ((k = 1; k <= n; k++)); do
        wait_for_line "$(process_log "$(unit_mac "$k")")" "[System]-Upgrade completed" 600 || fail "unit $k did not complete"
    done
    wait_for_station "counts $n completed, 0 failed, 0 unfinished, 0 running" 120 ||
        fail "the counts do not show $n completed: $(cat "$WORK/station.txt")"
    screenshot station-units
    close_station "len(u) == $n and r['exit_status'] == 0 and all(x['ending'] == 'PASS' for x in u.values())"
    for ((k = 1; k <= n; k++)); do check_unit "unit$k" "$k"; done
    return 0
}
case_station_one() { station_units 1 cmd; }
case_station_two() { station_units 2; }

# Windows XP with two linked adapters: after the warning, a box says why the
# station cannot run and which Windows can; no station window, no search.
case_station_xp_refused() {
    # A 64-bit prefix cannot report XP SP3 (XP x64 is refused at start-up).
    [ "$WINE_ARCH" = win32 ] || skip "Windows XP SP3 needs a 32-bit prefix (the emulated PC's case)"
    lay_out apart ""
    set_windows_version winxp
    start_watcher answers.txt --warning yes --question no --select leave
    start_ramtune ramtune 180 /all
    expect_exit ramtune 150 2
    sleep 1
    local answers
    answers=$(report answers.txt)
    [[ "$answers" == "WARNING yes"*"MESSAGE This PC runs Windows XP, which cannot send a unit's traffic through a chosen network adapter, and 2 adapters have a link:"* ]] ||
        fail "answers: '$answers'"
    [[ "$answers" == *"10.77.0.1"*"10.77.0.11"*"Windows Vista, 7, 8 and 10 run every slot at once."* ]] ||
        fail "the refusal does not name both adapters and the Windows that can: '$answers'"
    station_state station.txt && fail "a station window opened: $(cat "$WORK/station.txt")"
    compgen -G "$CWD/$TOOL_FOLDER_NAME*_Process_*.txt" >/dev/null && fail "a unit's run started"
    return 0
}

# Not a test (perf/station_wine.sh): E2E_STATION_SLOTS units (default 8)
# plugged E2E_STAGGER seconds apart (default 5) into the station, each timed
# from its plug-in to the end of its Process log, against one unit's run
# alone in the same station before (its routers' reboot silence
# E2E_REBOOT_SILENCE, default 20 s). Prints each ratio and the largest.
case_station_bench() {
    local slots=${E2E_STATION_SLOTS:-8} stagger=${E2E_STAGGER:-5} silence=${E2E_REBOOT_SILENCE:-20} k mac
    lay_out apart ""
    route_links "$slots"
    open_station "$slots"
    helper click 1023 >"$WORK/click-start.txt" || die "Start: $(cat "$WORK/click-start.txt")"
    # end_of NAME MAC: when the unit's Process log ends (its last line).
    end_of() {
        wait_for_line "$(process_log "$2")" "[System]-Upgrade completed" 900 && date +%s.%N >"$WORK/$1/ended" &
        BACKGROUND+=($!)
    }
    mac=$(unit_mac 0)
    plug_unit alone 1 "$mac" "$silence"
    local alone=$UNIT_PID
    echo "$UNIT_PLUGGED" >"$WORK/alone/plugged"
    end_of alone "$mac"
    wait_for_station 'counts 1 completed' 600 || die "the unit alone did not complete: $(cat "$WORK/station.txt")"
    kill "$alone"; wait "$alone" 2>/dev/null
    for ((k = 0; k < 60; k += 2)); do
        station_state station.txt && ! grep -qiF "${mac//:/}" "$WORK/station.txt" && break
        sleep 2
    done
    for ((k = 1; k <= slots; k++)); do
        plug_unit "unit$k" "$k" "$(unit_mac "$k")" "$silence"
        echo "$UNIT_PLUGGED" >"$WORK/unit$k/plugged"
        end_of "unit$k" "$(unit_mac "$k")"
        [ "$k" = "$slots" ] || sleep "$stagger"
    done
    wait_for_station "counts $((slots + 1)) completed, 0 failed, 0 unfinished, 0 running" 900 ||
        fail "not every unit completed: $(cat "$WORK/station.txt")"
    sleep 2
    screenshot station-bench
    /usr/bin/python3 - "$WORK" "$slots" "$stagger" "$silence" <<'PY' | tee "$ART/station-bench.txt"
import os, sys
work, slots = sys.argv[1], int(sys.argv[2])
took = lambda name: float(open(os.path.join(work, name, "ended")).read()) - float(open(os.path.join(work, name, "plugged")).read())
alone = took("alone")
print("slots: %d, plugged %s s apart, reboot silence %s s" % (slots, sys.argv[3], sys.argv[4]))
print("one unit alone in the station: %.2f s" % alone)
ratios = []
for k in range(1, slots + 1):
    name = "unit%d" % k
    if os.path.exists(os.path.join(work, name, "ended")):
        ratios.append(took(name) / alone)
        print("  %s  %.2f s  ratio %.4f" % (name, took(name), ratios[-1]))
    else:
        print("  %s  no ending" % name)
print("largest ratio: %s" % ("%.4f" % max(ratios) if len(ratios) == slots else "(not every unit ended)"))
PY
    close_station "len(u) == $((slots + 1)) and r['exit_status'] == 0"
    return 0
}

"case_${CASE//-/_}"
keep_files
if [ "$FAILED" = 0 ]; then
    log "PASS"
    exit 0
fi
log "artifacts in $ART"
exit 1
