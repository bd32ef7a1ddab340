#!/usr/bin/python3
"""Writes the test files that the upgrade uploads to a router:
   OUTDIR/cfe_lm-7210a_1.0.1.6.bin  a bootloader image stand-in: binary code bytes,
                                    then the boot configuration as key=value lines
   OUTDIR/mtd-write                 a dummy router-side flash tool
Both are deterministic, so tests can compare uploads byte for byte.

usage: make_files.py OUTDIR
"""

import os
import random
import sys

IMAGE_NAME = "cfe_lm-7210a_1.0.1.6.bin"

# Boot configuration of the new bootloader. It carries defaults for the per-unit
# keys too, which is why the upgrade has to write the unit's own values back.
IMAGE_CONFIG = [
    ("boardtype", "0x0665"),
    ("boardrev", "0x1103"),
    ("bl_version", "1.0.1.6"),
    ("clkfreq", "800,666"),
    ("sdram_config", "0x0104"),
    ("sdram_refresh", "0x0000"),
    ("ddr_profile", "2"),
    ("et0macaddr", "00:11:22:33:44:55"),
    ("0:macaddr", "00:11:22:33:44:55"),
    ("1:macaddr", "00:11:22:33:44:59"),
    ("0:ccode", "ALL"),
    ("0:regrev", "0"),
    ("1:ccode", "ALL"),
    ("1:regrev", "0"),
    ("secret_code", "12345670"),
    ("0:pa2ga0", "0xff00,0x1000,0xfc00"),
    ("1:pa5ga0", ",".join(["0xff00"] * 12)),
]


def image_bytes() -> bytes:
    rng = random.Random(7210)
    code = bytearray(rng.getrandbits(8) for _ in range(3072))
    code[0:8] = b"\x00\x00\x00\x10\xde\xad\xbe\xef"   # never a text line
    text = "".join("%s=%s\n" % kv for kv in IMAGE_CONFIG).encode("ascii")
    tail = bytes(rng.getrandbits(8) for _ in range(1024))
    return bytes(code) + b"\n" + text + b"\x00" + tail


def mtd_write_bytes() -> bytes:
    return (b"\x7fELF\x01\x01\x01\x00" + bytes(56) +
            b"mtd-write stand-in for the router simulator\n" + bytes(range(256)) * 4)


def write_files(out: str):
    os.makedirs(out, exist_ok=True)
    paths = [os.path.join(out, IMAGE_NAME), os.path.join(out, "mtd-write")]
    for path, data in zip(paths, (image_bytes(), mtd_write_bytes())):
        with open(path, "wb") as fh:
            fh.write(data)
    return paths


def main(argv):
    if len(argv) != 2:
        sys.stderr.write("usage: make_files.py OUTDIR\n")
        return 2
    for path in write_files(argv[1]):
        print(path)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
