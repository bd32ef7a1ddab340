#!/usr/bin/python3
"""The check of the binaries against a program built with each fault it must
find (tests/wine/probe), and its reading of the reviewed list.

    check_binaries_test.py FAULTY_PROBE.exe
"""

import os
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
CHECKER = os.path.join(HERE, "check-binaries.py")
LIST = os.path.join(HERE, "imports.txt")
PROBE = None


def check(arch, listing, *files):
    run = subprocess.run([sys.executable, CHECKER, "--arch", arch, "--list", listing, *files],
                         capture_output=True, text=True, timeout=60)
    return run.returncode, run.stdout


class FaultyProbe(unittest.TestCase):
    def test_every_fault_is_found(self):
        code, out = check("x86", LIST, PROBE)
        self.assertEqual(code, 1, out)
        for finding in [
            "subsystem version 6.0 is above 5.1: Windows XP SP3 would refuse to load it",
            "the manifest names architecture 'amd64', the build is 'x86'",
            "the manifest has a supportedOS entry",
            "imports KERNEL32.dll GetTickCount64, which needs Windows 6.0: newer than Windows XP SP3",
            'imports msvcrt.dll strcpy_s: a "_s" function',
            "imports msvcrt.dll strcpy_s, which is not in the reviewed list",
            "imports KERNEL32.dll Beep, which is not in the reviewed list",
        ]:
            self.assertIn(finding, out)

    def test_a_tool_may_list_supported_systems_but_not_name_another_architecture(self):
        code, out = check("x86", LIST, "--tool", PROBE)
        self.assertEqual(code, 1, out)
        self.assertNotIn("supportedOS", out)
        for finding in ["the manifest names architecture 'amd64', the build is 'x86'",
                        "subsystem version 6.0 is above 5.1",
                        "GetTickCount64, which needs Windows 6.0"]:
            self.assertIn(finding, out)

    def test_wrong_architecture_is_named(self):
        code, out = check("amd64", LIST, PROBE)
        self.assertEqual(code, 1, out)
        self.assertIn("machine 0x014c (magic 0x10b), expected 0x8664 for amd64", out)

    def test_a_reviewed_newer_function_still_fails_and_the_list_is_read_strictly(self):
        with tempfile.NamedTemporaryFile("w", suffix=".txt", delete=False) as listing:
            listing.write("# reviewed\n"
                          "KERNEL32.dll GetTickCount64 6.0  # listed, yet too new for XP\n"
                          "kernel32.DLL Beep 5.0\n"
                          "msvcrt.dll strcpy_s crt\n"
                          "KERNEL32.dll Sleep XP\n"
                          "msvcrt.dll malloc 5.0\n"
                          "USER32.dll\n")
        try:
            code, out = check("x86", listing.name, PROBE)
        finally:
            os.unlink(listing.name)
        self.assertEqual(code, 1, out)
        self.assertIn("GetTickCount64, which needs Windows 6.0", out)
        self.assertIn('strcpy_s: a "_s" function', out)
        self.assertNotIn("Beep", out)  # DLL names compare without case
        self.assertIn(":5: oldest Windows 'XP' is not a version", out)
        self.assertIn(":6: oldest Windows '5.0' is not 'crt'", out)
        self.assertIn(":7: expected 'DLL FUNCTION OLDEST-WINDOWS'", out)

    def test_a_file_that_is_no_program_fails(self):
        code, out = check("x86", LIST, LIST)
        self.assertEqual(code, 1, out)
        self.assertIn("not a PE file", out)


if __name__ == "__main__":
    PROBE = sys.argv.pop(1)
    unittest.main()
