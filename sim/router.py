"""One simulated router: its variables, boot partition, command interpreter,
reboot behaviour and reply faults. No sockets here; routersim.py does the
network side, so this class can be driven in-process by the tests.

Model of the router, in short:
- nvram: a dict of router variables ("nvram get/set").
- mtd0: the boot partition, an ordered list of (key, value) lines as
  "cat /dev/mtd0" prints them.
- The shell's /mnt/cfe and /tmp/mnt/cfe are STATE_DIR/<ip>/tmp/mnt/cfe on the host;
  the FTP server's root is STATE_DIR/<ip>/tmp/mnt, so its "/cfe/" is the same folder.
- "mtd-write IMAGE boot" rewrites mtd0: the key=value lines found in the image
  come first, in image order; every existing line whose key the image does not
  define is kept after them (per-unit values survive unless the image carries a
  default for them).
- ATE setters store a pending value; "ATE Set_Commit" commits the pending values.
- reboot: committed identity values are written into mtd0, every nvram variable
  "qarvcfeKEY" moves into mtd0 as KEY, the first values_reset_at_reboot reboots
  put factory values in place of the per-unit ones, the after-reboot overrides
  apply, the calibration variables are loaded from mtd0, and the router stays
  silent for reboot_silence_s (forever with never_back).
- With answers_under_boot_mac the router answers discovery and commands under
  the 2.4 GHz MAC that mtd0 held when it booted, not under the scenario's mac.
"""

import os
import re
import threading
import time
from dataclasses import dataclass, field
from typing import Callable, List, Optional, Tuple

from packets import mac_from_text, mac_to_text
from scenario import CAL_KEYS, factory_values

HANDOVER_PREFIX = "qarvcfe"

# ATE setter name -> mtd0 keys that receive the committed value at reboot.
IDENTITY_SETTERS = {
    "MacAddr_2G": ("et0macaddr", "0:macaddr"),
    "MacAddr_5G": ("1:macaddr",),
    "RegulationDomain_2G": ("0:ccode",),
    "Regrev_2G": ("0:regrev",),
    "RegulationDomain_5G": ("1:ccode",),
    "Regrev_5G": ("1:regrev",),
    "PINCode": ("secret_code",),
}

# ATE getter name -> mtd0 key it reports.
IDENTITY_GETTERS = {
    "MacAddr_2G": "et0macaddr",
    "MacAddr_5G": "1:macaddr",
    "PINCode": "secret_code",
    "RegulationDomain_2G": "0:ccode",
    "Regrev_2G": "0:regrev",
    "RegulationDomain_5G": "1:ccode",
    "Regrev_5G": "1:regrev",
}

DISCOVERY = "@discovery"

_KV_LINE = re.compile(r"^([A-Za-z0-9_:.\-]+)=([\x20-\x7e]*)$")
_GREP = re.compile(r"^cat\s+(\S+)\s*\|\s*grep\s+(.+)$")


@dataclass
class ReplyPlan:
    """How the network side sends one reply (built from the scenario's faults)."""
    drop: bool = False
    delay_ms: int = 0
    copies: int = 1
    seq_delta: int = 0
    wrong_mac: bool = False
    result_class: int = 0
    crlf: bool = False
    text: Optional[str] = None


@dataclass
class _Fault:
    rule: dict
    seen: int = 0
    applied: int = 0

    def matches(self, command: str, boot: int) -> bool:
        pattern = self.rule.get("command", "*")
        if "boot" in self.rule and int(self.rule["boot"]) != boot:
            return False
        if pattern == "*":
            return command != DISCOVERY
        return command.startswith(pattern)

    def take(self) -> bool:
        """Counts one matching reply; True when the fault applies to it."""
        self.seen += 1
        if self.seen <= int(self.rule.get("skip", 0)):
            return False
        count = self.rule.get("count")
        if count is not None and self.applied >= int(count):
            return False
        self.applied += 1
        return True


def parse_image_lines(data: bytes) -> List[Tuple[str, str]]:
    """The key=value lines of an image file (binary stretches are skipped)."""
    out = []
    for raw in data.split(b"\n"):
        line = raw[:-1] if raw.endswith(b"\r") else raw
        m = _KV_LINE.match(line.decode("latin-1"))
        if m:
            out.append((m.group(1), m.group(2)))
    return out


class Router:
    def __init__(self, cfg: dict, state_dir: str,
                 clock: Callable[[], float] = time.monotonic,
                 ftp_factory=None,
                 record: Optional[Callable[[str], None]] = None,
                 log: Optional[Callable[[str], None]] = None):
        self.cfg = cfg
        self.ip = cfg["ip"]
        self.mac = cfg["mac_bytes"]
        self.clock = clock
        self.record = record or (lambda text: None)
        self.log = log or (lambda text: None)
        self.lock = threading.RLock()

        self.nvram = dict(cfg["nvram"])
        self.mtd0: List[Tuple[str, str]] = list(cfg["mtd0"])
        self.ready = bool(cfg["ready"]) and not cfg["never_ready"]
        self.boot_count = 0
        self.down_until: Optional[float] = None
        self.pending = {}
        self.committed = {}
        self.executable = set()
        self.faults = [_Fault(dict(f)) for f in cfg["faults"]]
        if cfg["answers_under_boot_mac"]:
            self.mac = self.boot_mac()

        self.root = os.path.join(state_dir, self.ip)
        self.ftp_root = os.path.join(self.root, "tmp", "mnt")
        self.cfe_dir = os.path.join(self.ftp_root, "cfe")
        os.makedirs(os.path.join(self.root, "tmp"), exist_ok=True)
        self.ftp = ftp_factory(self) if ftp_factory else None
        self.ftp_running = False
        self.uploads_cut = 0
        self.save_state()

    # --- state helpers ----------------------------------------------------------

    def mtd0_get(self, key: str) -> Optional[str]:
        for k, v in self.mtd0:
            if k == key:
                return v
        return None

    def mtd0_set(self, key: str, value: Optional[str]):
        """Replaces the line in place, appends a new one, or removes it (None)."""
        if value is None:
            self.mtd0 = [(k, v) for k, v in self.mtd0 if k != key]
            return
        for i, (k, _) in enumerate(self.mtd0):
            if k == key:
                self.mtd0[i] = (key, str(value))
                return
        self.mtd0.append((key, str(value)))

    def boot_mac(self) -> bytes:
        """The 2.4 GHz MAC of the boot partition; the scenario's mac when it has none."""
        try:
            return mac_from_text(self.mtd0_get("et0macaddr") or "")
        except ValueError:
            return self.cfg["mac_bytes"]

    def mtd0_text(self) -> str:
        return "".join("%s=%s\n" % kv for kv in self.mtd0)

    def save_state(self):
        """Snapshots for tests and people: STATE_DIR/<ip>/mtd0 and .../nvram."""
        with open(os.path.join(self.root, "mtd0"), "w", encoding="latin-1") as fh:
            fh.write(self.mtd0_text())
        with open(os.path.join(self.root, "nvram"), "w", encoding="latin-1") as fh:
            fh.write("".join("%s=%s\n" % kv for kv in sorted(self.nvram.items())))

    def host_path(self, path: str) -> Optional[str]:
        """Maps a router path under /tmp or /mnt onto the state dir."""
        path = os.path.normpath(path)
        if path == "/mnt" or path.startswith("/mnt/"):
            path = "/tmp" + path
        if not (path == "/tmp" or path.startswith("/tmp/")):
            return None
        return os.path.join(self.root, path.lstrip("/"))

    # --- up / down ----------------------------------------------------------------

    def is_up(self) -> bool:
        with self.lock:
            if self.down_until is None:
                return True
            if self.clock() >= self.down_until:
                self.down_until = None
                self.log("%s is back after reboot %d" % (self.ip, self.boot_count))
                return True
            return False

    def discovery_info(self):
        return self.cfg["label"], self.cfg["model"], self.cfg["mode_byte"], self.mac

    # --- faults ---------------------------------------------------------------------

    def plan_for(self, command: str) -> ReplyPlan:
        plan = ReplyPlan()
        for f in self.faults:
            if not f.matches(command, self.boot_count) or not f.take():
                continue
            s, action = f.rule, f.rule["action"]
            if action == "drop":
                plan.drop = True
            elif action == "delay":
                plan.delay_ms = max(plan.delay_ms, int(s.get("delay_ms", 2000)))
            elif action == "duplicate":
                plan.copies = max(plan.copies, int(s.get("copies", 2)))
            elif action == "wrong_seq":
                plan.seq_delta = int(s.get("seq_delta", 1)) or 1
            elif action == "wrong_mac":
                plan.wrong_mac = True
            elif action == "result_class":
                plan.result_class = int(s.get("result_class", 1))
            elif action == "crlf":
                plan.crlf = True
            elif action == "reply":
                plan.text = str(s.get("text", ""))
        return plan

    # --- commands ---------------------------------------------------------------------

    def handle_command(self, command: str) -> Tuple[str, ReplyPlan]:
        """Runs one command; returns the reply text (faults applied) and the plan."""
        with self.lock:
            self.record(command)
            plan = self.plan_for(command)
            reply = self.execute(command)
            if plan.text is not None:
                reply = plan.text
            if plan.crlf:
                reply = reply.replace("\r\n", "\n").replace("\n", "\r\n")
            self.save_state()
            return reply, plan

    def execute(self, command: str) -> str:
        cmd = command.strip()
        words = cmd.split()
        if not words:
            return ""
        if words[0] == "ATE" and len(words) >= 2:
            return self._ate(words[1], cmd.split(None, 2)[2] if len(words) > 2 else "")
        if words[0] == "nvram":
            return self._nvram(cmd)
        m = _GREP.match(cmd)
        if m:
            return self._grep(m.group(1), m.group(2).strip().strip("'\""))
        if words[0] == "cat" and len(words) == 2 and words[1] == "/dev/mtd0":
            return self.mtd0_text()
        if words[0] == "mkdir":
            return self._mkdir([w for w in words[1:] if not w.startswith("-")])
        if words[:2] == ["rc", "rc_service"] and len(words) == 3:
            return self._rc_service(words[2])
        if words[0] == "chmod" and len(words) == 3:
            return self._chmod(words[2])
        if words[0] == "reboot":
            self.reboot()
            return ""
        if words[0].endswith("/mtd-write"):
            return self._mtd_write(words)
        return ""

    def _ate(self, name: str, value: str) -> str:
        if name == "Get_FwReadyStatus":
            return "1\n" if self.ready else "0\n"
        if name == "Get_FWVersion":
            return self.cfg["fw_version"] + "\n"
        if name.startswith("Get_") and name[4:] in IDENTITY_GETTERS:
            return (self.mtd0_get(IDENTITY_GETTERS[name[4:]]) or "") + "\n"
        if name == "Set_Commit":
            self.committed.update(self.pending)
            self.pending.clear()
            return "1\n"
        if name.startswith("Set_") and name[4:] in IDENTITY_SETTERS:
            self.pending[name[4:]] = value
            return value + "\n"
        return ""

    def _nvram(self, cmd: str) -> str:
        fields = cmd.split(None, 2)
        op = fields[1] if len(fields) > 1 else ""
        arg = fields[2] if len(fields) > 2 else ""
        if op == "get":
            return self.nvram.get(arg, "") + "\n"
        if op == "set" and "=" in arg:
            key, value = arg.split("=", 1)
            self.nvram[key] = value
            return ""
        if op == "unset":
            self.nvram.pop(arg, None)
            return ""
        if op == "show":
            return "".join("%s=%s\n" % kv for kv in sorted(self.nvram.items()))
        return ""

    def _grep(self, path: str, pattern: str) -> str:
        if path == "/dev/mtd0":
            lines = ["%s=%s" % kv for kv in self.mtd0]
        else:
            host = self.host_path(path)
            if host is None or not os.path.isfile(host):
                return "cat: can't open '%s': No such file or directory\n" % path
            with open(host, "rb") as fh:
                lines = fh.read().decode("latin-1").split("\n")
            if lines and lines[-1] == "":
                lines.pop()
        return "".join(line + "\n" for line in lines if pattern in line)

    def _mkdir(self, paths) -> str:
        out = ""
        for path in paths:
            host = self.host_path(path)
            if host is None:
                out += "mkdir: can't create directory '%s': Read-only file system\n" % path
                continue
            os.makedirs(host, exist_ok=True)
        return out

    def _rc_service(self, action: str) -> str:
        if action == "restart_ftpd":
            if self.nvram.get("enable_ftp") == "1" and self.nvram.get("st_ftp_mode") == "1":
                self._stop_ftp()
                if self.ftp is not None:
                    self.ftp.start()
                self.ftp_running = True
                self.log("%s FTP server started" % self.ip)
        elif action == "stop_ftpd":
            self._stop_ftp()
        return ""

    def _stop_ftp(self):
        if self.ftp_running and self.ftp is not None:
            self.ftp.stop()
        self.ftp_running = False

    def _chmod(self, path: str) -> str:
        host = self.host_path(path)
        if host is None or not os.path.exists(host):
            return "chmod: %s: No such file or directory\n" % path
        os.chmod(host, 0o777)
        self.executable.add(os.path.normpath(host))
        return ""

    def _mtd_write(self, words) -> str:
        tool = self.host_path(words[0])
        if tool is None or not os.path.isfile(tool):
            return "sh: %s: not found\n" % words[0]
        if os.path.normpath(tool) not in self.executable:
            return "sh: %s: Permission denied\n" % words[0]
        if len(words) != 3:
            return "usage: mtd-write <imagefile> <device>\n"
        image, device = words[1], words[2]
        host = self.host_path(image)
        if host is None or not os.path.isfile(host):
            return "Could not open image file: %s\n" % image
        if device != "boot":
            return "Could not open mtd device: %s\n" % device
        with open(host, "rb") as fh:
            new_lines = parse_image_lines(fh.read())
        merged, order = {}, []
        for k, v in new_lines:
            if k not in merged:
                order.append(k)
            merged[k] = v
        kept = [(k, v) for k, v in self.mtd0 if k not in merged]
        self.mtd0 = [(k, merged[k]) for k in order] + kept
        self.log("%s boot partition written from %s (%d lines)" % (self.ip, image, len(order)))
        return "Unlocking boot ...\nWriting from %s to boot ...  [ok]\n" % image

    # --- reboot -------------------------------------------------------------------------

    def reboot(self):
        with self.lock:
            self._stop_ftp()
            self.boot_count += 1
            for key in [k for k in self.nvram if k.startswith(HANDOVER_PREFIX)]:
                plain = key[len(HANDOVER_PREFIX):]
                if plain:
                    self.mtd0_set(plain, self.nvram[key])
                del self.nvram[key]
            for setter, keys in IDENTITY_SETTERS.items():
                if setter in self.committed:
                    for key in keys:
                        self.mtd0_set(key, self.committed[setter])
            self.committed.clear()
            self.pending.clear()
            if self.boot_count <= self.cfg["values_reset_at_reboot"]:
                for key, value in factory_values().items():
                    self.mtd0_set(key, value)
                self.log("%s per-unit values reset to factory values" % self.ip)
            if self.boot_count == 1:
                self._apply_overrides(self.cfg["after_reboot_mtd0"], self.cfg["after_reboot_nvram"])
            self._apply_overrides(self.cfg["after_every_reboot_mtd0"],
                                  self.cfg["after_every_reboot_nvram"])
            # The unit loads its radio calibration from the boot partition.
            for key in CAL_KEYS:
                value = self.mtd0_get(key)
                if value is not None:
                    self.nvram[key] = value
            if self.cfg["answers_under_boot_mac"]:
                mac = self.boot_mac()
                if mac != self.mac:
                    self.log("%s answers under MAC %s from now on" % (self.ip, mac_to_text(mac)))
                self.mac = mac
            if self.cfg["never_ready"] or self.cfg["never_ready_after_reboot"]:
                self.ready = False
            if self.cfg["never_back"]:
                self.down_until = float("inf")
            else:
                self.down_until = self.clock() + self.cfg["reboot_silence_s"]
            self.save_state()
            self.log("%s rebooting (boot %d), silent for %s s" % (
                self.ip, self.boot_count,
                "ever" if self.cfg["never_back"] else self.cfg["reboot_silence_s"]))

    def _apply_overrides(self, mtd0: dict, nvram: dict):
        for key, value in mtd0.items():
            self.mtd0_set(key, None if value is None else str(value))
        for key, value in nvram.items():
            if value is None:
                self.nvram.pop(key, None)
            else:
                self.nvram[key] = str(value)

    # --- FTP upload hook -------------------------------------------------------------

    def upload_cut_after(self, path: str) -> Optional[int]:
        """The byte count after which the upload of `path` that starts now is
        cut (cut_upload: the first K uploads of the named file), else None."""
        cut = self.cfg.get("cut_upload")
        with self.lock:
            if cut is None or os.path.basename(path) != cut["file"] or self.uploads_cut >= cut["times"]:
                return None
            self.uploads_cut += 1
        self.log("%s cutting the upload of %s after %d bytes" % (self.ip, path, cut["after_bytes"]))
        return cut["after_bytes"]

    def on_file_received(self, path: str):
        self.log("%s FTP upload complete: %s" % (self.ip, path))
        if self.cfg["corrupt_image"] and path.endswith(".bin"):
            with open(path, "rb") as fh:
                data = fh.read()
            # A transfer cut short with a damaged header: the version line is gone.
            data = data[: len(data) // 2].replace(b"bl_version", b"bl_vers\0on")
            with open(path, "wb") as fh:
                fh.write(data)
            self.log("%s corrupted the uploaded image %s" % (self.ip, path))

    def shutdown(self):
        with self.lock:
            self._stop_ftp()
