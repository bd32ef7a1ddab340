#!/bin/bash
# echomod_ping.sh UNIT_TEST_PROGRAM
#
# Checks the echo library against real addresses, only inside a pair of test
# network namespaces (scripts/netns): the unit-test program runs its helper
# PlatformEchoLibrary.DISABLED_PingHostsFromTheEnvironment in the PC namespace,
# which loads the library built beside the tests (../echomod/) and pings and
# looks up a few hosts. A program ending in ".exe" runs under Wine, with a
# copy of the build's Wine prefix whose wineserver lives in the PC namespace
# (so that Wine's sockets are created there too).
#
# Needs root (ip netns, raw ICMP sockets).
set -u

if [ "$(id -u)" != 0 ]; then
    echo "echomod_ping: needs root (network namespaces, raw ICMP sockets); skipped"
    exit 77
fi

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
netns=$root/scripts/netns
filter=PlatformEchoLibrary.DISABLED_PingHostsFromTheEnvironment

fail() { echo "echomod_ping: FAIL: $*" >&2; failures=$((failures + 1)); }

# Every host of one line "echo-result HOST ping=N ms=N lookup=N address=TEXT".
field() { # field HOST NAME
    sed -n "s/^echo-result $1 .*\b$2=\([^ ]*\).*/\1/p" "$output" | tr -d '\r' | head -n 1
}

inside() {
    exe=$1
    hosts="10.77.0.2 10.77.0.20 10.77.0.2.invalid localhost"
    output=$(mktemp)
    prefix_copy=
    trap 'rm -f "$output"; [ -n "$prefix_copy" ] && rm -rf "$(dirname "$prefix_copy")"' EXIT

    if [[ $exe == *.exe ]]; then
        # A prefix of our own: its wineserver starts inside the namespace.
        source_prefix=${RAMTUNE_WINEPREFIX:-}
        if [ -z "$source_prefix" ]; then
            dir=$(dirname "$exe")
            while [ "$dir" != / ] && [ ! -f "$dir/CMakeCache.txt" ]; do dir=$(dirname "$dir"); done
            source_prefix=$dir/wineprefix
        fi
        prefix_copy=$(mktemp -d)/prefix
        if [ -f "$source_prefix/system.reg" ]; then
            cp -a "$source_prefix" "$prefix_copy"
        fi
        "$netns" exec pc "$RAMTUNE_NETNS_SUFFIX" -- \
            env RAMTUNE_PING_HOSTS="$hosts" RAMTUNE_WINEPREFIX="$prefix_copy" \
            "$root/tests/wine/run-in-wine.sh" "$exe" \
            --gtest_also_run_disabled_tests --gtest_filter="$filter" >"$output" 2>&1
        status=$?
        "$netns" exec pc "$RAMTUNE_NETNS_SUFFIX" -- \
            env WINEPREFIX="$prefix_copy" wineserver -k >/dev/null 2>&1
    else
        "$netns" exec pc "$RAMTUNE_NETNS_SUFFIX" -- \
            env RAMTUNE_PING_HOSTS="$hosts" "$exe" \
            --gtest_also_run_disabled_tests --gtest_filter="$filter" >"$output" 2>&1
        status=$?
    fi
    cat "$output"

    failures=0
    [ "$status" -eq 0 ] || fail "the helper ended with status $status"
    grep -q '^echo-result ' "$output" || fail "no results: library not loaded or not found?"

    # The router namespace answers echo requests.
    [ "$(field 10.77.0.2 ping)" = 1 ] || fail "10.77.0.2 did not answer"
    [ "$(field 10.77.0.2 lookup)" = 1 ] || fail "dotted 10.77.0.2 not accepted by HostByName"
    [ "$(field 10.77.0.2 address)" = - ] || fail "HostByName changed the pointer for a dotted address"

    # Nobody has this address: 0 after the 500 ms receive limit.
    [ "$(field 10.77.0.20 ping)" = 0 ] || fail "10.77.0.20 answered"
    ms=$(field 10.77.0.20 ms)
    if [ -z "$ms" ] || [ "$ms" -lt 400 ] || [ "$ms" -gt 2000 ]; then
        fail "unanswered ping took ${ms:-?} ms, expected about 500"
    fi

    # 17 characters: refused at once.
    [ "$(field 10.77.0.2.invalid ping)" = 0 ] || fail "17-character host was pinged"
    ms=$(field 10.77.0.2.invalid ms)
    if [ -z "$ms" ] || [ "$ms" -gt 100 ]; then fail "17-character host took ${ms:-?} ms"; fi

    # A name is looked up (from the hosts file: the namespace has no DNS).
    [ "$(field localhost lookup)" = 1 ] || fail "localhost not resolved"
    [ "$(field localhost address)" = 127.0.0.1 ] || fail "localhost resolved to $(field localhost address)"

    if [ "$failures" -eq 0 ]; then
        echo "echomod_ping: PASS"
        return 0
    fi
    return 1
}

if [ "${1:-}" = --inside ]; then
    shift
    inside "$(realpath "$1")"
    exit $?
fi

if [ $# -ne 1 ]; then
    echo "usage: $0 UNIT_TEST_PROGRAM" >&2
    exit 2
fi
[ -x "$netns" ] || { echo "echomod_ping: $netns is missing" >&2; exit 2; }
[ -f "$1" ] || { echo "echomod_ping: no such program: $1" >&2; exit 2; }
# "run" removes the namespaces again on every way out.
exec "$netns" run "ep$$" -- "$0" --inside "$1"
