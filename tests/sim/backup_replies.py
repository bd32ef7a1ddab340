"""Answers read commands as every router of every simulator scenario would.

Usage: /usr/bin/python3 backup_replies.py COMMANDS_FILE

For each router of sim/scenarios/*.json (in file order) prints
"router <scenario file> <ip>", then one line "reply <hex>" per command of
COMMANDS_FILE (one command a line): the router's whole reply, hex-encoded.
The scenario's faults are left out: they disturb how replies travel, not the
values a unit holds. Used by the unit test that reads back every Data log
the simulator's units would give.
"""

import glob
import os
import sys
import tempfile

SIM = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "sim")
sys.path.insert(0, os.path.abspath(SIM))

import scenario  # noqa: E402
from router import Router  # noqa: E402


def main(argv):
    with open(argv[1], encoding="latin-1") as fh:
        commands = [line.rstrip("\r\n") for line in fh if line.strip()]
    with tempfile.TemporaryDirectory() as state:
        for path in sorted(glob.glob(os.path.join(SIM, "scenarios", "*.json"))):
            name = os.path.basename(path)
            for cfg in scenario.load(path)["routers"]:
                router = Router(cfg, os.path.join(state, name))
                print("router %s %s" % (name, cfg["ip"]))
                for command in commands:
                    print("reply " + router.execute(command).encode("latin-1").hex())
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
