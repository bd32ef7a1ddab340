#!/usr/bin/python3
"""Checks the shipped Windows binaries of one build (Ramtune.exe, Echomod.dll, curl.exe).

    check-binaries.py --arch x86|amd64 --list imports.txt FILE... [--tool FILE]...

Nothing 32-bit can run on the build machines, so what a binary needs from
Windows is read from the files themselves:

- every imported function must be in the reviewed list (imports.txt); a new
  import fails until someone has looked up the oldest Windows that has it
  and added it to the list;
- the oldest Windows of each listed function must not be newer than the
  oldest system the build must run on: Windows XP SP3 for x86, Vista for
  amd64 (Windows XP x64 is refused by the program's version check);
- msvcrt.dll documents no versions: its functions are listed as "crt", and
  the CRT families that came after the msvcrt.dll of Windows XP ("_s"
  functions, "_l" locale variants and the like) fail even when listed;
- the PE header names the build's machine and a subsystem version the
  oldest system accepts (Windows XP refuses anything above 5.1);
- an .exe embeds a manifest that names the build's architecture (Windows
  refuses to start a program whose manifest names another one) and has no
  supportedOS entry (Windows 10 and 11 would then report 10.0, which the
  version check refuses). A --tool (a console program the program starts,
  curl.exe) needs none, and may name no architecture and list supportedOS
  (it reads no Windows version); a manifest that names another architecture
  fails it too.

Exit code 0 when every file passes, 1 otherwise; each finding is one line.
"""

import argparse
import re
import struct
import sys
import xml.etree.ElementTree as ElementTree

ARCHES = {
    # machine, optional-header magic, oldest Windows (major, minor, service pack)
    "x86": (0x014C, 0x10B, (5, 1, 3), "Windows XP SP3"),
    "amd64": (0x8664, 0x20B, (6, 0, 0), "Windows Vista"),
}

CRT_DLLS = {"msvcrt.dll"}

# Families of the C runtime that the msvcrt.dll of Windows XP does not have.
NEWER_CRT = [
    (re.compile(r"_s$"), 'a "_s" function'),
    (re.compile(r"_l$"), 'an "_l" locale variant'),
    (re.compile(r"^_(create|free|get_current)_locale$"), "a locale object function"),
    (re.compile(r"(32|64)i(32|64)$"), "a sized time/stat variant"),
    (re.compile(r"^_wassert$"), "the wide assert"),
    (re.compile(r"^_(get|set)_(errno|doserrno|fmode|output_format|invalid_parameter_handler|"
                r"purecall_handler|abort_behavior|printf_count_output)$"), "a runtime setting accessor"),
    (re.compile(r"^_invalid_parameter"), "the invalid-parameter machinery"),
    (re.compile(r"^(__stdio_common_|__acrt_|_o_|__conio_common_)"), "a UCRT function"),
]

VERSION = re.compile(r"^(\d+)\.(\d+)(?:sp(\d+))?$")


def parse_version(text):
    m = VERSION.match(text)
    if not m:
        return None
    return (int(m.group(1)), int(m.group(2)), int(m.group(3) or 0))


def version_name(v):
    return f"{v[0]}.{v[1]}" + (f" SP{v[2]}" if v[2] else "")


class PeError(Exception):
    pass


class PeFile:
    def __init__(self, path):
        with open(path, "rb") as f:
            self.data = f.read()
        d = self.data
        if d[:2] != b"MZ":
            raise PeError("not a PE file (no MZ header)")
        pe = struct.unpack_from("<I", d, 0x3C)[0]
        if d[pe:pe + 4] != b"PE\0\0":
            raise PeError("not a PE file (no PE signature)")
        (self.machine, sections, _, _, _, optional_size, _) = struct.unpack_from("<HHIIIHH", d, pe + 4)
        opt = pe + 24
        self.magic = struct.unpack_from("<H", d, opt)[0]
        if self.magic not in (0x10B, 0x20B):
            raise PeError(f"unknown optional header magic {self.magic:#x}")
        self.subsystem_version = struct.unpack_from("<HH", d, opt + 48)
        directories = opt + (96 if self.magic == 0x10B else 112)
        count = struct.unpack_from("<I", d, directories - 4)[0]
        self.directories = [struct.unpack_from("<II", d, directories + 8 * i) for i in range(count)]
        self.sections = []
        table = opt + optional_size
        for i in range(sections):
            (vsize, vaddr, rawsize, rawptr) = struct.unpack_from("<IIII", d, table + 40 * i + 8)
            self.sections.append((vaddr, max(vsize, rawsize), rawptr, rawsize))

    def directory(self, index):
        return self.directories[index] if index < len(self.directories) else (0, 0)

    def offset(self, rva):
        for vaddr, size, rawptr, rawsize in self.sections:
            if vaddr <= rva < vaddr + size:
                if rva - vaddr >= rawsize:
                    raise PeError(f"RVA {rva:#x} lies outside the file")
                return rawptr + rva - vaddr
        raise PeError(f"RVA {rva:#x} is in no section")

    def cstring(self, rva):
        start = self.offset(rva)
        end = self.data.index(b"\0", start)
        return self.data[start:end].decode("ascii", "replace")

    def imports(self):
        """[(dll, function or "#ordinal")] of the import directory."""
        rva, _ = self.directory(1)
        found = []
        if rva == 0:
            return found
        pos = self.offset(rva)
        wide = self.magic == 0x20B
        thunk_size, ordinal_flag = (8, 1 << 63) if wide else (4, 1 << 31)
        while True:
            (lookup, _, _, name, first) = struct.unpack_from("<IIIII", self.data, pos)
            if lookup == 0 and name == 0 and first == 0:
                break
            dll = self.cstring(name)
            thunk = self.offset(lookup or first)
            while True:
                value = struct.unpack_from("<Q" if wide else "<I", self.data, thunk)[0]
                if value == 0:
                    break
                if value & ordinal_flag:
                    found.append((dll, f"#{value & 0xFFFF}"))
                else:
                    found.append((dll, self.cstring((value & 0x7FFFFFFF) + 2)))
                thunk += thunk_size
            pos += 20
        return found

    def has_delay_imports(self):
        return self.directory(13)[0] != 0

    def resources(self, wanted_type):
        """The data of every resource of a numeric type."""
        base_rva, _ = self.directory(2)
        if base_rva == 0:
            return []
        base = self.offset(base_rva)
        found = []

        def walk(offset, depth, type_id):
            named, ids = struct.unpack_from("<HH", self.data, base + offset + 12)
            for i in range(named + ids):
                (name, target) = struct.unpack_from("<II", self.data, base + offset + 16 + 8 * i)
                this_type = type_id if depth > 0 else (None if name & 0x80000000 else name)
                if depth == 0 and this_type != wanted_type:
                    continue
                if target & 0x80000000:
                    walk(target & 0x7FFFFFFF, depth + 1, this_type)
                else:
                    data_rva, size = struct.unpack_from("<II", self.data, base + target)
                    start = self.offset(data_rva)
                    found.append(self.data[start:start + size])

        walk(0, 0, None)
        return found


def read_list(path):
    """{(dll lower-case, function): version text} and the list's own errors."""
    entries, errors = {}, []
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            fields = line.split()
            if not fields or fields[0].startswith("#"):
                continue
            if len(fields) > 3 and fields[3].startswith("#"):
                fields = fields[:3]  # a remark after the entry
            if len(fields) != 3:
                errors.append(f"{path}:{number}: expected 'DLL FUNCTION OLDEST-WINDOWS'")
                continue
            dll, function, oldest = fields
            crt = dll.lower() in CRT_DLLS
            if crt and oldest != "crt" or not crt and parse_version(oldest) is None:
                errors.append(f"{path}:{number}: oldest Windows '{oldest}' is not "
                              + ("'crt'" if crt else "a version like 5.1, 5.1sp2 or 6.0"))
                continue
            entries[(dll.lower(), function)] = oldest
    return entries, errors


def check_manifest(pe, arch, tool):
    manifests = pe.resources(24)
    if tool and not manifests:
        return []
    if len(manifests) != 1:
        return [f"{len(manifests)} embedded manifests, expected one"]
    try:
        root = ElementTree.fromstring(manifests[0])
    except ElementTree.ParseError as e:
        return [f"the manifest is not well-formed XML: {e}"]
    problems = []
    identity = root.find("{urn:schemas-microsoft-com:asm.v1}assemblyIdentity")
    named = identity.get("processorArchitecture") if identity is not None else None
    if named != arch and not (tool and named is None):
        problems.append(f"the manifest names architecture {named!r}, the build is {arch!r}")
    if not tool and any(e.tag.endswith("}supportedOS") for e in root.iter()):
        problems.append("the manifest has a supportedOS entry (Windows 10 would then report 10.0)")
    return problems


def check_file(path, arch, listed, tool=False):
    machine, magic, floor, floor_name = ARCHES[arch]
    try:
        pe = PeFile(path)
        imports = pe.imports()
    except (OSError, PeError, struct.error, ValueError) as e:
        return [f"{path}: {e}"], 0
    problems = []
    if pe.machine != machine or pe.magic != magic:
        problems.append(f"machine {pe.machine:#06x} (magic {pe.magic:#x}), expected {machine:#06x} for {arch}")
    if tuple(pe.subsystem_version) > floor[:2]:
        problems.append(f"subsystem version {pe.subsystem_version[0]}.{pe.subsystem_version[1]} "
                        f"is above {floor[0]}.{floor[1]}: {floor_name} would refuse to load it")
    if pe.has_delay_imports():
        problems.append("delay-loaded imports: this check does not read them")
    if path.lower().endswith(".exe"):
        problems += check_manifest(pe, arch, tool)
    if not imports:
        problems.append("no imports found")
    for dll, function in imports:
        key = (dll.lower(), function)
        if dll.lower() in CRT_DLLS:
            for pattern, family in NEWER_CRT:
                if pattern.search(function):
                    problems.append(f"imports {dll} {function}: {family}, which the msvcrt.dll "
                                    "of Windows XP does not have")
                    break
        oldest = listed.get(key)
        if oldest is None:
            problems.append(f"imports {dll} {function}, which is not in the reviewed list: look up the "
                            "oldest Windows that has it and add it")
        elif oldest != "crt" and parse_version(oldest) > floor:
            problems.append(f"imports {dll} {function}, which needs Windows "
                            f"{version_name(parse_version(oldest))}: newer than {floor_name}")
    return [f"{path}: {p}" for p in problems], len(imports)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--arch", required=True, choices=sorted(ARCHES))
    parser.add_argument("--list", required=True, help="the reviewed imports")
    parser.add_argument("--tool", action="append", default=[],
                        help="a console program the program starts: a manifest is optional")
    parser.add_argument("files", nargs="*")
    args = parser.parse_args()
    if not args.files and not args.tool:
        parser.error("no file to check")

    listed, problems = read_list(args.list)
    for path, tool in [(f, False) for f in args.files] + [(f, True) for f in args.tool]:
        found, count = check_file(path, args.arch, listed, tool)
        problems += found
        if not found:
            print(f"{path}: {args.arch}, {count} imports, all reviewed and available on {ARCHES[args.arch][3]}")
    for p in problems:
        print(p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
