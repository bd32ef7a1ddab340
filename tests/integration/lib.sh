# Shared helpers of the shell tests that run the console front end against the
# router simulator in private network namespaces. Sourced, not run:
#
#   . "$here/lib.sh"
#   lib_start NAME RAMTUNE LIBECHOMOD   # root check (77), work folder, traps, namespaces
#   layout case1 [MODE]; start_sim SCENARIO STATE [SILENCE]; run case1 ARGS...; stop_sim
#   check "what" COMMAND...;  lib_finish
#   more_namespaces SUFFIX; start_run case2 SUFFIX ARGS...; finish_run $started
#
# Everything lib_start creates (namespaces, simulator, a ramtune still
# running, the work folder) is removed when the script exits, also on failure
# or interruption. Processes are stopped by their pid only.
#
# Scripts run side by side: each has its own namespaces (the suffix ends in
# the script's process id) and its own work folder (mktemp).

top=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
netns=$top/scripts/netns
tool_folder_name="QARV LM-7210A_LM-7210B DDR Configuration Upgrade Tool"
router=10.77.0.2

# A command that run puts in front of ramtune inside the namespace (for
# example /usr/bin/time with its options); empty: ramtune itself.
run_wrapper=()

# The namespace start_sim runs the simulator in: rt, or rt2 for the second
# link of RAMTUNE_NETNS_LINKS=2 (see scripts/netns).
sim_ns=rt

# What the tool folder's "curl" is: "silent" (prints nothing, so the image
# upload fails right after the backup) or "real" (the system's curl).
tool_curl=silent

test_name=
work=
suffix=
sim_pid=
run_pid=
more_pairs=()   # namespace pairs of more_namespaces
started_pids=() # ramtune started by start_run and not yet finished
started=
status=
passed=0
failed=0

# lib_start NAME RAMTUNE LIBECHOMOD
lib_start() {
    test_name=$1
    if [ "$(id -u)" != 0 ]; then
        echo "$test_name: needs root (network namespaces); skipped"
        exit 77
    fi
    program=$(readlink -f "$2")
    library=$(readlink -f "$3")
    suffix=${4:-it}$$
    work=$(mktemp -d "/tmp/ramtune-$test_name.XXXXXX")
    # Every test keeps its own unit ledger: the PC's would hold other tests' units.
    export RAMTUNE_LEDGER=$work/ledger.sqlite3
    trap lib_cleanup EXIT
    trap 'exit 130' INT
    trap 'exit 143' TERM
    "$netns" up "$suffix" >/dev/null || exit 1
}

lib_cleanup() {
    if [ -n "$run_pid" ]; then
        kill -TERM "$run_pid" 2>/dev/null
        wait "$run_pid" 2>/dev/null
        run_pid=
    fi
    local pid pair
    for pid in "${started_pids[@]}"; do
        kill -TERM "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    done
    started_pids=()
    stop_sim
    [ -n "$suffix" ] && "$netns" down "$suffix" >/dev/null 2>&1
    for pair in "${more_pairs[@]}"; do
        "$netns" down "$pair" >/dev/null 2>&1
    done
    [ -n "$work" ] && rm -rf "$work"
}

check() {   # check DESCRIPTION COMMAND...
    local what=$1; shift
    if "$@"; then
        echo "ok   - $what"; passed=$((passed + 1))
    else
        echo "FAIL - $what"; failed=$((failed + 1))
    fi
}
contains() { grep -qF -- "$2" "$1"; }
lacks() { ! grep -qF -- "$2" "$1"; }
has_line() { grep -qxF -- "$2" "$1"; }   # a whole line

# layout NAME [MODE]: a working folder with the tool folder in it; MODE is
# config.ini's MODE value (none: normal mode). The uploader is $tool_curl.
layout() {
    local folder=$work/$1/$tool_folder_name
    mkdir -p "$folder"
    cp "$program" "$library" "$folder/"
    /usr/bin/python3 "$top/sim/make_files.py" "$folder" >/dev/null
    if [ "$tool_curl" = real ]; then
        ln -s "$(command -v curl)" "$folder/curl"
    else
        printf '#!/bin/sh\nexit 0\n' >"$folder/curl"
        chmod +x "$folder/curl"
    fi
    if [ $# -ge 2 ]; then
        printf '[QARV]\r\nMODE=%s\r\n' "$2" >"$folder/config.ini"
    else
        printf '[QARV]\r\n' >"$folder/config.ini"
    fi
}

# run NAME ARGS...: ramtune from the working folder NAME, in the PC
# namespace, without a terminal; sets $status, output in NAME/out. It runs
# in the background so that an interruption reaches the traps at once.
run() {
    local dir=$work/$1; shift
    (cd "$dir" && RAMTUNE_MEMBER_MARKER=$work/no-marker \
        exec "$netns" exec pc "$suffix" -- "${run_wrapper[@]}" "$dir/$tool_folder_name/ramtune" "$@") \
        </dev/null >"$dir/out" 2>&1 &
    run_pid=$!
    wait "$run_pid"
    status=$?
    run_pid=
}

# more_namespaces SUFFIX: one more pair of namespaces, removed on exit.
more_namespaces() {
    more_pairs+=("$1")
    "$netns" up "$1" >/dev/null
}

# start_run NAME SUFFIX ARGS...: like run, in the PC namespace of the pair
# SUFFIX, but returns at once; sets $started to the pid of ramtune.
start_run() {
    local dir=$work/$1 pair=$2
    shift 2
    (cd "$dir" && RAMTUNE_MEMBER_MARKER=$work/no-marker \
        exec "$netns" exec pc "$pair" -- "${run_wrapper[@]}" "$dir/$tool_folder_name/ramtune" "$@") \
        </dev/null >"$dir/out" 2>&1 &
    started=$!
    started_pids+=("$started")
}

# finish_run PID: waits for a ramtune of start_run to end; sets $status.
finish_run() {
    wait "$1" 2>/dev/null   # no "Killed" notice for a killed one
    status=$?
    local pid rest=()
    for pid in "${started_pids[@]}"; do [ "$pid" = "$1" ] || rest+=("$pid"); done
    started_pids=("${rest[@]}")
}

# wait_output NAME TEXT SECONDS: until NAME/out holds TEXT.
wait_output() {
    local i
    for ((i = 0; i < $3 * 10; i++)); do
        grep -qF -- "$2" "$work/$1/out" 2>/dev/null && return 0
        sleep 0.1
    done
    return 1
}

# start_sim SCENARIO STATE_DIR [REBOOT_SILENCE_S]: the simulator in the
# router namespace (reboot silence 1 s unless given); waits for READY.
start_sim() {
    "$netns" exec "$sim_ns" "$suffix" -- "$top/sim/run-sim.sh" "$1" "$2" --reboot-silence "${3:-1}" \
        >"$work/sim.out" 2>"$work/sim.err" &
    sim_pid=$!
    wait_ready "$work/sim.out" || { echo "simulator did not start:"; cat "$work/sim.err"; return 1; }
}

wait_ready() {   # wait_ready FILE: up to 10 s for a line READY in FILE
    for _ in $(seq 100); do
        grep -q READY "$1" 2>/dev/null && return 0
        sleep 0.1
    done
    return 1
}

stop_sim() {
    [ -n "$sim_pid" ] || return 0
    kill -TERM "$sim_pid" 2>/dev/null
    wait "$sim_pid" 2>/dev/null
    sim_pid=
}

one_log() {   # one_log DIR KIND: the only log of that kind, else empty
    local logs
    logs=$(find "$1" -maxdepth 1 -name "*_$2_*.txt")
    [ "$(printf '%s\n' "$logs" | grep -c .)" = 1 ] && printf '%s' "$logs"
}

show() {   # the output of a failed case
    echo "--- output of $1"; sed 's/^/    /' "$work/$1/out"
}

lib_finish() {   # the summary line and the exit status
    echo "$test_name: $passed passed, $failed failed"
    [ "$failed" = 0 ]
}

# lib_cases "CASE..." RAMTUNE LIBECHOMOD [CASE...]: the cases asked for (all
# when none is named) in $cases; a usage error (2) for an unknown one.
lib_cases() {
    local all=$1 c known=1; shift
    [ $# -ge 2 ] || known=0
    cases=("${@:3}")
    [ ${#cases[@]} -gt 0 ] || read -ra cases <<<"$all"
    for c in "${cases[@]}"; do
        [[ " $all " == *" $c "* ]] || known=0
    done
    if [ "$known" = 0 ]; then
        echo "usage: $0 RAMTUNE LIBECHOMOD [CASE...]   (CASE: ${all// /, })" >&2
        exit 2
    fi
}

# lib_run_cases PREFIX RAMTUNE LIBECHOMOD SUFFIX: runs case_<name> for every
# case in $cases (the test is PREFIX_<case> for one case) and finishes.
lib_run_cases() {
    local name=$1s c
    [ ${#cases[@]} = 1 ] && name=$1_${cases[0]}
    lib_start "$name" "$2" "$3" "$4"
    for c in "${cases[@]}"; do
        "case_$c"
    done
    lib_finish
}
