#!/bin/bash
# One ramtune per network stack (as root; exit 77 = skipped otherwise):
#
#   instances.sh RAMTUNE LIBECHOMOD
#
# The single-instance lock belongs to the network namespace. While a first
# ramtune searches in the PC namespace of one pair (no router answers, so the
# series lasts 20 s), a second one in the same namespace says "The program is
# running" and ends with its code 0 (status 10), and a third one in the PC
# namespace of another pair starts and searches at the same time. Once the
# first is killed, the lock is free again in its namespace.
#
# Everything it creates (namespaces, programs, files) is removed on exit,
# also on failure or interruption.
set -u

if [ $# -ne 2 ]; then
    echo "usage: $0 RAMTUNE LIBECHOMOD" >&2
    exit 2
fi
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib.sh"

lib_start instances "$1" "$2" in
other=${suffix}b
more_namespaces "$other" || exit 1

for name in first same other again; do layout "$name"; done

start_run first "$suffix" --accept-warning
first_pid=$started
check "the first ramtune starts and searches" wait_output first "[System]-Searching" 15

start_run other "$other" --accept-warning
other_pid=$started
check "a ramtune in another namespace starts and searches too" \
    wait_output other "[System]-Searching" 15
check "the two ran side by side" kill -0 "$first_pid"

run same --accept-warning
check "a second ramtune in the same namespace ends with its code 0 (10)" test "$status" = 10
check "it says the program is running" contains "$work/same/out" "The program is running"
check "it does not search" lacks "$work/same/out" "[System]-Searching"
[ "$failed" = 0 ] || show same

# A killed instance leaves no lock behind: the next one gets past the
# check and stops at the warning (no terminal, so it is refused: 10).
kill -KILL "$first_pid" 2>/dev/null
finish_run "$first_pid"
run again
check "after the first is killed, a new one in its namespace gets to the warning (10)" \
    sh -c "[ $status = 10 ] && grep -qF 'Click yes to continue' '$work/again/out' &&
           ! grep -qF 'The program is running' '$work/again/out'"
[ "$failed" = 0 ] || show again

finish_run "$other_pid"
check "the one in the other namespace runs to its end (no router: 3)" test "$status" = 3
check "it never saw another instance" lacks "$work/other/out" "The program is running"
[ "$failed" = 0 ] || show other

lib_finish
