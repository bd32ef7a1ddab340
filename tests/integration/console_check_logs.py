#!/usr/bin/python3
"""Checks the run logs that ramtune wrote, line by line.

  console_check_logs.py data LOG ITEMS_HEADER ROUTER_STATE_DIR
      The Data log holds one line per calibration item, in the order of the
      item table in ITEMS_HEADER, each the item's write-back command with the
      command words removed and the router's value filled in, and then the
      model-name line. The values are taken from the simulator's snapshot of
      that router (ROUTER_STATE_DIR/nvram and ROUTER_STATE_DIR/mtd0).

  console_check_logs.py process LOG EXPECTED_LINE...
      The Process log holds exactly these lines, in this order.

Every line must end in CR LF. Prints what differs; exit status 1 then.
"""

import re
import sys

# The identity items that the router's test service reads from its boot partition.
TEST_SERVICE_KEYS = {
    "MacAddr_2G": "et0macaddr",
    "MacAddr_5G": "1:macaddr",
    "PINCode": "secret_code",
}


def read_lines(path):
    with open(path, "rb") as f:
        data = f.read()
    problems = []
    if data and not data.endswith(b"\r\n"):
        problems.append("the last line does not end in CR LF")
    lines = data.split(b"\r\n")
    if lines and lines[-1] == b"":
        lines.pop()
    for number, line in enumerate(lines, 1):
        if b"\r" in line or b"\n" in line:
            problems.append("line %d has a bare CR or LF" % number)
    return [line.decode("latin-1") for line in lines], problems


def read_pairs(path):
    pairs = {}
    with open(path, encoding="latin-1") as f:
        for line in f:
            line = line.rstrip("\n")
            if "=" in line:
                key, value = line.split("=", 1)
                pairs.setdefault(key, value)
    return pairs


def item_table(header):
    """(key, read command, write command) of every row of kCalibrationItems."""
    with open(header, encoding="utf-8") as f:
        text = f.read()
    body = text[text.index("kCalibrationItems["):]
    rows = []
    for line in body.splitlines():
        if not line.strip().startswith('{"'):
            continue
        strings = re.findall(r'"((?:[^"\\]|\\.)*)"', line)
        rows.append((strings[0], strings[1], strings[-1]))
    return rows


def expected_data_log(header, state_dir):
    nvram = read_pairs(state_dir + "/nvram")
    mtd0 = read_pairs(state_dir + "/mtd0")
    lines = []
    for key, read, write in item_table(header):
        if read.startswith("ATE Get_"):
            value = mtd0[TEST_SERVICE_KEYS[read[len("ATE Get_"):]]]
        elif read.startswith("nvram get "):
            value = nvram[read[len("nvram get "):]]
        else:
            value = mtd0[key]
        line = write.replace("%s", value)
        lines.append(line.replace("ATE Set_", "").replace("nvram set qarvcfe", ""))
    lines.append("odmpid=" + mtd0["odmpid"])
    return lines


def compare(actual, expected):
    problems = []
    for number in range(max(len(actual), len(expected))):
        a = actual[number] if number < len(actual) else "(missing)"
        e = expected[number] if number < len(expected) else "(none)"
        if a != e:
            problems.append("line %d: got %r, expected %r" % (number + 1, a, e))
    if len(actual) != len(expected):
        problems.append("%d lines, expected %d" % (len(actual), len(expected)))
    return problems


def main(argv):
    if len(argv) >= 5 and argv[1] == "write-data":
        with open(argv[2], "wb") as f:
            f.write("".join(line + "\r\n" for line in expected_data_log(argv[3], argv[4])).encode("latin-1"))
        return 0
    if len(argv) >= 5 and argv[1] == "data":
        expected = expected_data_log(argv[3], argv[4])
    elif len(argv) >= 3 and argv[1] == "process":
        expected = argv[3:]
    else:
        sys.stderr.write(__doc__)
        return 2
    actual, problems = read_lines(argv[2])
    problems += compare(actual, expected)
    for problem in problems:
        print("  " + problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
