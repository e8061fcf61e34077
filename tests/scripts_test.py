#!/usr/bin/env python3
"""What runs around the program, where it could pass for green without
having checked anything: scripts_test.py BUILD_DIR (a native build)."""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

import archive
import common
import package_test

BUILD = sys.argv[1]

# Real source lines, as Debian's installer, cloud images and other vendors
# write them, and the archives taken from them (suite suffix after the URI).
MIRRORS = [
    ("sources.list", "deb http://mirror.example.org/debian/ bookworm main\n",
     [("http://mirror.example.org/debian", "")]),
    ("sources.list", "deb http://ftp.example.net/debian bookworm main non-free-firmware\n"
                     "deb-src http://ftp.example.net/debian bookworm main non-free-firmware\n"
                     "deb http://security.example.net/debian-security bookworm-security main\n"
                     "# deb cdrom:[Debian GNU/Linux 12.0.0 _Bookworm_ - Official amd64 DVD Binary-1]/ bookworm main\n",
     [("http://ftp.example.net/debian", ""), ("http://security.example.net/debian-security", "-security")]),
    ("cdrom.list", "deb cdrom:[Debian GNU/Linux 12.0.0 _Bookworm_ - Official amd64 DVD Binary-1]/ bookworm main\n", []),
    ("docker.list", "deb [arch=amd64 signed-by=/etc/apt/keyrings/docker.gpg] "
                    "https://vendor.example.com/linux/debian bookworm stable\n", []),
    ("google-cloud-sdk.list", "deb https://cloud.example.com/apt cloud-sdk-bookworm main\n", []),
    ("mirror.list", "deb [arch=amd64,arm64 signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] "
                    "https://mirror.example.org/debian/ trixie-updates main contrib\n",
     [("https://mirror.example.org/debian", "-updates")]),
    ("debian.sources", "Types: deb deb-src\nURIs: http://mirror.example.org/debian\nSuites: trixie trixie-updates\n"
                       "Components: main non-free-firmware\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n"
                       "\nTypes: deb\nURIs: http://mirror.example.org/debian-security\nSuites: trixie-security\n"
                       "Components: main\nEnabled: no\n",
     [("http://mirror.example.org/debian", ""), ("http://mirror.example.org/debian", "-updates")]),
    ("nodesource.sources", "Types: deb\nURIs: https://node.example.com/node_20.x\nSuites: nodistro\n"
                           "Components: main\n", []),
]


class Scripts(unittest.TestCase):
    def test_mirrors_from_the_machines_sources(self):
        for name, text, archives in MIRRORS:
            with self.subTest(name=name, text=text):
                self.assertEqual(archive.mirrors({f"/etc/apt/sources.list.d/{name}": text}), archives)

    def test_lintian_clears_only_what_it_checked(self):
        """One batch with a good package, one that cannot be read and one
        with errors: the batch fails; alone, they are clean, a failure and
        the errors."""
        good = package_test.pack(BUILD, into="scripts-package")
        with tempfile.TemporaryDirectory() as scratch:
            broken, control = os.path.join(scratch, "broken"), Path(scratch, "broken", "DEBIAN", "control")
            control.parent.mkdir(parents=True)
            control.write_text("Package: broken\nVersion: 1\nArchitecture: all\nMaintainer: x <x@example.org>\n"
                               "Description: broken\n a package with no copyright file\n")
            subprocess.run(["dpkg-deb", "-b", broken, broken + ".deb"], check=True, capture_output=True)
            unreadable = os.path.join(scratch, "unreadable.deb")
            with self.assertRaises(package_test.LintianFailed):
                package_test.lintian(good, unreadable, broken + ".deb")
            self.assertEqual(package_test.lintian(good), [])
            with self.assertRaises(package_test.LintianFailed):
                package_test.lintian(unreadable)
            self.assertIn("E: broken: no-copyright-file", package_test.lintian(broken + ".deb"))

    def test_test_all_fails_on_a_broken_preset_file(self):
        with tempfile.TemporaryDirectory() as clone:
            shutil.copytree(os.path.join(common.ROOT, "scripts"), os.path.join(clone, "scripts"))
            Path(clone, "CMakePresets.json").write_text("{")
            done = subprocess.run(["bash", "scripts/test-all.sh"], cwd=clone, capture_output=True, text=True,
                                  timeout=60)
        self.assertNotEqual(done.returncode, 0, done.stdout)
        self.assertIn("no presets", done.stdout + done.stderr)

    def test_strict_mode_fails_a_kernel_test_that_cannot_fetch(self):
        """The archive unreachable and the cache empty: the test fails, and
        names why."""
        with tempfile.TemporaryDirectory() as cache:
            closed = "http://127.0.0.1:9"
            done = subprocess.run([sys.executable, os.path.join(common.ROOT, "tests", "kernel_test.py"), "amd64",
                                   "x86_64", os.path.join(BUILD, "exprcalc")], capture_output=True, text=True,
                                  env=dict(os.environ, http_proxy=closed, https_proxy=closed, XDG_CACHE_HOME=cache,
                                           EXPRCALC_FETCH_PAUSE="0", EXPRCALC_BOOTS="", EXPRCALC_STRICT="1"),
                                  timeout=300)
        self.assertEqual(done.returncode, 1, done.stdout + done.stderr)
        self.assertIn("FAILED: kernel-amd64 could not run on", done.stdout)
        self.assertIn("cannot fetch from Debian's archive", done.stdout)


if __name__ == "__main__":
    common.main("scripts", BUILD, Scripts)
