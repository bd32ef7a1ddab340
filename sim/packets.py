"""Packet codec of the router's information service (UDP port 9999).

Written from the packet byte tables on purpose independently of the C++ code in
link/, so that a layout mistake on one side shows up as a failing exchange
instead of hiding behind shared code.

All multi-byte integers are little-endian. Every packet is a 1024-byte datagram.
Text fields are 8-bit (latin-1) and read up to their first zero byte.
"""

import struct
from dataclasses import dataclass
from typing import Optional, Union

PACKET_SIZE = 1024

SERVICE_ID = 12
TYPE_REQUEST = 21
TYPE_RESPONSE = 22
OP_DISCOVERY = 31
OP_COMMAND = 51          # 0x0033: also the low byte of every command response

RESULT_OK = 0x00
RESULT_ERR_PASSWORD = 0x01
RESULT_ERR_FIELD_UNDEF = 0x02

TEXT_MAX = 420

# Header: service id, packet type, operation word, sequence.
_HEADER = struct.Struct("<BBHI")

# Command request offsets.
REQ_MAC = 8
REQ_ZERO_BLOCK = 14
REQ_CMD_LEN = 46
REQ_CMD_TEXT = 48

# Discovery response offsets.
DISC_LABEL = 136
DISC_MODEL = 200
DISC_MODE = 248
DISC_MAC = 249
DISC_TEXT_SIZE = 32

# Command response offsets.
RSP_MAC = 8
RSP_RESULT_LEN = 14
RSP_RESULT_TEXT = 16


@dataclass
class DiscoveryRequest:
    seq: int


@dataclass
class CommandRequest:
    seq: int
    mac: bytes
    text: str           # the command line, cut to the declared length (at most 420)
    declared_len: int   # the length field as sent


@dataclass
class DiscoveryResponse:
    label: str
    model: str
    mode_byte: int
    mac: bytes
    seq: int


@dataclass
class CommandResponse:
    result_class: int
    op_low: int
    seq: int
    mac: bytes
    text: str           # the first result-length bytes of the result field


def _enc(text) -> bytes:
    return text if isinstance(text, bytes) else text.encode("latin-1")


def _cstr(field: bytes) -> str:
    return field.split(b"\0", 1)[0].decode("latin-1")


def _pad(data: bytes) -> bytes:
    return data[:PACKET_SIZE].ljust(PACKET_SIZE, b"\0")


def _header(data: bytes):
    if len(data) < _HEADER.size:
        return None
    return _HEADER.unpack_from(data, 0)


def mac_to_text(mac: bytes) -> str:
    return ":".join("%02X" % b for b in mac)


def mac_from_text(text: str) -> bytes:
    digits = text.replace(":", "").replace("-", "")
    mac = bytes.fromhex(digits)
    if len(mac) != 6:
        raise ValueError("MAC address needs 6 bytes: %r" % text)
    return mac


# --- requests (what the PC sends) ---------------------------------------------

def build_discovery_request(seq: int = 0) -> bytes:
    return _pad(_HEADER.pack(SERVICE_ID, TYPE_REQUEST, OP_DISCOVERY, seq))


def build_command_request(seq: int, mac: bytes, command, declared_len: Optional[int] = None) -> bytes:
    text = _enc(command)
    if declared_len is None:
        declared_len = len(text) & 0xFFFF
    buf = bytearray(PACKET_SIZE)
    _HEADER.pack_into(buf, 0, SERVICE_ID, TYPE_REQUEST, OP_COMMAND, seq)
    buf[REQ_MAC:REQ_MAC + 6] = mac
    # bytes 14..45 stay zero
    struct.pack_into("<H", buf, REQ_CMD_LEN, declared_len)
    field = text[:TEXT_MAX]
    buf[REQ_CMD_TEXT:REQ_CMD_TEXT + len(field)] = field
    return bytes(buf)


def parse_request(data: bytes) -> Optional[Union[DiscoveryRequest, CommandRequest]]:
    """Decodes a request; None for anything else (responses, junk, short packets)."""
    hdr = _header(data)
    if hdr is None:
        return None
    service, ptype, op, seq = hdr
    if service != SERVICE_ID or ptype != TYPE_REQUEST:
        return None
    if op == OP_DISCOVERY:
        return DiscoveryRequest(seq)
    if op == OP_COMMAND:
        if len(data) < REQ_CMD_TEXT:
            return None
        data = _pad(data)
        declared = struct.unpack_from("<H", data, REQ_CMD_LEN)[0]
        field = data[REQ_CMD_TEXT:REQ_CMD_TEXT + min(declared, TEXT_MAX)]
        return CommandRequest(seq, bytes(data[REQ_MAC:REQ_MAC + 6]), _cstr(field), declared)
    return None


# --- responses (what the router sends) -------------------------------------------

def build_discovery_response(label: str, model: str, mode_byte: int, mac: bytes, seq: int = 0) -> bytes:
    buf = bytearray(PACKET_SIZE)
    _HEADER.pack_into(buf, 0, SERVICE_ID, TYPE_RESPONSE, OP_DISCOVERY, seq)
    lab = _enc(label)[:DISC_TEXT_SIZE]
    mod = _enc(model)[:DISC_TEXT_SIZE]
    buf[DISC_LABEL:DISC_LABEL + len(lab)] = lab
    buf[DISC_MODEL:DISC_MODEL + len(mod)] = mod
    buf[DISC_MODE] = mode_byte & 0xFF
    buf[DISC_MAC:DISC_MAC + 6] = mac
    return bytes(buf)


def build_command_response(seq: int, mac: bytes, text, result_class: int = RESULT_OK,
                           op_low: int = OP_COMMAND) -> bytes:
    """Result text longer than 420 bytes is cut to 420 (length field included)."""
    body = _enc(text)[:TEXT_MAX]
    buf = bytearray(PACKET_SIZE)
    op = ((result_class & 0xFF) << 8) | (op_low & 0xFF)
    _HEADER.pack_into(buf, 0, SERVICE_ID, TYPE_RESPONSE, op, seq & 0xFFFFFFFF)
    buf[RSP_MAC:RSP_MAC + 6] = mac
    struct.pack_into("<H", buf, RSP_RESULT_LEN, len(body))
    buf[RSP_RESULT_TEXT:RSP_RESULT_TEXT + len(body)] = body
    return bytes(buf)


def parse_discovery_response(data: bytes) -> Optional[DiscoveryResponse]:
    hdr = _header(data)
    if hdr is None:
        return None
    service, ptype, op, seq = hdr
    if service != SERVICE_ID or ptype != TYPE_RESPONSE or op != OP_DISCOVERY:
        return None
    data = _pad(data)
    return DiscoveryResponse(
        label=_cstr(data[DISC_LABEL:DISC_LABEL + DISC_TEXT_SIZE]),
        model=_cstr(data[DISC_MODEL:DISC_MODEL + DISC_TEXT_SIZE]),
        mode_byte=data[DISC_MODE],
        mac=bytes(data[DISC_MAC:DISC_MAC + 6]),
        seq=seq)


def parse_command_response(data: bytes) -> Optional[CommandResponse]:
    hdr = _header(data)
    if hdr is None:
        return None
    service, ptype, op, seq = hdr
    if service != SERVICE_ID or ptype != TYPE_RESPONSE or op == OP_DISCOVERY:
        return None
    data = _pad(data)
    length = min(struct.unpack_from("<H", data, RSP_RESULT_LEN)[0], TEXT_MAX)
    text = data[RSP_RESULT_TEXT:RSP_RESULT_TEXT + length].decode("latin-1")
    return CommandResponse(op >> 8, op & 0xFF, seq, bytes(data[RSP_MAC:RSP_MAC + 6]), text)
