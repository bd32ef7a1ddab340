#!/usr/bin/python3
"""Tiny PC-side client of the router information service, for the netns smoke test.
Packs and unpacks with its own struct calls (not sim/packets.py), which also
cross-checks the simulator's codec.

  client.py discover [--to ADDR] [--timeout S]
      prints one line per answering router: IP MAC MODEL LABEL MODE
  client.py command --mac AA:BB:CC:DD:EE:01 [--to ADDR] [--seq N] [--timeout S] TEXT
      prints the result text; exit status 1 when no matching answer came
Run it only inside the PC namespace of scripts/netns (it broadcasts).
"""

import argparse
import socket
import struct
import sys
import time


def open_socket():
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_BROADCAST, 1)
    s.bind(("", 9999))
    return s


def receive(s, until):
    while True:
        left = until - time.monotonic()
        if left <= 0:
            return None
        s.settimeout(left)
        try:
            return s.recvfrom(2048)
        except socket.timeout:
            return None


def discover(args):
    s = open_socket()
    s.sendto(struct.pack("<BBHI", 12, 21, 31, 0).ljust(1024, b"\0"), (args.to, 9999))
    until = time.monotonic() + args.timeout
    found = 0
    while True:
        got = receive(s, until)
        if got is None:
            break
        data, src = got
        if len(data) < 256 or data[:4] != bytes([12, 22, 31, 0]):
            continue                      # our own broadcast, or junk
        label = data[136:168].split(b"\0")[0].decode("latin-1")
        model = data[200:232].split(b"\0")[0].decode("latin-1")
        mac = ":".join("%02X" % b for b in data[249:255])
        print(src[0], mac, model, label or "-", data[248])
        found += 1
    return 0 if found else 1


def command(args):
    mac = bytes.fromhex(args.mac.replace(":", ""))
    text = args.text.encode("latin-1")
    pkt = bytearray(1024)
    struct.pack_into("<BBHI6s", pkt, 0, 12, 21, 51, args.seq, mac)
    struct.pack_into("<H", pkt, 46, len(text))
    pkt[48:48 + min(len(text), 420)] = text[:420]
    s = open_socket()
    s.sendto(bytes(pkt), (args.to, 9999))
    until = time.monotonic() + args.timeout
    while True:
        got = receive(s, until)
        if got is None:
            return 1
        data = got[0]
        if len(data) < 16 or data[0] != 12 or data[1] != 22:
            continue
        seq, rmac, length = struct.unpack_from("<I6sH", data, 4)
        if seq != args.seq or rmac != mac:
            continue
        sys.stdout.write(data[16:16 + min(length, 420)].decode("latin-1"))
        return 0


def main():
    ap = argparse.ArgumentParser()
    sub = ap.add_subparsers(dest="what", required=True)
    d = sub.add_parser("discover")
    d.add_argument("--to", default="255.255.255.255")
    d.add_argument("--timeout", type=float, default=1.5)
    c = sub.add_parser("command")
    c.add_argument("--mac", required=True)
    c.add_argument("--to", default="255.255.255.255")
    c.add_argument("--seq", type=int, default=2)
    c.add_argument("--timeout", type=float, default=2.0)
    c.add_argument("text")
    args = ap.parse_args()
    return discover(args) if args.what == "discover" else command(args)


if __name__ == "__main__":
    sys.exit(main())
