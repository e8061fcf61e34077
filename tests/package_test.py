#!/usr/bin/env python3
"""The Debian package: package_test.py BUILD_DIR TRIPLE [EMULATOR ARGS...]

`--lint-once RECORDS BUILD_DIR...` asks lintian of many builds' packages in
few runs and records what it says of each (EXPRCALC_LINTED=RECORDS then has
their tests take the records).
"""
import os
import re
import subprocess
import sys
import tempfile
import time
import unittest
from pathlib import Path

import common
from rows import out

BUILD, TRIPLE, EMULATOR = (sys.argv[1:2] or [""])[0], (sys.argv[2:3] or [""])[0], sys.argv[3:]
# What the package holds, and each file's mode (all root's).
CONTENTS = {"./usr/bin/exprcalc": "-rwxr-xr-x", **{f"./usr/share/{path}": "-rw-r--r--" for path in (
    "doc/exprcalc/changelog.gz", "doc/exprcalc/copyright", "lintian/overrides/exprcalc", "man/man1/exprcalc.1.gz")}}


def output(*command, umask=0o022, **options):
    """What a command prints; it runs under the umask given."""
    return subprocess.run(command, check=True, capture_output=True, text=True,
                          preexec_fn=lambda: os.umask(umask), **options).stdout


def pack(build, umask=0o022, into="package"):
    """Packs a build; gives the package's path."""
    folder = os.path.join(os.path.abspath(build), into)
    output("cpack", "-B", folder, cwd=build, umask=umask)
    return next(os.path.join(folder, f) for f in os.listdir(folder) if f.endswith(".deb"))


def known_to_lintian(arch):
    """lintian tells an architecture's programs by file(1)'s words for them,
    and has no words for some of Debian's ports (mipsn32, say)."""
    table = Path("/usr/share/lintian/data/binaries/arch-regex").read_text()
    return re.search(rf"^{re.escape(arch)}\s", table, re.M) is not None


class LintianFailed(Exception):
    """lintian did not check what it was given."""


def identity(deb):
    """A package's name, version and architecture; None for what is not one."""
    done = subprocess.run(["dpkg-deb", "-f", deb, "Package", "Version", "Architecture"],
                          capture_output=True, text=True)
    return tuple(re.findall(r"^\w+: (\S+)$", done.stdout, re.M)) if done.returncode == 0 else None


def lintian(*debs):
    """lintian's errors and warnings for the packages, judged strictly: status
    0 is clean, 2 counts only with the errors printed, anything else fails,
    as does a package its log does not show it checked (it checks one of a
    name, version and architecture, however many it is given). Its own
    defaults alone: no configuration of the machine's or a user's (which can
    suppress tags or change the profile) is read."""
    done = subprocess.run(["lintian", "--no-cfg", "--profile", "debian", "--debug", *debs],
                          capture_output=True, text=True)
    found = [line for line in done.stdout.splitlines() if line[:2] in ("E:", "W:")]
    checked = re.findall(r"^Base directory for processable: \S*/(\S+?)_(\S+)_(\S+)_binary$", done.stderr, re.M)
    said = f"lintian {' '.join(debs)} ended with status {done.returncode}"
    if done.returncode not in (0, 2) or (done.returncode == 2) != any(line[:2] == "E:" for line in found):
        errors = [line for line in done.stderr.splitlines() if not re.match(r"(Running check|Check |Base) ", line)]
        raise LintianFailed(f"{said}: " + "\n".join(errors[-10:]))
    if unchecked := [deb for deb in debs if identity(deb) not in checked]:
        raise LintianFailed(f"{said}, and did not check {' '.join(unchecked)}")
    if len(debs) == 1 and not known_to_lintian(identity(debs[0])[2]):
        found = [line for line in found if "binary-from-other-architecture" not in line]
    return found


def linted(deb):
    """What lintian says of a package: from the matrix's record of it, or
    asked now."""
    if (record := common.read_record("EXPRCALC_LINTED", deb)) is None:
        return lintian(deb)
    print("lintian asked once with the matrix's other packages")
    if "failed" in record:
        raise LintianFailed(record["failed"])
    return record["found"]


def lint_once(records, builds):
    """Packs each build and asks lintian of the packages in as few runs as
    it can: one architecture each, those lintian knows. A run that finds
    nothing clears all it was given; one that finds something is asked
    again one package at a time, to tell whose it is."""
    runs, alone = [], []
    for build in builds:
        if os.path.exists(os.path.join(build, "CPackConfig.cmake")):
            deb = pack(build)
            arch = identity(deb)[2]
            if not known_to_lintian(arch):
                alone.append({arch: deb})
            elif run := next((run for run in runs if arch not in run), None):
                run[arch] = deb
            else:
                runs.append({arch: deb})

    def asked(*debs):
        try:
            return {"found": lintian(*debs)}
        except LintianFailed as failed:
            return {"failed": str(failed)}

    def one(run):
        debs = list(run.values())
        clean = len(debs) > 1 and asked(*debs) == {"found": []}
        for deb in debs:
            common.write_record(records, deb, {"found": []} if clean else asked(deb))
        return f"lintian: {', '.join(run)}" + ("" if clean or len(debs) == 1 else " (asked again one by one)")

    return common.two_at_a_time(one, runs + alone)


class Package(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.deb, cls.made = pack(BUILD), time.time()

    def test_architecture_and_contents(self):
        arch = (output("dpkg-architecture", f"-t{TRIPLE}", "-qDEB_HOST_ARCH") if TRIPLE
                else output("dpkg", "--print-architecture")).strip()
        self.assertEqual(identity(self.deb)[2], arch)
        listing = [line.split() for line in output("dpkg-deb", "-c", self.deb).splitlines()]
        self.assertEqual({entry[1] for entry in listing}, {"root/root"})
        self.assertEqual({entry[0] for entry in listing if entry[0].startswith("d")}, {"drwxr-xr-x"})
        self.assertEqual({entry[5]: entry[0] for entry in listing if not entry[0].startswith("d")}, CONTENTS)

    def test_lintian_finds_no_error_or_warning(self):
        self.assertEqual(linted(self.deb), [])

    def test_installed_program_runs(self):
        with tempfile.TemporaryDirectory() as root:
            output("dpkg", "-x", self.deb, root)
            program = os.path.join(root, "usr/bin/exprcalc")
            # Stripping only takes away: a strip that rearranged the segments
            # has padded the file before now.
            self.assertLessEqual(os.path.getsize(program), os.path.getsize(os.path.join(BUILD, "exprcalc")))
            if why := common.unrunnable(program, EMULATOR):  # an x32 program, say, on a kernel without x32
                self.skipTest(why)
            done = common.execute([*EMULATOR, program], input=b"3\n", capture_output=True)
        self.assertEqual((done.stdout, done.returncode), (out(625), 0))

    def test_built_again_elsewhere_later_under_another_umask_the_same_bytes(self):
        time.sleep(max(0.0, self.made + 1.1 - time.time()))  # at least a second apart
        cache = dict(re.findall(r"^(\w+):\w+=(.*)$", Path(BUILD, "CMakeCache.txt").read_text(), re.M))
        settings = [f"-D{name}={cache[name]}" for name in
                    ("CMAKE_TOOLCHAIN_FILE", "EXPRCALC_COMPILER", "CMAKE_BUILD_TYPE", "CMAKE_CXX_COMPILER")
                    if name in cache]
        # Beside the first build: the debug information names the sources
        # by the way back to them from the build folder.
        with tempfile.TemporaryDirectory(dir=os.path.dirname(os.path.abspath(BUILD))) as again:
            private = 0o077  # what a careful user may have: nothing for group or others
            output("cmake", "-S", cache["CMAKE_HOME_DIRECTORY"], "-B", again, "-DBUILD_TESTING=OFF", *settings,
                   umask=private)
            output("cmake", "--build", again, umask=private)
            deb = pack(again, umask=private)
            for first, second in ((self.deb, deb), *((os.path.join(BUILD, f), os.path.join(again, f))
                                                     for f in ("exprcalc", "exprcalc.1.gz", "changelog.gz"))):
                self.assertEqual(common.digest(first), common.digest(second), os.path.basename(first))


if __name__ == "__main__":
    if BUILD == "--lint-once":
        sys.exit(not lint_once(sys.argv[2], sys.argv[3:]))
    common.main("package", BUILD, Package, not os.path.exists(os.path.join(BUILD, "CPackConfig.cmake")) and
                f"Debian has no architecture for {TRIPLE}, so there is no package")
