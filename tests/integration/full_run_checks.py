#!/usr/bin/python3
"""Checks what complete upgrade runs left behind: the Process log of a normal
mode run, the commands the simulated router received, and the router's boot
partition afterwards.

  full_run_checks.py trail LOG
      The normal-mode Process log of a completed first-pass run holds exactly
      the status trail: backup, upgrade, writing, reboot, the twelve countdown
      lines, the reconnection search's progress lines (none or "...1", "...2",
      ... in turn; they are logged every fourth search cycle only), checking,
      completed. Every line ends in CR LF.

  full_run_checks.py commands COMMANDS_LOG ITEMS_HEADER BEFORE_DIR CASE
      STATE_DIR/commands.log holds exactly the commands a run of CASE sends, in
      order. BEFORE_DIR holds the router's nvram and mtd0 snapshots as they were
      before the run; the write-back commands must carry those values. CASE:
        complete    one pass: backup, flash, write-back, reboot, verification
        mismatch    "0:pa2ga0" reads back wrong after the first reboot: the first
                    verification stops at that row after its 8 reads, then a
                    second write-back, reboot and a complete verification
        never-back  everything up to the reboot; the silent router records nothing
        corrupt     the backup, the FTP preparation and 5 failed image checks
      Readiness polls may repeat within their attempt budgets; every other
      command must appear exactly as often as listed.

  full_run_checks.py kept BEFORE_DIR AFTER_DIR ITEMS_HEADER
      The boot partition after a completed run holds the new bootloader's
      configuration and the unit's own values from before the run: both MACs,
      PIN, country codes and revisions, the calibration values (kept in nvram
      before the run) and odmpid.

  full_run_checks.py restored BEFORE_DIR AFTER_DIR ITEMS_HEADER
      What "kept" checks, and the calibration variables of the running system
      (nvram) hold the unit's values from before the run again too.

  full_run_checks.py untouched BEFORE_DIR AFTER_DIR
      The boot partition is exactly as it was (nothing was flashed).

Prints what differs; exit status 1 then.
"""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from console_check_logs import TEST_SERVICE_KEYS, compare, item_table, read_lines, read_pairs  # noqa: E402

NEW_VERSION = "1.0.1.6"
IMAGE = "/mnt/cfe/cfe_lm-7210a_%s.bin" % NEW_VERSION
READY = "ATE Get_FwReadyStatus"
SEARCH_LINE = "[System]-Searching for LM-7210A/LM-7210B...%d"

# The new bootloader's DDR configuration (what the upgrade is for).
NEW_BOOT_CONFIG = {"bl_version": NEW_VERSION, "clkfreq": "800,666", "sdram_config": "0x0104"}

# Identity values in the boot partition: item of the table -> the keys that hold it.
IDENTITY_KEYS = {
    "2.4 GHz MAC": ["et0macaddr", "0:macaddr"],
    "5 GHz MAC": ["1:macaddr"],
    "0:ccode": ["0:ccode"],
    "0:regrev": ["0:regrev"],
    "1:ccode": ["1:ccode"],
    "1:regrev": ["1:regrev"],
    "WPS PIN": ["secret_code"],
}
IDENTITY_COUNT = len(IDENTITY_KEYS)

BOARD_SETTINGS = [
    "nvram set clkfreq=800,666",
    "nvram set 0:tempthresh=255",
    "nvram set 1:tempthresh=255",
    "nvram set bl_version=" + NEW_VERSION,
    "nvram set gpio9=usbport1",
    "nvram set HW_ver=170",
]


# ---- the normal-mode status trail -----------------------------------------------------------

def check_trail(log):
    lines, problems = read_lines(log)
    before = ["[System]-Backing up data",
              "[System]-Upgrading DDR configuration...Please wait...",
              "[System]-Writing data",
              "[System]-Rebooting LM-7210A/LM-7210B..."]
    before += ["[System]-Please wait...%d" % n for n in range(1, 13)]
    after = ["[System]-Checking data", "[System]-Upgrade completed"]
    searches = 0
    while (len(before) + searches < len(lines)
           and lines[len(before) + searches] == SEARCH_LINE % (searches + 1)):
        searches += 1
    expected = before + [SEARCH_LINE % n for n in range(1, searches + 1)] + after
    return problems + compare(lines, expected)


# ---- the commands of a run ------------------------------------------------------------------

class Expected:
    """The expected command list: (command, least count, most count) runs."""

    def __init__(self):
        self.runs = []

    def add(self, command, least=1, most=None):
        most = least if most is None else most
        if self.runs and self.runs[-1][0] == command:
            c, lo, hi = self.runs[-1]
            self.runs[-1] = (c, lo + least, hi + most)
        else:
            self.runs.append((command, least, most))

    def extend(self, commands):
        for command in commands:
            self.add(command)


def run_values(header, before_dir):
    """(read command, write-back command) of every item, with the value kept before the run."""
    nvram = read_pairs(os.path.join(before_dir, "nvram"))
    mtd0 = read_pairs(os.path.join(before_dir, "mtd0"))
    rows = []
    for key, read, write in item_table(header):
        if read.startswith("ATE Get_"):
            value = mtd0[TEST_SERVICE_KEYS[read[len("ATE Get_"):]]]
        elif read:
            value = nvram[read[len("nvram get "):]]
        else:
            value = mtd0[key]
            read = "cat /dev/mtd0 | grep " + key
        rows.append((key, read, write.replace("%s", value)))
    return rows, nvram, mtd0


def model_name(mtd0):
    for name in ("QARV", "LM-7210B", "LM-7210A"):
        if name in mtd0.get("odmpid", ""):
            return name
    raise SystemExit("no model name in the router's odmpid")


def backup_and_prepare(e, rows, nvram):
    # A read whose reply comes after its time limit (a loaded machine) is
    # asked again, up to the program's bound: reads may repeat, writes never.
    e.add(READY, 1, 5)                  # readiness probe
    e.add("ATE Get_FWVersion", 1, 5)
    e.add(READY, 1, 30)                 # readiness wait
    e.add("nvram get bl_version", 1, 3)  # version gate
    e.add("nvram get wlopmode", 1, 5)
    for _, read, _ in rows:
        e.add(read, 1, 8)
    e.add("cat /dev/mtd0 |grep odmpid", 1, 8)
    e.extend(["mkdir /tmp/mnt/cfe", "nvram set enable_ftp=1", "nvram set st_ftp_mode=1",
              "rc rc_service restart_ftpd"])


def flash(e):
    e.add("cat %s |grep bl_version" % IMAGE)
    e.add("chmod 777 /mnt/cfe/mtd-write")
    e.add("/mnt/cfe/mtd-write %s boot" % IMAGE)
    e.add("cat /dev/mtd0 |grep bl_version")


def write_back_and_reboot(e, rows, nvram, model):
    e.extend(write for _, _, write in rows[:IDENTITY_COUNT])
    e.extend(write for _, _, write in rows[IDENTITY_COUNT:])
    e.add("nvram set qarvcfeodmpid=" + model)
    e.add("nvram set qarvcfeATEMODE=0")
    if "7" in nvram.get("wlopmode", ""):
        e.extend(["nvram set qarvcfewlopmode=7", "ATE Set_Commit"])
    e.extend(BOARD_SETTINGS)
    e.add("ATE Set_Commit")
    e.add("reboot")


def verification_reads(rows):
    """The reads of the verification, one per row, in row order."""
    reads = ["nvram get clkfreq", "nvram get 0:tempthresh", "nvram get 1:tempthresh",
             "nvram get bl_version", "nvram get gpio9", "nvram get HW_ver"]
    partition = [k for item in IDENTITY_KEYS.values() for k in item]
    partition += [key for key, _, _ in rows[IDENTITY_COUNT:]]
    reads += ["cat /dev/mtd0 | grep " + key for key in partition]
    reads += ["cat /dev/mtd0 |grep odmpid", "cat /dev/mtd0 | grep bl_version"]
    return reads


def reconnect(e):
    e.add(READY, 1, 5)    # the poll after the countdown
    e.add(READY, 1, 30)   # the poll after the search


def expected_commands(case, rows, nvram, mtd0):
    e = Expected()
    model = model_name(mtd0)
    backup_and_prepare(e, rows, nvram)
    if case == "corrupt":
        e.add("cat %s |grep bl_version" % IMAGE, 5)
        return e
    flash(e)
    write_back_and_reboot(e, rows, nvram, model)
    if case == "never-back":
        return e
    reconnect(e)
    reads = verification_reads(rows)
    if case == "mismatch":
        wrong = reads.index("cat /dev/mtd0 | grep 0:pa2ga0")
        verify(e, reads[:wrong])
        e.add(reads[wrong], 8)
        write_back_and_reboot(e, rows, nvram, model)
        reconnect(e)
    elif case != "complete":
        raise SystemExit("unknown case %r" % case)
    verify(e, reads)
    return e


def verify(e, reads):
    # As in the backup, a read whose reply comes late is asked again, within
    # the row's attempts (8; the boot loader version's 5).
    for read in reads:
        e.add(read, 1, 5 if read == "cat /dev/mtd0 | grep bl_version" else 8)


def actual_runs(path):
    runs = []
    with open(path, encoding="latin-1") as f:
        for line in f:
            command = line.rstrip("\n")
            if runs and runs[-1][0] == command:
                runs[-1][1] += 1
            else:
                runs.append([command, 1])
    return runs


def describe(count, least, most):
    return "%d" % least if least == most else "%d to %d" % (least, most)


def check_commands(log, header, before_dir, case):
    rows, nvram, mtd0 = run_values(header, before_dir)
    expected = expected_commands(case, rows, nvram, mtd0).runs
    actual = actual_runs(log)
    for index in range(max(len(actual), len(expected))):
        if index >= len(actual):
            return ["the log ends before %r (%d more kinds of command expected)"
                    % (expected[index][0], len(expected) - index)]
        command, count = actual[index]
        if index >= len(expected):
            return ["unexpected %r (%d times) after the last expected command" % (command, count)]
        want, least, most = expected[index]
        if command != want:
            context = [c for c, _ in actual[max(0, index - 3):index]]
            return ["command %d: got %r, expected %r (after %r)" % (index + 1, command, want, context)]
        if not least <= count <= most:
            return ["%r sent %d times in a row, expected %s" % (command, count,
                                                              describe(count, least, most))]
    return []


# ---- the boot partition afterwards -------------------------------------------------------------

def check_kept(before_dir, after_dir, header):
    nvram = read_pairs(os.path.join(before_dir, "nvram"))
    before = read_pairs(os.path.join(before_dir, "mtd0"))
    after = read_pairs(os.path.join(after_dir, "mtd0"))
    problems = []

    def expect(key, value, what):
        if after.get(key) != value:
            problems.append("mtd0 %s: %r, expected %r (%s)" % (key, after.get(key), value, what))

    for key, value in NEW_BOOT_CONFIG.items():
        expect(key, value, "new bootloader")
    for keys in IDENTITY_KEYS.values():
        for key in keys:
            expect(key, before[key], "unit value before the run")
    for key, read, _ in item_table(header)[IDENTITY_COUNT:]:
        expect(key, nvram[read[len("nvram get "):]], "calibration value before the run")
    expect("odmpid", before["odmpid"], "model id before the run")
    return problems


def check_restored(before_dir, after_dir, header):
    problems = check_kept(before_dir, after_dir, header)
    before = read_pairs(os.path.join(before_dir, "nvram"))
    after = read_pairs(os.path.join(after_dir, "nvram"))
    for _, read, _ in item_table(header)[IDENTITY_COUNT:]:
        key = read[len("nvram get "):]
        if after.get(key) != before[key]:
            problems.append("nvram %s: %r, expected %r (calibration value before the run)"
                            % (key, after.get(key), before[key]))
    return problems


def check_untouched(before_dir, after_dir):
    with open(os.path.join(before_dir, "mtd0"), "rb") as f:
        before = f.read()
    with open(os.path.join(after_dir, "mtd0"), "rb") as f:
        after = f.read()
    if before == after:
        return []
    return ["mtd0 changed; bl_version now %r" % read_pairs(os.path.join(after_dir, "mtd0")).get("bl_version")]


def main(argv):
    if len(argv) == 3 and argv[1] == "trail":
        problems = check_trail(argv[2])
    elif len(argv) == 6 and argv[1] == "commands":
        problems = check_commands(argv[2], argv[3], argv[4], argv[5])
    elif len(argv) == 5 and argv[1] == "kept":
        problems = check_kept(argv[2], argv[3], argv[4])
    elif len(argv) == 5 and argv[1] == "restored":
        problems = check_restored(argv[2], argv[3], argv[4])
    elif len(argv) == 4 and argv[1] == "untouched":
        problems = check_untouched(argv[2], argv[3])
    else:
        sys.stderr.write(__doc__)
        return 2
    for problem in problems:
        print("  " + problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
