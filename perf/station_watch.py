#!/usr/bin/env python3
"""Follows a running station for perf/station_run.sh.

    station_watch.py STATION_PID OUTPUT_FILE RESULT_JSON

Every 0.25 s, until the stop file RESULT_JSON.stop appears or the station
ends: the CPU time of the station and of every process under it (by /proc),
which of them are searches (--bench-watch) and unit runs (--bench-unit),
the station's resident memory and the number of unit runs at that moment;
and the time at which each unit's last picture ("| Status: PASS", FAIL or
PAUSE) appeared in the station's output, by its MAC. Writes RESULT_JSON when it stops.
"""
import json
import os
import sys
import time

TICK = os.sysconf("SC_CLK_TCK")
ENDINGS = ("PASS", "FAIL", "PAUSE")  # a unit's last picture


def stat_of(pid):
    """(utime + stime, cutime + cstime) in seconds, or None when gone."""
    try:
        with open("/proc/%d/stat" % pid) as f:
            fields = f.read().rsplit(")", 1)[1].split()
    except OSError:
        return None
    # fields[0] is the state (field 3): utime is field 14.
    return (int(fields[11]) + int(fields[12])) / TICK, (int(fields[13]) + int(fields[14])) / TICK


def children_of(pid):
    try:
        with open("/proc/%d/task/%d/children" % (pid, pid)) as f:
            return [int(p) for p in f.read().split()]
    except OSError:
        return []


def tree(pid):
    found = []
    for child in children_of(pid):
        found.append(child)
        found.extend(tree(child))
    return found


def kind_of(pid):
    try:
        with open("/proc/%d/cmdline" % pid, "rb") as f:
            args = f.read().split(b"\0")
    except OSError:
        return None
    if b"--bench-watch" in args:
        return "search"
    if b"--bench-unit" in args:
        return "run"
    return "other"


def rss_kib(pid):
    try:
        with open("/proc/%d/status" % pid) as f:
            for line in f:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return 0


def main(argv):
    station, output, result = int(argv[1]), argv[2], argv[3]
    started = time.time()
    cpu = {}    # pid -> [kind, last CPU seconds]
    ends = {}   # MAC -> (time, the line)
    seen = 0
    most_runs = 0
    rss_at_most = 0
    own = children = 0.0
    alive = []
    while not os.path.exists(result + ".stop"):
        now = stat_of(station)
        if now is None:
            break
        own, children = now
        runs = 0
        alive = tree(station)
        for pid in alive:
            kind = cpu.get(pid, [None])[0] or kind_of(pid)
            sample = stat_of(pid)
            if kind is None or sample is None:
                continue
            cpu[pid] = [kind, sample[0]]
            runs += kind == "run"
        if runs >= most_runs:
            rss_now = rss_kib(station)
            rss_at_most = max(rss_now, rss_at_most) if runs == most_runs else rss_now
            most_runs = runs
        try:
            with open(output, errors="replace") as f:
                lines = f.read().splitlines()
        except OSError:
            lines = []
        for line in lines[seen:]:
            head, _, tail = line.partition("| Status: ")
            if tail in ENDINGS and head.split():
                ends.setdefault(head.split()[-1], (time.time(), line))
        seen = len(lines)
        time.sleep(0.25)
    searches = sum(c for kind, c in cpu.values() if kind == "search")
    with open(result, "w") as f:
        json.dump({"seconds": time.time() - started, "station_cpu": own, "searches_cpu": searches,
                   "reaped_children_cpu": children,
                   "alive_children_cpu": sum(cpu[p][1] for p in alive if p in cpu),
                   "searches": sum(1 for kind, _ in cpu.values() if kind == "search"),
                   "most_runs": most_runs, "rss_kib_at_most_runs": rss_at_most,
                   "ends": {mac: t for mac, (t, _) in ends.items()},
                   "endings": {mac: line for mac, (_, line) in ends.items()}}, f, indent=1)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
