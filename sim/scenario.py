"""Scenario files: which routers the simulator plays and how they misbehave.

A scenario is a JSON object. Every key except "routers" is a default for every
router; each entry of "routers" overrides those defaults for one router. Without
"routers" the scenario describes a single router. sim/README.md lists the keys.
"""

import copy
import json

from packets import mac_from_text, mac_to_text

# Keys whose dict values are merged (default dict first, router dict on top)
# rather than replaced.
_MERGED_DICTS = ("nvram", "mtd0", "after_reboot_mtd0", "after_reboot_nvram",
                 "after_every_reboot_mtd0", "after_every_reboot_nvram")

KNOWN_KEYS = {
    "routers", "ip", "mac", "model", "label", "mode_byte", "fw_version", "bl_version",
    "mac_2g", "mac_5g", "pin", "ccode_2g", "regrev_2g", "ccode_5g", "regrev_5g", "odmpid",
    "nvram", "mtd0", "ready", "never_ready", "never_ready_after_reboot", "never_back",
    "reboot_silence_s", "corrupt_image", "faults", "comment",
    "values_reset_at_reboot", "answers_under_boot_mac", "cut_upload",
} | set(_MERGED_DICTS)

FAULT_ACTIONS = {"drop", "delay", "duplicate", "wrong_seq", "wrong_mac",
                 "result_class", "crlf", "reply"}

# The per-unit calibration keys kept in the router variables (nvram).
CAL_KEYS_20 = ["0:pa2ga0", "0:pa2ga1", "0:pa2ga2"]
CAL_KEYS_83 = ["1:pa5ga0", "1:pa5ga1", "1:pa5ga2"]
CAL_KEYS_10 = ["0:mcsbw202gpo", "0:mcsbw402gpo",
               "1:mcsbw205glpo", "1:mcsbw405glpo", "1:mcsbw805glpo",
               "1:mcsbw205gmpo", "1:mcsbw405gmpo", "1:mcsbw805gmpo",
               "1:mcsbw205ghpo", "1:mcsbw405ghpo", "1:mcsbw805ghpo"]
CAL_KEYS_6 = ["0:rpcal2g", "1:rpcal5gb0", "1:rpcal5gb1", "1:rpcal5gb2", "1:rpcal5gb3"]
CAL_KEYS = CAL_KEYS_20 + CAL_KEYS_83 + CAL_KEYS_10 + CAL_KEYS_6


class ScenarioError(Exception):
    pass


# What a unit holds after its per-unit values were wiped (values_reset_at_reboot):
# the same for every unit, unlike any scenario's own values, and of the lengths
# the backup accepts. The MACs are locally administered unicast addresses.
FACTORY_MAC_2G = "02:FA:C7:00:00:01"
FACTORY_MAC_5G = "02:FA:C7:00:00:05"
FACTORY_MODEL_ID = "QARV"


def factory_values() -> dict:
    """Boot partition key -> factory value of every per-unit value the upgrade keeps."""
    values = {
        "et0macaddr": FACTORY_MAC_2G, "0:macaddr": FACTORY_MAC_2G, "1:macaddr": FACTORY_MAC_5G,
        "0:ccode": "EU", "0:regrev": "0", "1:ccode": "EU", "1:regrev": "0",
        "secret_code": wps_pin(5550000),
        "odmpid": FACTORY_MODEL_ID,
    }
    values.update(dict.fromkeys(CAL_KEYS_20, ",".join(["0xff00"] * 3)))
    values.update(dict.fromkeys(CAL_KEYS_83, ",".join(["0xff00"] * 12)))
    values.update(dict.fromkeys(CAL_KEYS_10, "0x00000000"))
    values.update(dict.fromkeys(CAL_KEYS_6, "0x0000"))
    return values


def wps_pin(base7: int) -> str:
    """Eight-digit PIN: seven digits plus the usual WPS checksum digit."""
    base7 %= 10_000_000
    acc, n = 0, base7
    for weight in (3, 1, 3, 1, 3, 1, 3):
        acc += weight * (n % 10)
        n //= 10
    return "%07d%d" % (base7, (10 - acc % 10) % 10)


def _hex16(seed: int) -> str:
    return "0x%04x" % (seed & 0xFFFF)


def calibration_defaults(index: int) -> dict:
    """Plausible calibration values of the right lengths, different per unit."""
    cal = {}
    s = 0x1F00 + 0x137 * index
    for n, key in enumerate(CAL_KEYS_20):          # 3 x 6 chars + 2 commas = 20
        cal[key] = ",".join(_hex16(s + 0x101 * n + k * 0x2b3) for k in range(3))
    for n, key in enumerate(CAL_KEYS_83):          # 12 x 6 chars + 11 commas = 83
        cal[key] = ",".join(_hex16(s + 0x203 * n + k * 0x1d9) for k in range(12))
    for n, key in enumerate(CAL_KEYS_10):          # "0x" + 8 hex digits = 10
        cal[key] = "0x%08x" % ((0x66420000 + 0x1111 * n + 0x31 * index) & 0xFFFFFFFF)
    for n, key in enumerate(CAL_KEYS_6):           # "0x" + 4 hex digits = 6
        cal[key] = _hex16(0x0a20 + 0x21 * n + 0x7 * index)
    return cal


def _offset_mac(mac: bytes, delta: int) -> bytes:
    return mac[:5] + bytes([(mac[5] + delta) & 0xFF])


def router_defaults(index: int) -> dict:
    mac = "AA:BB:CC:DD:%02X:01" % (0xEE - index)
    return {
        "ip": "10.77.0.%d" % (2 + index),
        "mac": mac,
        "model": "LM-7210A",
        "label": "LM-7210A-%02d" % (index + 1),
        "mode_byte": 0,
        "fw_version": "3.0.4.118",
        "bl_version": "1.0.1.5",
        "pin": wps_pin(1234567 + 1111 * index),
        "ccode_2g": "US", "regrev_2g": "12",
        "ccode_5g": "US", "regrev_5g": "12",
        "ready": True,
        "never_ready": False,
        "never_ready_after_reboot": False,
        "never_back": False,
        "reboot_silence_s": 20.0,
        "corrupt_image": False,
        "cut_upload": None,
        "values_reset_at_reboot": 0,
        "answers_under_boot_mac": False,
        "faults": [],
    }


def _merge(base: dict, top: dict) -> dict:
    out = copy.deepcopy(base)
    for key, value in top.items():
        if key in _MERGED_DICTS and isinstance(value, dict):
            merged = dict(out.get(key) or {})
            merged.update(value)
            out[key] = merged
        elif key == "faults":
            out[key] = list(out.get(key) or []) + list(value)
        else:
            out[key] = copy.deepcopy(value)
    return out


def _check_keys(obj: dict, where: str):
    unknown = set(obj) - KNOWN_KEYS
    if unknown:
        raise ScenarioError("%s: unknown key(s) %s" % (where, ", ".join(sorted(unknown))))


def _check_fault(f, where):
    if not isinstance(f, dict) or f.get("action") not in FAULT_ACTIONS:
        raise ScenarioError("%s: fault needs an action out of %s: %r"
                            % (where, ", ".join(sorted(FAULT_ACTIONS)), f))


def _check_cut(cut, where):
    """cut_upload: {"file": NAME, "after_bytes": N, "times": K (default 1)} or null."""
    if cut is None:
        return None
    if not isinstance(cut, dict) or set(cut) - {"file", "after_bytes", "times"} or "file" not in cut:
        raise ScenarioError("%s: cut_upload needs file, after_bytes and optionally times: %r" % (where, cut))
    cut = {"file": str(cut["file"]), "after_bytes": cut.get("after_bytes", 0), "times": cut.get("times", 1)}
    for key in ("after_bytes", "times"):
        if isinstance(cut[key], bool) or not isinstance(cut[key], int) or cut[key] < 0:
            raise ScenarioError("%s: cut_upload %s must be a count (0 or more): %r" % (where, key, cut[key]))
    return cut


def _complete(r: dict, index: int) -> dict:
    """Fills the derived values: MACs, router variables, boot partition."""
    mac = mac_from_text(r["mac"])
    r["mac_bytes"] = mac
    r.setdefault("mac_2g", mac_to_text(mac))
    r.setdefault("mac_5g", mac_to_text(_offset_mac(mac, 4)))
    r.setdefault("odmpid", r["model"])

    nvram = {
        "bl_version": r["bl_version"],
        "wlopmode": "7",
        "clkfreq": "800,533",
        "0:tempthresh": "120",
        "1:tempthresh": "120",
        "gpio9": "",
        "HW_ver": "170",
        "enable_ftp": "0",
        "st_ftp_mode": "0",
    }
    nvram.update(calibration_defaults(index))
    for key, value in (r.get("nvram") or {}).items():
        if value is None:
            nvram.pop(key, None)
        else:
            nvram[key] = str(value)
    r["nvram"] = nvram

    mtd0 = [
        ("boardtype", "0x0665"),
        ("boardnum", "%04d" % (1200 + index)),
        ("bl_version", r["bl_version"]),
        ("clkfreq", "800,533"),
        ("sdram_config", "0x0103"),
        ("et0macaddr", r["mac_2g"]),
        ("0:macaddr", r["mac_2g"]),
        ("1:macaddr", r["mac_5g"]),
        ("0:ccode", r["ccode_2g"]),
        ("0:regrev", r["regrev_2g"]),
        ("1:ccode", r["ccode_5g"]),
        ("1:regrev", r["regrev_5g"]),
        ("secret_code", r["pin"]),
        ("odmpid", r["odmpid"]),
    ]
    overrides = r.get("mtd0") or {}
    lines = [(k, overrides.get(k, v)) for k, v in mtd0]
    known = {k for k, _ in mtd0}
    lines += [(k, v) for k, v in overrides.items() if k not in known]
    r["mtd0"] = [(k, str(v)) for k, v in lines if v is not None]

    for key in ("after_reboot_mtd0", "after_reboot_nvram",
                "after_every_reboot_mtd0", "after_every_reboot_nvram"):
        r[key] = dict(r.get(key) or {})
    r["mode_byte"] = int(r["mode_byte"])
    r["reboot_silence_s"] = float(r["reboot_silence_s"])
    resets = r["values_reset_at_reboot"]
    if isinstance(resets, bool) or not isinstance(resets, int) or resets < 0:
        raise ScenarioError("router %s: values_reset_at_reboot must be a count of reboots (0 or more): %r"
                            % (r["ip"], resets))
    r["answers_under_boot_mac"] = bool(r["answers_under_boot_mac"])
    r["cut_upload"] = _check_cut(r["cut_upload"], "router %s" % r["ip"])
    for f in r["faults"]:
        _check_fault(f, "router %s" % r["ip"])
    return r


def build(scenario: dict) -> dict:
    """Returns {"routers": [resolved router dicts]} for a parsed scenario."""
    if not isinstance(scenario, dict):
        raise ScenarioError("scenario must be a JSON object")
    _check_keys(scenario, "scenario")
    common = {k: v for k, v in scenario.items() if k not in ("routers", "comment")}
    entries = scenario.get("routers") or [{}]
    routers = []
    for index, entry in enumerate(entries):
        _check_keys(entry, "routers[%d]" % index)
        r = _merge(router_defaults(index), common)
        r = _merge(r, entry)
        routers.append(_complete(r, index))
    ips = [r["ip"] for r in routers]
    macs = [r["mac_bytes"] for r in routers]
    if len(set(ips)) != len(ips) or len(set(macs)) != len(macs):
        raise ScenarioError("routers need distinct ip and mac values")
    return {"routers": routers}


def load(path: str) -> dict:
    with open(path, encoding="utf-8") as fh:
        try:
            data = json.load(fh)
        except json.JSONDecodeError as exc:
            raise ScenarioError("%s: %s" % (path, exc)) from exc
    return build(data)
