"""Unit tests of the router simulator: packet codec against hand-written bytes,
the command interpreter and reboot model in-process, and request routing with
fake sockets. Run: /usr/bin/python3 -m unittest discover -s tests/sim"""

import os
import shutil
import struct
import sys
import tempfile
import unittest

SIM = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "sim")
sys.path.insert(0, os.path.abspath(SIM))

import make_files  # noqa: E402
import packets  # noqa: E402
import scenario  # noqa: E402
from router import Router, parse_image_lines  # noqa: E402
from routersim import Simulator  # noqa: E402

MAC = bytes.fromhex("AABBCCDDEE01")


class CodecTest(unittest.TestCase):
    def test_discovery_request_bytes(self):
        pkt = packets.build_discovery_request()
        self.assertEqual(pkt, bytes.fromhex("0C151F0000000000") + bytes(1016))

    def test_command_request_layout_and_parse(self):
        pkt = packets.build_command_request(2, MAC, "nvram get x")
        expected = (bytes.fromhex("0C15330002000000") + MAC + bytes(32)
                    + b"\x0b\x00" + b"nvram get x")
        self.assertEqual(len(pkt), 1024)
        self.assertEqual(pkt[:len(expected)], expected)
        self.assertEqual(pkt[len(expected):], bytes(1024 - len(expected)))
        req = packets.parse_request(pkt)
        self.assertEqual((req.seq, req.mac, req.text), (2, MAC, "nvram get x"))

    def test_long_command_is_cut_to_420_but_keeps_declared_length(self):
        pkt = packets.build_command_request(7, MAC, "x" * 500)
        self.assertEqual(struct.unpack_from("<H", pkt, 46)[0], 500)
        self.assertEqual(packets.parse_request(pkt).text, "x" * 420)

    def test_requests_only(self):
        self.assertIsNone(packets.parse_request(packets.build_command_response(2, MAC, "1\n")))
        self.assertIsNone(packets.parse_request(bytes.fromhex("0C15")))
        self.assertIsNone(packets.parse_request(bytes.fromhex("0C15200000000000")))
        self.assertIsNone(packets.parse_request(bytes.fromhex("0D151F0000000000")))

    def test_discovery_response_layout(self):
        pkt = packets.build_discovery_response("L" * 40, "LM-7210A", 1, MAC)
        self.assertEqual(pkt[:8], bytes.fromhex("0C161F0000000000"))
        self.assertEqual(pkt[136:168], b"L" * 32)
        self.assertEqual(pkt[200:209], b"LM-7210A\0")
        self.assertEqual(pkt[248], 1)
        self.assertEqual(pkt[249:255], MAC)
        unused = pkt[8:136] + pkt[168:200] + pkt[209:248] + pkt[255:]
        self.assertEqual(unused, bytes(len(unused)))

    def test_command_response_layout(self):
        pkt = packets.build_command_response(0x01020304, MAC, "ab\n", result_class=2)
        self.assertEqual(pkt[:20], bytes.fromhex("0C16330204030201") + MAC + b"\x03\x00ab\n\0")
        rsp = packets.parse_command_response(pkt)
        self.assertEqual((rsp.result_class, rsp.op_low, rsp.text), (2, 0x33, "ab\n"))

    def test_result_text_cut_to_420(self):
        pkt = packets.build_command_response(5, MAC, "y" * 600)
        self.assertEqual(struct.unpack_from("<H", pkt, 14)[0], 420)
        self.assertEqual(pkt[436:], bytes(1024 - 436))


def make_router(tmp, clock, **overrides):
    cfg = scenario.build(overrides)["routers"][0]
    return Router(cfg, tmp, clock=lambda: clock[0])


class RouterTestBase(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="simtest")
        self.clock = [100.0]

    def tearDown(self):
        shutil.rmtree(self.tmp)

    def router(self, **overrides):
        return make_router(self.tmp, self.clock, **overrides)

    def run_cmds(self, r, *cmds):
        return [r.handle_command(c)[0] for c in cmds]

    def upload(self, r):
        """What the FTP upload leaves in the router's /mnt/cfe."""
        for path in make_files.write_files(r.cfe_dir):
            r.on_file_received(path)


class InterpreterTest(RouterTestBase):
    def test_default_and_factory_values_pass_the_backup_checks(self):
        reset = self.router(values_reset_at_reboot=1, reboot_silence_s=0)
        reset.execute("reboot")
        for r in (self.router(), reset):
            with self.subTest(boot=r.boot_count):
                self.check_backup_reads(r)

    def check_backup_reads(self, r):
        first = lambda text: text.split("\n")[0] if "\n" in text else ""
        self.assertEqual(len(first(r.execute("ATE Get_MacAddr_2G"))), 17)
        self.assertEqual(len(first(r.execute("ATE Get_MacAddr_5G"))), 17)
        self.assertRegex(first(r.execute("ATE Get_PINCode")), r"^\d{8}$")
        self.assertGreaterEqual(len(first(r.execute("ATE Get_FWVersion"))), 7)
        self.assertIn("1", first(r.execute("ATE Get_FwReadyStatus")))
        self.assertIn("7", first(r.execute("nvram get wlopmode")))
        self.assertEqual(first(r.execute("nvram get bl_version")), "1.0.1.5")
        lengths = dict.fromkeys(scenario.CAL_KEYS_20, 20)
        lengths.update(dict.fromkeys(scenario.CAL_KEYS_83, 83))
        lengths.update(dict.fromkeys(scenario.CAL_KEYS_10, 10))
        lengths.update(dict.fromkeys(scenario.CAL_KEYS_6, 6))
        for key, n in lengths.items():
            self.assertEqual(len(first(r.execute("nvram get " + key))), n, key)
        for key, n in (("0:ccode", 2), ("1:ccode", 2)):
            line = first(r.execute("cat /dev/mtd0 | grep " + key))
            self.assertEqual(len(line[len(key) + 1:]), n)
        self.assertIn("odmpid=", r.execute("cat /dev/mtd0 |grep odmpid"))
        self.assertEqual(r.execute("cat /dev/mtd0 |grep bl_version"), "bl_version=1.0.1.5\n")

    def test_grep_is_a_substring_match_over_lines(self):
        r = self.router()
        out = r.execute("cat /dev/mtd0 | grep macaddr")
        self.assertEqual([l.split("=")[0] for l in out.splitlines()],
                         ["et0macaddr", "0:macaddr", "1:macaddr"])
        self.assertEqual(r.execute("cat /dev/mtd0 | grep nosuchkey"), "")

    def test_nvram_get_set(self):
        r = self.router()
        self.assertEqual(self.run_cmds(r, "nvram get unknown", "nvram set a=b=c", "nvram get a"),
                         ["\n", "", "b=c\n"])

    def test_ftp_needs_both_variables(self):
        r = self.router()
        self.run_cmds(r, "nvram set enable_ftp=1", "rc rc_service restart_ftpd")
        self.assertFalse(r.ftp_running)
        self.run_cmds(r, "nvram set st_ftp_mode=1", "rc rc_service restart_ftpd")
        self.assertTrue(r.ftp_running)

    def test_flash_needs_chmod_and_merges_image_into_boot_partition(self):
        r = self.router()
        r.execute("mkdir /tmp/mnt/cfe")
        self.upload(r)
        self.assertEqual(r.execute("cat /mnt/cfe/cfe_lm-7210a_1.0.1.6.bin |grep bl_version"),
                         "bl_version=1.0.1.6\n")
        flash = "/mnt/cfe/mtd-write /mnt/cfe/cfe_lm-7210a_1.0.1.6.bin boot"
        self.assertIn("Permission denied", r.execute(flash))
        self.assertEqual(r.mtd0_get("bl_version"), "1.0.1.5")
        r.execute("chmod 777 /mnt/cfe/mtd-write")
        r.execute(flash)
        self.assertEqual(r.mtd0_get("bl_version"), "1.0.1.6")
        self.assertEqual(r.mtd0_get("clkfreq"), "800,666")
        self.assertEqual(r.mtd0_get("et0macaddr"), "00:11:22:33:44:55")   # image default
        self.assertEqual(r.mtd0_get("odmpid"), "LM-7210A")                # kept per-unit line

    def test_corrupt_image_fails_the_image_check(self):
        r = self.router(corrupt_image=True)
        r.execute("mkdir /tmp/mnt/cfe")
        self.upload(r)
        self.assertEqual(r.execute("cat /mnt/cfe/cfe_lm-7210a_1.0.1.6.bin |grep bl_version"), "")

    def test_test_image_holds_exactly_its_config_lines(self):
        self.assertEqual(parse_image_lines(make_files.image_bytes()), make_files.IMAGE_CONFIG)


class RebootTest(RouterTestBase):
    def restore_and_reboot(self, r):
        return self.run_cmds(r, "ATE Set_MacAddr_2G 02:00:00:00:00:01",
                             "ATE Set_PINCode 87654325",
                             "nvram set qarvcfe0:pa2ga0=0x0001,0x0002,0x0003",
                             "nvram set qarvcfeodmpid=LM-7210A",
                             "ATE Set_Commit",
                             "ATE Set_MacAddr_5G 02:00:00:00:00:05",   # never committed
                             "reboot")

    def test_restore_commit_and_reboot_carry_values_into_boot_partition(self):
        r = self.router(reboot_silence_s=20)
        replies = self.restore_and_reboot(r)
        self.assertEqual(replies[:2], ["02:00:00:00:00:01\n", "87654325\n"])
        self.assertEqual(replies[4], "1\n")
        self.assertFalse(r.is_up())
        self.clock[0] += 19.9
        self.assertFalse(r.is_up())
        self.clock[0] += 0.2
        self.assertTrue(r.is_up())
        self.assertEqual(r.execute("cat /dev/mtd0 | grep et0macaddr"),
                         "et0macaddr=02:00:00:00:00:01\n")
        self.assertEqual(r.mtd0_get("0:macaddr"), "02:00:00:00:00:01")
        self.assertEqual(r.mtd0_get("secret_code"), "87654325")
        self.assertEqual(r.mtd0_get("0:pa2ga0"), "0x0001,0x0002,0x0003")
        self.assertEqual(r.mtd0_get("1:macaddr"), "AA:BB:CC:DD:EE:05")
        self.assertFalse(any(k.startswith("qarvcfe") for k in r.nvram))

    def test_never_back_and_never_ready(self):
        r = self.router(never_back=True)
        r.execute("reboot")
        self.clock[0] += 1e6
        self.assertFalse(r.is_up())
        r = self.router(reboot_silence_s=1, never_ready_after_reboot=True)
        self.assertEqual(r.execute("ATE Get_FwReadyStatus"), "1\n")
        r.execute("reboot")
        self.clock[0] += 2
        self.assertTrue(r.is_up())
        self.assertEqual(r.execute("ATE Get_FwReadyStatus"), "0\n")


class ValuesResetTest(RouterTestBase):
    """values_reset_at_reboot: the first N reboots replace every per-unit value."""

    def unit_values(self, r):
        keys = list(scenario.factory_values())
        return {k: r.mtd0_get(k) for k in keys}, {k: r.nvram[k] for k in scenario.CAL_KEYS}

    def write_back_and_reboot(self, r, mtd0):
        """What a run or a restore sends: identity through ATE, the rest by hand-over."""
        self.run_cmds(r, "ATE Set_MacAddr_2G " + mtd0["et0macaddr"],
                      "ATE Set_MacAddr_5G " + mtd0["1:macaddr"],
                      "ATE Set_RegulationDomain_2G " + mtd0["0:ccode"],
                      "ATE Set_Regrev_2G " + mtd0["0:regrev"],
                      "ATE Set_RegulationDomain_5G " + mtd0["1:ccode"],
                      "ATE Set_Regrev_5G " + mtd0["1:regrev"],
                      "ATE Set_PINCode " + mtd0["secret_code"],
                      *["nvram set qarvcfe%s=%s" % (k, mtd0[k])
                        for k in scenario.CAL_KEYS + ["odmpid"]],
                      "ATE Set_Commit", "reboot")
        self.clock[0] += 1

    def test_first_n_reboots_wipe_every_value_then_writes_stick(self):
        factory = scenario.factory_values()
        for resets in (0, 1, 2):
            r = self.router(values_reset_at_reboot=resets, reboot_silence_s=0)
            mtd0, nvram = self.unit_values(r)
            mtd0.update(nvram)          # before a run the calibration is in nvram only
            self.assertEqual({k for k in factory if factory[k] == mtd0[k]}, set())
            for boot in (1, 2, 3):
                with self.subTest(resets=resets, boot=boot):
                    self.write_back_and_reboot(r, mtd0)
                    after_mtd0, after_nvram = self.unit_values(r)
                    want = factory if boot <= resets else mtd0
                    self.assertEqual(after_mtd0, want)
                    self.assertEqual(after_nvram, {k: want[k] for k in scenario.CAL_KEYS})

    def test_count_is_validated(self):
        for bad in (-1, "2", 1.5, True):
            with self.subTest(bad=bad), self.assertRaises(scenario.ScenarioError):
                scenario.build({"values_reset_at_reboot": bad})


class UpgradeFlowTest(RouterTestBase):
    """The whole command sequence of one upgrade run, checked the way the
    program checks the router afterwards."""

    IDENTITY = [("MacAddr_2G", "ATE Get_MacAddr_2G", None),
                ("MacAddr_5G", "ATE Get_MacAddr_5G", None),
                ("RegulationDomain_2G", None, "0:ccode"), ("Regrev_2G", None, "0:regrev"),
                ("RegulationDomain_5G", None, "1:ccode"), ("Regrev_5G", None, "1:regrev"),
                ("PINCode", "ATE Get_PINCode", None)]

    def mtd0_value(self, r, key):
        line = r.execute("cat /dev/mtd0 | grep " + key).split("\n")[0]
        return line[len(key) + 1:]

    def run_upgrade(self, r):
        first = lambda cmd: r.handle_command(cmd)[0].split("\n")[0]
        ident = {name: first(get) if get else self.mtd0_value(r, key)
                 for name, get, key in self.IDENTITY}
        cal = {k: first("nvram get " + k) for k in scenario.CAL_KEYS}
        self.run_cmds(r, "mkdir /tmp/mnt/cfe", "nvram set enable_ftp=1",
                      "nvram set st_ftp_mode=1", "rc rc_service restart_ftpd")
        self.upload(r)
        self.run_cmds(r, "chmod 777 /mnt/cfe/mtd-write",
                      "/mnt/cfe/mtd-write /mnt/cfe/cfe_lm-7210a_1.0.1.6.bin boot")
        self.assertIn("1.0.1.6", first("cat /dev/mtd0 |grep bl_version"))
        for name, _, _ in self.IDENTITY:
            self.assertEqual(first("ATE Set_%s %s" % (name, ident[name])), ident[name])
        self.run_cmds(r, *["nvram set qarvcfe%s=%s" % kv for kv in cal.items()])
        self.run_cmds(r, "nvram set qarvcfeodmpid=LM-7210A", "nvram set qarvcfeATEMODE=0",
                      "nvram set qarvcfewlopmode=7", "ATE Set_Commit", "nvram set clkfreq=800,666",
                      "nvram set bl_version=1.0.1.6", "ATE Set_Commit", "reboot")
        self.clock[0] += 30
        self.assertTrue(r.is_up())
        self.assertEqual(first("nvram get clkfreq"), "800,666")
        self.assertEqual(first("nvram get bl_version"), "1.0.1.6")
        self.assertEqual(self.mtd0_value(r, "et0macaddr"), ident["MacAddr_2G"])
        self.assertEqual(self.mtd0_value(r, "0:macaddr"), ident["MacAddr_2G"])
        self.assertEqual(self.mtd0_value(r, "1:macaddr"), ident["MacAddr_5G"])
        self.assertEqual(self.mtd0_value(r, "secret_code"), ident["PINCode"])
        for name, key in (("RegulationDomain_2G", "0:ccode"), ("Regrev_2G", "0:regrev"),
                          ("RegulationDomain_5G", "1:ccode"), ("Regrev_5G", "1:regrev")):
            self.assertEqual(self.mtd0_value(r, key), ident[name])
        return {k: self.mtd0_value(r, k) for k in cal}, cal

    def test_calibration_survives_the_new_image(self):
        after, before = self.run_upgrade(self.router(reboot_silence_s=20))
        self.assertEqual(after, before)

    def test_mismatch_scenario_differs_once(self):
        r = self.router(reboot_silence_s=1, after_reboot_mtd0={"0:pa2ga0": "wrong"})
        after, before = self.run_upgrade(r)
        self.assertEqual(after["0:pa2ga0"], "wrong")
        self.run_cmds(r, "nvram set qarvcfe0:pa2ga0=" + before["0:pa2ga0"], "reboot")
        self.clock[0] += 2
        self.assertEqual(self.mtd0_value(r, "0:pa2ga0"), before["0:pa2ga0"])


class FaultTest(RouterTestBase):
    def test_count_skip_and_actions(self):
        r = self.router(faults=[
            {"command": "ATE Get_FwReadyStatus", "action": "drop", "skip": 1, "count": 2},
            {"command": "ATE Get_FWVersion", "action": "reply", "text": "1.2\n"},
            {"command": "nvram get", "action": "crlf"},
            {"command": "ATE Set_Commit", "action": "result_class", "result_class": 2, "boot": 1},
        ])
        drops = [r.handle_command("ATE Get_FwReadyStatus")[1].drop for _ in range(4)]
        self.assertEqual(drops, [False, True, True, False])
        self.assertEqual(r.handle_command("ATE Get_FWVersion")[0], "1.2\n")
        self.assertEqual(r.handle_command("nvram get wlopmode")[0], "7\r\n")
        self.assertEqual(r.handle_command("ATE Set_Commit")[1].result_class, 0)
        r.execute("reboot")
        self.assertEqual(r.plan_for("ATE Set_Commit").result_class, 2)

    def test_scenario_validation_and_inheritance(self):
        with self.assertRaises(scenario.ScenarioError):
            scenario.build({"colour": "red"})
        with self.assertRaises(scenario.ScenarioError):
            scenario.build({"routers": [{"ip": "10.77.0.2"}, {"ip": "10.77.0.2"}]})
        rs = scenario.build({"reboot_silence_s": 3, "nvram": {"x": "1"},
                             "routers": [{}, {"model": "LM-7210B", "nvram": {"y": "2"}}]})["routers"]
        self.assertEqual([r["reboot_silence_s"] for r in rs], [3.0, 3.0])
        self.assertEqual((rs[1]["nvram"]["x"], rs[1]["nvram"]["y"]), ("1", "2"))
        self.assertNotEqual(rs[0]["nvram"]["0:pa2ga0"], rs[1]["nvram"]["0:pa2ga0"])


class FakeSocket:
    def __init__(self):
        self.sent = []

    def sendto(self, data, dest):
        self.sent.append((data, dest))

    def close(self):
        pass


class RoutingTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="simtest")
        cfg = scenario.build({"routers": [{}, {}]})["routers"]
        self.sim = Simulator(cfg, self.tmp, use_ftp=False)
        self.tx = {r.ip: FakeSocket() for r in self.sim.routers}
        self.sim.tx = self.tx
        self.pc = ("10.77.0.1", 9999)

    def tearDown(self):
        self.sim.close()
        shutil.rmtree(self.tmp)

    def answered(self):
        return sorted(ip for ip, s in self.tx.items() if s.sent)

    def test_broadcast_discovery_answered_by_all(self):
        self.sim.dispatch(packets.build_discovery_request(), self.pc, "255.255.255.255")
        self.assertEqual(self.answered(), ["10.77.0.2", "10.77.0.3"])
        data, dest = self.tx["10.77.0.3"].sent[0]
        self.assertEqual(dest, self.pc)
        self.assertEqual(packets.parse_discovery_response(data).mac, self.sim.routers[1].mac)

    def test_unicast_discovery_answered_by_that_router_only(self):
        self.sim.dispatch(packets.build_discovery_request(), self.pc, "10.77.0.3")
        self.assertEqual(self.answered(), ["10.77.0.3"])

    def test_command_goes_to_router_with_target_mac(self):
        mac = self.sim.routers[1].mac
        self.sim.dispatch(packets.build_command_request(9, mac, "nvram get bl_version"),
                          self.pc, "10.77.0.2")
        self.assertEqual(self.answered(), ["10.77.0.3"])
        rsp = packets.parse_command_response(self.tx["10.77.0.3"].sent[0][0])
        self.assertEqual((rsp.seq, rsp.mac, rsp.text), (9, mac, "1.0.1.5\n"))
        with open(os.path.join(self.tmp, "commands.log")) as fh:
            self.assertEqual(fh.read(), "10.77.0.3 nvram get bl_version\n")

    def test_boot_mac_routing_follows_the_boot_partition_at_reboot(self):
        restored = "AA:BB:CC:DD:EE:01"
        # option -> the MAC the router answers under: at start, after a flash
        # (boot partition changed, no reboot), after a reboot that reset the
        # values, after a restore's reboot.
        table = {False: [restored] * 4,
                 True: [restored, restored, scenario.FACTORY_MAC_2G, restored]}
        for option, macs in table.items():
            with self.subTest(answers_under_boot_mac=option):
                self.sim.close()
                cfg = scenario.build({"values_reset_at_reboot": 1, "reboot_silence_s": 0,
                                      "answers_under_boot_mac": option})["routers"]
                self.sim = Simulator(cfg, self.tmp, use_ftp=False)
                self.tx = {r.ip: FakeSocket() for r in self.sim.routers}
                self.sim.tx = self.tx
                r = self.sim.routers[0]
                seen = [self.answering_mac()]
                r.mtd0_set("et0macaddr", "00:11:22:33:44:55")   # what the flash does
                seen.append(self.answering_mac())
                self.command(packets.mac_from_text(seen[-1]), "reboot")
                seen.append(self.answering_mac())
                for text in ("ATE Set_MacAddr_2G " + restored, "ATE Set_Commit", "reboot"):
                    self.command(packets.mac_from_text(seen[-1]), text)
                seen.append(self.answering_mac())
                self.assertEqual(seen, macs)

    def answering_mac(self):
        """The MAC of the discovery response, checked to take commands too; no
        other MAC of the run takes them."""
        self.sim.dispatch(packets.build_discovery_request(), self.pc, "255.255.255.255")
        mac = packets.parse_discovery_response(self.tx["10.77.0.2"].sent.pop()[0]).mac
        for other in ("AA:BB:CC:DD:EE:01", "00:11:22:33:44:55", scenario.FACTORY_MAC_2G):
            other = packets.mac_from_text(other)
            if other != mac:
                self.assertIsNone(self.command(other, "nvram get bl_version"))
        self.assertEqual(self.command(mac, "nvram get bl_version"), "1.0.1.5\n")
        return packets.mac_to_text(mac)

    def command(self, mac, text):
        """The reply text, None without a reply."""
        sent = self.tx["10.77.0.2"].sent
        before = len(sent)
        self.sim.dispatch(packets.build_command_request(3, mac, text), self.pc, "10.77.0.2")
        if len(sent) == before:
            return None
        rsp = packets.parse_command_response(sent.pop()[0])
        self.assertEqual(rsp.mac, mac)
        return rsp.text

    def test_responses_and_unknown_macs_are_ignored(self):
        self.sim.dispatch(packets.build_command_response(2, self.sim.routers[0].mac, "x"),
                          self.pc, "255.255.255.255")
        self.sim.dispatch(packets.build_command_request(2, b"\x01" * 6, "reboot"),
                          self.pc, "255.255.255.255")
        self.assertEqual(self.answered(), [])
        self.assertTrue(all(r.is_up() for r in self.sim.routers))


class CutUploadTest(RouterTestBase):
    """The FTP service on the loopback address (no service socket): the first K
    uploads of the named file are cut after N bytes, the part kept, 426."""

    def test_first_uploads_of_the_named_file_are_cut_with_426(self):
        import ftplib
        from ftpserver import FtpService
        image = make_files.image_bytes()
        version_at = image.index(b"bl_version")
        for after in (100, version_at + 40, len(image) - 1):
            r = self.router(ip="127.0.0.1",
                            cut_upload={"file": make_files.IMAGE_NAME, "after_bytes": after, "times": 2})
            os.makedirs(r.cfe_dir, exist_ok=True)
            local = os.path.join(self.tmp, "out")
            image_path, tool_path = make_files.write_files(local)
            service = FtpService(r, port=0)
            service.start()
            try:
                results = []
                for path in (image_path, tool_path, image_path, image_path):
                    ftp = ftplib.FTP()
                    ftp.connect("127.0.0.1", service.bound_port, timeout=10)
                    ftp.login()
                    with open(path, "rb") as fh:
                        try:
                            results.append(ftp.storbinary("STOR /cfe/" + os.path.basename(path), fh)[:3])
                        except ftplib.error_temp as exc:
                            results.append(str(exc)[:3])
                    with open(os.path.join(r.cfe_dir, os.path.basename(path)), "rb") as fh:
                        results.append(len(fh.read()))
                    ftp.close()
            finally:
                service.stop()
            size, tool = len(image), len(make_files.mtd_write_bytes())
            self.assertEqual(results, ["426", after, "226", tool, "426", after, "226", size], after)


if __name__ == "__main__":
    unittest.main()
