#!/usr/bin/python3
"""Router simulator: answers the information service on UDP port 9999 for one or
more simulated routers and runs their FTP services.

Run it only inside the router network namespace made by scripts/netns: it binds
UDP port 9999 and the routers' addresses. Prints READY once its sockets are bound;
ends cleanly on SIGTERM or SIGINT; SIGUSR1 power-cycles every router.
"""

import argparse
import os
import selectors
import signal
import socket
import struct
import sys
import threading

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import packets  # noqa: E402
import scenario  # noqa: E402
from router import DISCOVERY, Router  # noqa: E402

SERVICE_PORT = 9999
IP_PKTINFO = getattr(socket, "IP_PKTINFO", 8)   # Linux value; older Pythons lack the name
_PKTINFO = struct.Struct("=i4s4s")              # ifindex, local address, header destination


def log(text: str):
    sys.stderr.write("routersim: %s\n" % text)
    sys.stderr.flush()


class CommandRecord:
    """STATE_DIR/commands.log: one received command per line, flushed per line."""

    def __init__(self, path: str, with_ip: bool):
        self.fh = open(path, "a", encoding="latin-1")
        self.with_ip = with_ip
        self.lock = threading.Lock()

    def writer(self, ip: str):
        def write(command: str):
            line = command.replace("\r", "\\r").replace("\n", "\\n")
            with self.lock:
                self.fh.write(("%s %s\n" % (ip, line)) if self.with_ip else line + "\n")
                self.fh.flush()
        return write


class Simulator:
    def __init__(self, routers_cfg, state_dir: str, use_ftp: bool = True):
        self.state_dir = state_dir
        os.makedirs(state_dir, exist_ok=True)
        self.record = CommandRecord(os.path.join(state_dir, "commands.log"), len(routers_cfg) > 1)
        factory = None
        if use_ftp:
            from ftpserver import FtpService
            factory = FtpService
        self.routers = [Router(cfg, state_dir, ftp_factory=factory,
                               record=self.record.writer(cfg["ip"]), log=log)
                        for cfg in routers_cfg]
        self.by_ip = {r.ip: r for r in self.routers}
        self.rx = None
        self.tx = {}

    def bind(self):
        rx = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        rx.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        rx.setsockopt(socket.SOL_SOCKET, socket.SO_BROADCAST, 1)
        rx.setsockopt(socket.IPPROTO_IP, IP_PKTINFO, 1)
        rx.bind(("", SERVICE_PORT))
        self.rx = rx
        for r in self.routers:
            tx = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
            try:
                tx.bind((r.ip, 0))
            except OSError as exc:
                raise SystemExit("routersim: cannot bind router address %s (%s); "
                                 "run inside the router namespace of scripts/netns" % (r.ip, exc))
            self.tx[r.ip] = tx

    def close(self):
        for r in self.routers:
            r.shutdown()
        for s in [self.rx] + list(self.tx.values()):
            if s is not None:
                s.close()
        self.record.fh.close()

    def power_cycle(self):
        """Power to every router cut and restored: each starts again from its
        boot partition, as after a reboot (silent for its reboot silence)."""
        for r in self.routers:
            log("%s power cycled" % r.ip)
            r.reboot()

    # --- receive ---------------------------------------------------------------------

    def receive_one(self):
        data, anc, _flags, src = self.rx.recvmsg(2048, socket.CMSG_SPACE(_PKTINFO.size))
        dest = None
        for level, ctype, cdata in anc:
            if level == socket.IPPROTO_IP and ctype == IP_PKTINFO and len(cdata) >= _PKTINFO.size:
                dest = socket.inet_ntoa(_PKTINFO.unpack_from(cdata)[2])
        self.dispatch(data, src, dest)

    def dispatch(self, data: bytes, src, dest):
        req = packets.parse_request(data)
        if req is None:
            return
        if isinstance(req, packets.DiscoveryRequest):
            # Unicast to one router's address: only that router answers.
            targets = [self.by_ip[dest]] if dest in self.by_ip else self.routers
            for r in targets:
                if r.is_up():
                    with r.lock:
                        plan = r.plan_for(DISCOVERY)
                    self.send(r, plan, src, req.seq, None)
            return
        # A router's MAC may change at a reboot (answers_under_boot_mac): look
        # it up for every request; the first router with that MAC takes it.
        r = next((r for r in self.routers if r.mac == req.mac), None)
        if r is None:
            # Said, so that a test sees a command that reached the wrong unit.
            log("command from %s for %s: no router has that MAC" % (src[0], packets.mac_to_text(req.mac)))
            return
        if not r.is_up():
            return
        reply, plan = r.handle_command(req.text)
        self.send(r, plan, src, req.seq, reply, req.mac)

    def send(self, r: Router, plan, dest, seq: int, text, mac=None):
        """Sends a discovery response (text None) or a command response. A
        command response carries the MAC the request was sent to, also when the
        command ("reboot") changed the router's MAC."""
        if plan.drop:
            return
        mac = mac or r.mac
        if plan.wrong_mac:
            mac = mac[:5] + bytes([mac[5] ^ 0xFF])
        seq = (seq + plan.seq_delta) & 0xFFFFFFFF
        if text is None:
            label, model, mode, _ = r.discovery_info()
            pkt = packets.build_discovery_response(label, model, mode, mac, seq)
        else:
            pkt = packets.build_command_response(seq, mac, text, plan.result_class)
        sock = self.tx[r.ip]

        def emit():
            for _ in range(plan.copies):
                try:
                    sock.sendto(pkt, dest)
                except OSError as exc:
                    log("%s send to %s failed: %s" % (r.ip, dest, exc))

        if plan.delay_ms > 0:
            t = threading.Timer(plan.delay_ms / 1000.0, emit)
            t.daemon = True
            t.start()
        else:
            emit()


def main(argv=None):
    ap = argparse.ArgumentParser(description="Router simulator (run inside the router namespace)")
    ap.add_argument("--scenario", required=True, help="scenario JSON file")
    ap.add_argument("--state-dir", required=True, help="directory for router files and commands.log")
    ap.add_argument("--reboot-silence", type=float, default=None,
                    help="override reboot_silence_s of every router")
    args = ap.parse_args(argv)

    try:
        cfg = scenario.load(args.scenario)
    except (OSError, scenario.ScenarioError, ValueError) as exc:
        log("bad scenario: %s" % exc)
        return 2
    if args.reboot_silence is not None:
        for r in cfg["routers"]:
            r["reboot_silence_s"] = args.reboot_silence

    sim = Simulator(cfg["routers"], os.path.abspath(args.state_dir))
    stopping = threading.Event()
    power_cut = threading.Event()

    def on_signal(_signum, _frame):
        stopping.set()

    signal.signal(signal.SIGTERM, on_signal)
    signal.signal(signal.SIGINT, on_signal)
    # SIGUSR1: the routers' power cut and restored (a person's power cycle).
    signal.signal(signal.SIGUSR1, lambda _signum, _frame: power_cut.set())
    try:
        sim.bind()
        for r in sim.routers:
            log("router %s mac %s model %r label %r" % (
                r.ip, packets.mac_to_text(r.mac), r.cfg["model"], r.cfg["label"]))
        print("READY", flush=True)
        sel = selectors.DefaultSelector()
        sel.register(sim.rx, selectors.EVENT_READ)
        while not stopping.is_set():
            if power_cut.is_set():
                power_cut.clear()
                sim.power_cycle()
            if sel.select(timeout=0.2):
                try:
                    sim.receive_one()
                except OSError as exc:
                    log("receive failed: %s" % exc)
    finally:
        sim.close()
    log("stopped")
    return 0


if __name__ == "__main__":
    sys.exit(main())
