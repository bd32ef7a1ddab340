#!/bin/sh
# run-in-wine.sh EXE [ARGS...]
#
# Runs a Windows test program under Wine the way CI needs it:
# - its own Wine prefix: $RAMTUNE_WINEPREFIX, else "wineprefix" in the build
#   tree that holds EXE (the folder with CMakeCache.txt), created on first use;
# - the prefix's wineserver started detached before the test, so that Wine's
#   background processes do not inherit (and hold open) the caller's pipes;
# - no Wine debug noise, no Mono/Gecko installers (they would go online);
# - the program's exit code is passed through, and a program that prints
#   nothing fails: a 32-bit or broken exe "succeeds" silently under wine64.
set -u

if [ $# -lt 1 ]; then
    echo "usage: $0 EXE [ARGS...]" >&2
    exit 2
fi
exe=$1
shift
if [ ! -f "$exe" ]; then
    echo "run-in-wine: no such program: $exe" >&2
    exit 2
fi

find_build_tree() {
    dir=$(cd "$(dirname "$1")" && pwd)
    while [ "$dir" != "/" ]; do
        if [ -f "$dir/CMakeCache.txt" ]; then
            echo "$dir"
            return
        fi
        dir=$(dirname "$dir")
    done
    cd "$(dirname "$1")" && pwd
}

if [ -n "${RAMTUNE_WINEPREFIX:-}" ]; then
    prefix=$RAMTUNE_WINEPREFIX
else
    prefix=$(find_build_tree "$exe")/wineprefix
fi
export WINEPREFIX="$prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree=d;mshtml=d${WINEDLLOVERRIDES:+;$WINEDLLOVERRIDES}"
export WINEARCH=win64

# Create the prefix once; a lock keeps parallel tests from creating it twice.
mkdir -p "$(dirname "$prefix")"
(
    flock 9
    if [ ! -f "$prefix/system.reg" ]; then
        echo "run-in-wine: creating Wine prefix $prefix" >&2
        wineboot --init </dev/null >/dev/null 2>&1 9>&-
        wineserver -w </dev/null >/dev/null 2>&1 9>&-
        if [ ! -f "$prefix/system.reg" ]; then
            echo "run-in-wine: could not create the Wine prefix $prefix" >&2
            exit 1
        fi
    fi
) 9>"$prefix.lock" || exit 1

# A persistent wineserver, detached from our standard streams.
wineserver -p </dev/null >/dev/null 2>&1
wine wineboot </dev/null >/dev/null 2>&1

output=$(mktemp "${TMPDIR:-/tmp}/run-in-wine.XXXXXX") || exit 1
trap 'rm -f "$output"' EXIT INT TERM

# The program's output goes to a file, then to the caller, so that it can be
# checked for being empty. Not through a pipe: a Wine process that the
# program's start brings up (the desktop, a service) may inherit the pipe and
# keep it open for the life of the persistent wineserver, and the reader
# would wait for its end as long.
wine "$exe" "$@" >"$output" 2>&1
rc=$?
cat "$output"

if [ ! -s "$output" ]; then
    echo "run-in-wine: $exe printed nothing (exit code $rc): not a 64-bit Windows program, or it failed to start" >&2
    [ "$rc" -eq 0 ] && rc=1
fi
exit "$rc"
