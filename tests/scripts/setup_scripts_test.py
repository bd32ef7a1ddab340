"""The set-up scripts' own logic: which Debian mirror scripts/fresh-check
takes from the apt sources, and how scripts/install-deps reads the package
list. Neither needs root nor the network."""

import os
import re
import subprocess
import tempfile
import unittest

TOP = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
FRESH_CHECK = os.path.join(TOP, "scripts", "fresh-check")
INSTALL_DEPS = os.path.join(TOP, "scripts", "install-deps")

MAIN = "http://deb.debian.org/debian"
SECURITY_822 = """Types: deb
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: main
"""
MAIN_822 = """Types: deb
# http://snapshot.debian.org/archive/debian/20250520T000000Z
URIs: http://deb.debian.org/debian/
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
"""


def run(args, env=None):
    result = subprocess.run(args, capture_output=True, text=True, env={**os.environ, **(env or {})})
    return result.returncode, result.stdout, result.stderr


class MirrorFromAptSources(unittest.TestCase):
    # name, {file under /etc/apt: content}, the mirror (None: none found)
    CASES = [
        ("this machine's deb822 file, a comment inside the entry",
         {"sources.list.d/debian.sources": MAIN_822 + "\n" + SECURITY_822}, MAIN),
        ("the security archive first", {"sources.list.d/debian.sources": SECURITY_822 + "\n" + MAIN_822}, MAIN),
        ("a disabled entry and a source-only one are passed over",
         {"sources.list.d/a.sources": "Types: deb\nURIs: http://old.example/debian\nSuites: bookworm\n"
                                      "Enabled: no\n\nTypes: deb-src\nURIs: http://src.example/debian\n"
                                      "Suites: bookworm\n",
          "sources.list.d/b.sources": "types: deb deb-src\nuris: http://mirror.example/debian\n"
                                      "  http://second.example/debian\nsuites: stable\n"},
         "http://mirror.example/debian"),
        ("only security in deb822: the one-line file is read",
         {"sources.list.d/debian.sources": SECURITY_822,
          "sources.list": "# deb http://commented.example/debian bookworm main\n"
                          "deb http://security.debian.org/debian-security bookworm-security main\n"
                          "deb [arch=amd64 signed-by=/k.gpg] http://line.example/debian bookworm main\n"},
         "http://line.example/debian"),
        ("no release anywhere", {"sources.list": "deb http://x.example/debian bookworm-backports main\n"}, None),
        ("no sources at all", {}, None),
    ]

    def test_mirror(self):
        for name, files, expected in self.CASES:
            with self.subTest(name), tempfile.TemporaryDirectory() as apt:
                os.mkdir(os.path.join(apt, "sources.list.d"))
                for path, text in files.items():
                    with open(os.path.join(apt, path), "w") as f:
                        f.write(text)
                code, out, err = run([FRESH_CHECK, "--print-mirror"], {"RAMTUNE_APT_ETC": apt})
                if expected is None:
                    self.assertEqual(code, 1)
                    self.assertIn("no Debian mirror found", err)
                else:
                    self.assertEqual((code, out), (0, expected + "\n"), err)


class PackageList(unittest.TestCase):
    # name, list text, arguments, exit status, output (stdout, or a piece of stderr)
    CASES = [
        ("the groups asked for, in list order, each package once",
         "demo cmake\ntests time  # why\nwindows wine\ntests cmake\n", ["--list", "windows", "tests"], 0,
         "time\nwine\ncmake\n"),
        ("every group without arguments", "# a remark\n\ndemo cmake\nfuzzing clang\n", ["--list"], 0,
         "cmake\nclang\n"),
        ("an unknown group", "demo cmake\n", ["--list", "dmeo"], 64, 'unknown group "dmeo"'),
        ("a line with more than a group and a package", "demo cmake ninja-build\n", ["--list"], 64,
         ':1: expected "GROUP PACKAGE [# why]"'),
        ("a package dpkg has never heard of is missing", "demo coreutils\ndemo ramtune-no-such-package\n",
         ["--missing", "demo"], 0, "ramtune-no-such-package\n"),
    ]

    def test_list(self):
        for name, text, args, status, output in self.CASES:
            with self.subTest(name), tempfile.NamedTemporaryFile("w", suffix=".list") as listing:
                listing.write(text)
                listing.flush()
                code, out, err = run([INSTALL_DEPS] + args, {"RAMTUNE_PACKAGE_LIST": listing.name})
                self.assertEqual(code, status, err)
                if status == 0:
                    self.assertEqual(out, output)
                else:
                    self.assertIn(output, err)

    def test_every_group_a_script_installs_is_listed(self):
        # scripts/test --quick goes on when installing fails: a misspelt
        # group there would go unnoticed until a fresh machine.
        asked = set()
        for script in ("demo", "test", "fresh-check", "guest"):
            with open(os.path.join(TOP, "scripts", script)) as f:
                for line in f:
                    m = re.search(r"install-deps\"?((?: [a-z-]+)+)", line)
                    if m:
                        asked.update(m.group(1).split())
        self.assertTrue({"demo", "tests", "fresh-check", "guest"} <= asked, asked)
        for group in sorted(asked):
            with self.subTest(group):
                code, out, err = run([INSTALL_DEPS, "--list", group])
                self.assertEqual(code, 0, err)
                self.assertNotEqual(out, "")


if __name__ == "__main__":
    unittest.main()
