#!/usr/bin/env python3
"""What runs around the program, where it could pass for green without
having checked anything: scripts_test.py BUILD_DIR (a native build)."""
import concurrent.futures
import fcntl
import glob
import os
import re
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

# Skips, and whether strict mode lets each pass: a line must name the test
# (or the one case) and match the skip's own reason.
SKIPS = [
    ("x32", "conformance", "this machine's kernel cannot run the program (Exec format error), and no emulator is named",
     True),
    ("x32", "package", "Debian has no architecture for x86_64-linux-gnux32, so there is no package", False),
    ("x32-clang", "package:installed_program_runs",
     "this machine's kernel cannot run the program (Exec format error), and no emulator is named", True),
    ("sparc64-debug", "debug", "finish and the backtrace past the first caller under qemu: its gdb stub does not "
     "write SPARC's register windows to the stack, where gdb reads each caller's registers", False),
    ("sparc64-debug", "debug:backtrace_from_iprint_ends_at_start", "finish and the backtrace past the first caller "
     "under qemu: its gdb stub does not write SPARC's register windows to the stack, where gdb reads each caller's "
     "registers", True),
    ("m68k", "kernel", "Debian ships no kernel for m68k in an archive this machine can reach", True),
    ("aarch64", "kernel-arm64", "cannot fetch from Debian's archive (bookworm, arm64), tried twice 60 s apart", False),
    ("hexagon-debug", "preset", "Debian 12 has no GCC for Hexagon", True),
    ("hexagon-debug", "preset", "not installed: qemu-hexagon", False),
]


def configure_as(arch, scratch):
    """README's first command's configure step, as on a machine of another
    Debian architecture: dpkg answers its name, and no qemu is installed."""
    bin_folder = os.path.join(scratch, "bin")
    os.mkdir(bin_folder)
    for program in glob.glob("/usr/bin/*"):
        if not os.path.basename(program).startswith("qemu-"):
            os.symlink(program, os.path.join(bin_folder, os.path.basename(program)))
    os.remove(os.path.join(bin_folder, "dpkg"))
    Path(bin_folder, "dpkg").write_text(f"#!/bin/sh\necho {arch}\n")
    os.chmod(os.path.join(bin_folder, "dpkg"), 0o755)
    build = os.path.join(scratch, "build")
    # CMake finds programs in PATH alone, not in /usr/bin besides.
    done = subprocess.run([shutil.which("cmake"), "--preset", "host", "-B", build, "-DBUILD_TESTING=OFF",
                           "-DCMAKE_FIND_USE_CMAKE_SYSTEM_PATH=OFF"], cwd=common.ROOT, capture_output=True,
                          text=True, env=dict(os.environ, PATH=bin_folder), timeout=120)
    reason = Path(build, "cannot-build").read_text().strip() if os.path.exists(Path(build, "cannot-build")) else ""
    return done.returncode, reason, done.stdout + done.stderr


def guide_block(text, first):
    """The lines of the guide's code block that starts with the line first."""
    block = text.split(f"```\n{first}\n", 1)[1].split("```", 1)[0]
    return block.splitlines()


class Scripts(unittest.TestCase):
    def test_mirrors_from_the_machines_sources(self):
        for name, text, archives in MIRRORS:
            with self.subTest(name=name, text=text):
                self.assertEqual(archive.mirrors({f"/etc/apt/sources.list.d/{name}": text}), archives)

    def test_the_learners_guide_tells_the_programs_calls_and_the_headers_registers(self):
        """docs/kernel.md: its strace transcript is what strace shows of the
        program now (the execve line has the machine's address and
        environment), and its table of registers is each header's."""
        guide = Path(common.ROOT, "docs", "kernel.md").read_text(encoding="utf-8")
        shown = guide_block(guide, "$ echo 3 | strace build/host/exprcalc >/dev/null")
        done = subprocess.run(["strace", os.path.join(BUILD, "exprcalc")], input=b"3\n", capture_output=True,
                              timeout=60)
        traced = done.stderr.decode().splitlines()
        same = (lambda lines: [re.sub(r"\)\s+= ", ") = ", line) for line in lines if not line.startswith("execve(")])
        self.assertEqual(same(shown), same(traced))
        table = re.findall(r"^\| `(\w+\.hpp)` \| (.*) \| (.*) \| (.*) \|$", guide, re.M)
        headers = {}
        for header in glob.glob(os.path.join(common.ROOT, "src/sys/arch/*.hpp")):
            said = " ".join(re.findall(r"^// ?(.*)$", Path(header).read_text(), re.M)[:6])
            if m := re.search(r"number in (\w+), arguments in (\w+, \w+, \w+), result in (\w+)", said):
                headers[os.path.basename(header)] = m.groups()
        self.assertEqual({name: tuple(row) for name, *row in table}, headers)

    def test_one_version_everywhere_it_is_written(self):
        written = {path: re.search(pattern, Path(common.ROOT, path).read_text(encoding="utf-8"), re.M)[1] for
                   path, pattern in (("CMakeLists.txt", r"^project\(exprcalc VERSION (\S+)"),
                                     ("packaging/changelog", r"^exprcalc \((\S+)\)"),
                                     ("man/exprcalc.1", r'^\.TH EXPRCALC 1 \S+ "exprcalc (\S+)"'))}
        self.assertEqual(len(set(written.values())), 1, written)

    def test_strict_mode_matches_the_test_and_the_reason(self):
        for preset, test, reason, allowed in SKIPS:
            with self.subTest(preset=preset, test=test, reason=reason):
                self.assertEqual(common.expected(preset, test, reason), allowed)

    def test_an_unknown_kernel_flavour_fails(self):
        """A flavour no table knows is never taken for a processor with no
        kernel, which may skip."""
        done = subprocess.run([sys.executable, os.path.join(common.ROOT, "tests", "kernel_test.py"), "arm46-16k",
                               "aarch64", os.path.join(BUILD, "exprcalc")], capture_output=True, text=True,
                              env=dict(os.environ, EXPRCALC_STRICT="1", EXPRCALC_BOOTS=""), timeout=60)
        self.assertEqual(done.returncode, 1, done.stdout + done.stderr)
        self.assertIn("no kernel flavour 'arm46-16k'", done.stderr)

    def test_a_native_build_needs_no_emulator(self):
        """The host preset configures on every Debian architecture that a
        toolchain file names, with no qemu installed; where it cannot, for
        want of a compiler alone."""
        arches = sorted({m[1] for f in glob.glob(os.path.join(common.ROOT, "cmake/toolchains/*.cmake"))
                         if (m := re.search(r"^set\(debian_arch (\S+)\)", Path(f).read_text(), re.M))})

        def configure(arch):
            with tempfile.TemporaryDirectory() as scratch:
                return configure_as(arch, scratch)

        with concurrent.futures.ThreadPoolExecutor(2) as pool:
            for arch, (status, reason, said) in zip(arches, pool.map(configure, arches)):
                with self.subTest(arch=arch):
                    self.assertNotIn("qemu", reason)
                    self.assertTrue(status == 0 or reason.startswith("not installed:") or "has no" in reason, said)
        print(f"configured as {len(arches)} architectures: {' '.join(arches)}")

    def test_on_release_remove_keeps_the_lock_of_a_waiting_run(self):
        """--remove, waiting for a run that holds the root, then done: the
        lock file is still the one the waiting run holds."""
        if os.getuid() != 0:
            self.skipTest("on-release.sh would ask sudo for root")
        with tempfile.TemporaryDirectory() as cache:
            roots = Path(cache, "exprcalc", "roots")
            roots.mkdir(parents=True)
            lock = roots / "bookworm.lock"
            with open(lock, "w") as held:
                fcntl.flock(held, fcntl.LOCK_EX)
                removal = subprocess.Popen(["bash", os.path.join(common.ROOT, "scripts", "on-release.sh"),
                                            "--remove", "bookworm"], stdout=subprocess.PIPE,
                                           stderr=subprocess.STDOUT, text=True, env=dict(os.environ, XDG_CACHE_HOME=cache))
                said = removal.stdout.readline()
                if "waiting for the other run" not in said:
                    self.fail(said + removal.stdout.read())
                fcntl.flock(held, fcntl.LOCK_UN)
                self.assertEqual(removal.wait(timeout=60), 0)
                self.assertEqual(os.stat(lock).st_ino, os.fstat(held.fileno()).st_ino)

    def test_on_release_refuses_a_relative_cache(self):
        done = subprocess.run(["bash", os.path.join(common.ROOT, "scripts", "on-release.sh"), "--remove", "bookworm"],
                              capture_output=True, text=True, env=dict(os.environ, XDG_CACHE_HOME="cache"),
                              timeout=60)
        self.assertEqual(done.returncode, 1)
        self.assertIn("XDG_CACHE_HOME is cache", done.stderr)

    def test_lintian_clears_only_what_it_checked(self):
        """One batch with a good package, one that cannot be read and one
        with errors: the batch fails; alone, they are clean, a failure and
        the errors, whatever a lintian configuration would suppress."""
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
            suppressing = os.path.join(scratch, "lintianrc")
            Path(suppressing).write_text("suppress-tags = no-copyright-file\n")
            os.environ["LINTIAN_CFG"] = suppressing
            try:
                self.assertIn("E: broken: no-copyright-file", package_test.lintian(broken + ".deb"))
            finally:
                del os.environ["LINTIAN_CFG"]

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
