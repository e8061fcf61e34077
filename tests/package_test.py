#!/usr/bin/env python3
"""The Debian package: package_test.py BUILD_DIR TRIPLE [EMULATOR ARGS...]

A GCC -Os preset of a Debian architecture is what the package is built as:
its package, as dpkg-buildpackage makes it from a copy of the sources
(cross-built where the architecture is another, without its tests), holds
the files it should with the modes it should, passes lintian, installs and
runs, carries the preset's own stripped program byte for byte, and is the
same bytes when built again elsewhere, later, under another umask. Every
other preset (Clang's, the -debug ones, those of no Debian architecture)
is installed as `cmake --install --strip` installs it: the program and its
man page, and the program runs.

`--lint-once RECORDS BUILD_DIR...` builds the packages of many builds and
asks lintian of them in few runs, and records what it says of each
(EXPRCALC_LINTED=RECORDS then has their tests take the records).
"""
import os
import re
import shutil
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
INSTALLED = {"bin/exprcalc", "share/man/man1/exprcalc.1.gz"}  # by cmake --install


def output(*command, umask=0o022, **options):
    """What a command prints; it runs under the umask given."""
    return subprocess.run(command, check=True, capture_output=True, text=True,
                          preexec_fn=lambda: os.umask(umask), **options).stdout


def cached(build):
    return dict(re.findall(r"^(\w+):\w+=(.*)$", Path(build, "CMakeCache.txt").read_text(), re.M))


def package_arch(build):
    """The Debian architecture the build is the package's program for, or
    None: a build with GCC at -Os whose toolchain file names one."""
    cache = cached(build)
    if cache.get("EXPRCALC_COMPILER") == "clang" or cache.get("CMAKE_BUILD_TYPE") != "MinSizeRel":
        return None
    said = output("cmake", "-D", f"toolchain={cache['CMAKE_TOOLCHAIN_FILE']}", "-P",
                  os.path.join(common.ROOT, "cmake", "toolchain-query.cmake")).split()
    return None if said[1] == "-" else said[1]


def make_package(arch, into, umask=0o022):
    """dpkg-buildpackage's package for the architecture, built from a copy
    of the sources in the folder into; gives its path."""
    source = os.path.join(into, "exprcalc")
    shutil.copytree(common.ROOT, source, symlinks=True,
                    ignore=shutil.ignore_patterns("build", ".git", "obj-*", "__pycache__"))
    profiles = "nocheck" if arch == common.host_arch() else "cross,nocheck"
    output("dpkg-buildpackage", "-a", arch, f"-P{profiles}", "-B", "-us", "-uc", cwd=source, umask=umask,
           env=dict(os.environ, DEB_BUILD_OPTIONS="nocheck"))
    return next(str(deb) for deb in Path(into).glob(f"exprcalc_*_{arch}.deb"))


def package(build):
    """The build's package in BUILD/package, made again unless it is newer
    than the build's program."""
    folder = os.path.join(os.path.abspath(build), "package")
    debs = list(Path(folder).glob("*.deb"))
    if debs and debs[0].stat().st_mtime >= os.path.getmtime(os.path.join(build, "exprcalc")):
        return str(debs[0])
    shutil.rmtree(folder, ignore_errors=True)
    os.mkdir(folder)
    return make_package(package_arch(build), folder)


def installed(build, into):
    """The build installed stripped into the folder, as for ~/.local."""
    output("cmake", "--install", build, "--prefix", into, "--strip")
    return os.path.join(into, "bin", "exprcalc")


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
    """What lintian says of the packages that no override answers: errors,
    warnings, and at --pedantic -I its information and pedantic tags too;
    judged strictly: status 0 is clean, 2 counts only with the errors
    printed, anything else fails, as does a package its log does not show
    it checked (it checks one of a name, version and architecture, however
    many it is given). Its own defaults alone: no configuration of the
    machine's or a user's (which can suppress tags or change the profile)
    is read."""
    done = subprocess.run(["lintian", "--no-cfg", "--profile", "debian", "--pedantic", "-I", "--debug", *debs],
                          capture_output=True, text=True)
    found = [line for line in done.stdout.splitlines() if line[:2] in ("E:", "W:", "I:", "P:")]
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
    """Builds each package build's package and asks lintian of the packages
    in as few runs as it can: one architecture each, those lintian knows.
    A run that finds nothing clears all it was given; one that finds
    something is asked again one package at a time, to tell whose it is."""
    debs = []

    def made(build):
        debs.append(package(build))
        return f"packaged: {build}"

    packaged = common.two_at_a_time(made, [build for build in builds if package_arch(build)])
    runs, alone = [], []
    for deb in debs:
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

    return common.two_at_a_time(one, runs + alone) and packaged


class Package(unittest.TestCase):
    """The package of a GCC -Os preset of a Debian architecture."""

    @classmethod
    def setUpClass(cls):
        cls.deb, cls.made = package(BUILD), time.time()

    def test_architecture_and_contents(self):
        arch = (output("dpkg-architecture", f"-t{TRIPLE}", "-qDEB_HOST_ARCH") if TRIPLE
                else output("dpkg", "--print-architecture")).strip()
        self.assertEqual(identity(self.deb)[2], arch)
        listing = [line.split() for line in output("dpkg-deb", "-c", self.deb).splitlines()]
        self.assertEqual({entry[1] for entry in listing}, {"root/root"})
        self.assertEqual({entry[0] for entry in listing if entry[0].startswith("d")}, {"drwxr-xr-x"})
        self.assertEqual({entry[5]: entry[0] for entry in listing if not entry[0].startswith("d")}, CONTENTS)

    def test_lintian_finds_nothing_unanswered(self):
        self.assertEqual(linted(self.deb), [])

    def test_program_is_the_presets_and_runs_installed(self):
        """The package's program is the preset's stripped program, so every
        test of the preset is a test of the package's."""
        with tempfile.TemporaryDirectory() as root, tempfile.TemporaryDirectory() as prefix:
            output("dpkg", "-x", self.deb, root)
            program = os.path.join(root, "usr/bin/exprcalc")
            self.assertEqual(common.digest(program), common.digest(installed(BUILD, prefix)))
            if why := common.unrunnable(program, EMULATOR):  # an x32 program, say, on a kernel without x32
                self.skipTest(why)
            done = common.execute([*EMULATOR, program], input=b"3\n", capture_output=True)
        self.assertEqual((done.stdout, done.returncode), (out(625), 0))

    def test_built_again_elsewhere_later_under_another_umask_the_same_bytes(self):
        time.sleep(max(0.0, self.made + 1.1 - time.time()))  # at least a second apart
        with tempfile.TemporaryDirectory() as again:
            private = 0o077  # what a careful user may have: nothing for group or others
            deb = make_package(identity(self.deb)[2], again, umask=private)
            self.assertEqual(common.digest(deb), common.digest(self.deb))


class Installed(unittest.TestCase):
    """Every other preset: what `cmake --install --strip` installs."""

    def test_installed_program_runs(self):
        with tempfile.TemporaryDirectory() as prefix:
            program = installed(BUILD, prefix)
            files = {str(path.relative_to(prefix)) for path in Path(prefix).rglob("*") if path.is_file()}
            self.assertEqual(files, INSTALLED)
            # Stripping only takes away: a strip that rearranged the segments
            # has padded the file before now.
            self.assertLessEqual(os.path.getsize(program), os.path.getsize(os.path.join(BUILD, "exprcalc")))
            if why := common.unrunnable(program, EMULATOR):
                self.skipTest(why)
            done = common.execute([*EMULATOR, program], input=b"3\n", capture_output=True)
        self.assertEqual((done.stdout, done.returncode), (out(625), 0))


if __name__ == "__main__":
    if BUILD == "--lint-once":
        sys.exit(not lint_once(sys.argv[2], sys.argv[3:]))
    common.main("package", BUILD, Package if package_arch(BUILD) else Installed)
