#!/usr/bin/env python3
"""The Debian package: package_test.py BUILD_DIR TRIPLE [EMULATOR ARGS...]

Packs the build in BUILD_DIR with cpack, checks what Debian's tools say of
the package, installs it into a scratch root and runs it there, and builds
and packs the same source again elsewhere to compare the bytes. TRIPLE is
the target's GNU triple, or empty for the machine's own.

lintian takes seconds to start and little more for each package it is given,
so a whole matrix of builds asks it once for many packages:
    package_test.py --lint-once RECORDS BUILD_DIR...
packs each build and keeps what lintian says of each package in RECORDS;
the tests, run later with EXPRCALC_LINTED=RECORDS, take the record of the
package they pack, where there is one (the bytes are the same), and ask
lintian themselves where not.
"""
import concurrent.futures
import hashlib
import json
import os
import re
import subprocess
import sys
import tempfile
import time
import unittest

BUILD, TRIPLE, EMULATOR = sys.argv[1], (sys.argv[2:3] or [""])[0], sys.argv[3:]
# What the package holds: path, mode and owner.
CONTENTS = {
    "./usr/bin/exprcalc": "-rwxr-xr-x",
    "./usr/share/doc/exprcalc/changelog.gz": "-rw-r--r--",
    "./usr/share/doc/exprcalc/copyright": "-rw-r--r--",
    "./usr/share/lintian/overrides/exprcalc": "-rw-r--r--",
    "./usr/share/man/man1/exprcalc.1.gz": "-rw-r--r--",
}


def output(*command, umask=0o022, **options):
    """What a command prints; it runs under the umask given."""
    return subprocess.run(command, check=True, capture_output=True, text=True,
                          preexec_fn=lambda: os.umask(umask), **options).stdout


def digest(path):
    with open(path, "rb") as file:
        return hashlib.sha256(file.read()).hexdigest()


def pack(build, umask=0o022):
    """Packs a build; gives the package's path and the time it was made."""
    folder = os.path.join(os.path.abspath(build), "package")
    output("cpack", "-B", folder, cwd=build, umask=umask)
    return next(os.path.join(folder, f) for f in os.listdir(folder) if f.endswith(".deb")), time.time()


def architecture(deb):
    return output("dpkg-deb", "-f", deb, "Architecture").strip()


def known_to_lintian(arch):
    """lintian tells an architecture's programs by file(1)'s words for them,
    and has no words for some of Debian's ports (mipsn32, say)."""
    with open("/usr/share/lintian/data/binaries/arch-regex") as table:
        return re.search(rf"^{re.escape(arch)}\s", table.read(), re.M) is not None


def lintian(*debs):
    """lintian's errors and warnings. It checks one package of a name,
    version and architecture, however many it is given."""
    done = subprocess.run(["lintian", *debs], capture_output=True, text=True)
    if done.returncode == 1:  # lintian could not check them (2: it found errors)
        raise RuntimeError(f"lintian {' '.join(debs)}: {done.stderr.strip()}")
    found = [line for line in done.stdout.splitlines() if line[:2] in ("E:", "W:")]
    if len(debs) == 1 and not known_to_lintian(architecture(debs[0])):
        found = [line for line in found if "binary-from-other-architecture" not in line]
    return found


def record_path(records, deb):
    return os.path.join(records, digest(deb) + ".json")


def linted(deb):
    """What lintian says of a package: from the matrix's record of it, or
    asked now."""
    if records := os.environ.get("EXPRCALC_LINTED"):
        try:
            with open(record_path(records, deb)) as file:
                print("lintian asked once with the matrix's other packages")
                return json.load(file)
        except FileNotFoundError:
            pass
    return lintian(deb)


def lint_once(records, builds):
    """Packs each build and asks lintian of the packages in as few runs as
    it can: one architecture each, those lintian knows. A run that finds
    nothing clears all it was given; one that finds something is asked
    again one package at a time, to tell whose it is."""
    os.makedirs(records, exist_ok=True)
    runs, alone = [], []
    for build in builds:
        if os.path.exists(os.path.join(build, "CPackConfig.cmake")):
            deb, _ = pack(build)
            arch = architecture(deb)
            if not known_to_lintian(arch):
                alone.append({arch: deb})
            elif run := next((run for run in runs if arch not in run), None):
                run[arch] = deb
            else:
                runs.append({arch: deb})

    def one(run):
        debs = list(run.values())
        clean = len(debs) > 1 and not lintian(*debs)
        for deb in debs:
            with open(record_path(records, deb), "w") as file:
                json.dump([] if clean else lintian(deb), file)
        return f"lintian: {', '.join(run)}" + ("" if clean or len(debs) == 1 else " (asked again one by one)")

    with concurrent.futures.ThreadPoolExecutor(2) as pool:
        for done in pool.map(one, runs + alone):
            print(done, flush=True)


class Package(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.deb, cls.made = pack(BUILD)

    def test_architecture_and_contents(self):
        arch = (output("dpkg-architecture", f"-t{TRIPLE}", "-qDEB_HOST_ARCH") if TRIPLE
                else output("dpkg", "--print-architecture")).strip()
        self.assertEqual(architecture(self.deb), arch)
        listing = [line.split() for line in output("dpkg-deb", "-c", self.deb).splitlines()]
        self.assertEqual({entry[1] for entry in listing}, {"root/root"})
        self.assertEqual({entry[0] for entry in listing if entry[0].startswith("d")}, {"drwxr-xr-x"})
        self.assertEqual({entry[5]: entry[0] for entry in listing if not entry[0].startswith("d")},
                         CONTENTS)

    def test_lintian_finds_no_error_or_warning(self):
        self.assertEqual(linted(self.deb), [])

    def test_installed_program_runs(self):
        with tempfile.TemporaryDirectory() as root:
            output("dpkg", "-x", self.deb, root)
            program = os.path.join(root, "usr/bin/exprcalc")
            # Stripping only takes away: a strip that rearranged the segments
            # has padded the file before now.
            self.assertLessEqual(os.path.getsize(program), os.path.getsize(os.path.join(BUILD, "exprcalc")))
            try:
                done = subprocess.run([*EMULATOR, program], input="3\n".encode(), capture_output=True, timeout=10)
            except OSError as error:  # an x32 program, say, on a kernel without x32
                self.skipTest(f"this machine cannot run it: {error.strerror}")
        self.assertEqual((done.stdout.decode(), done.returncode),
                         ("Вычисление выражения: y = (10x - 5)^2\nВведите значение x: Результат: 625\n", 0))

    def test_built_again_elsewhere_later_under_another_umask_the_same_bytes(self):
        time.sleep(max(0.0, self.made + 1.1 - time.time()))  # at least a second apart
        with open(os.path.join(BUILD, "CMakeCache.txt")) as file:
            cache = dict(re.findall(r"^(\w+):\w+=(.*)$", file.read(), re.M))
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
            deb, _ = pack(again, umask=private)
            for first, second in ((self.deb, deb), *((os.path.join(BUILD, f), os.path.join(again, f))
                                                     for f in ("exprcalc", "exprcalc.1.gz", "changelog.gz"))):
                self.assertEqual(digest(first), digest(second), os.path.basename(first))


if __name__ == "__main__":
    if BUILD == "--lint-once":
        lint_once(sys.argv[2], sys.argv[3:])
        sys.exit(0)
    if not os.path.exists(os.path.join(BUILD, "CPackConfig.cmake")):
        print(f"skipped: Debian has no architecture for {TRIPLE}, so there is no package")
        sys.exit(77)
    suite = unittest.TestLoader().loadTestsFromTestCase(Package)
    sys.exit(not unittest.TextTestRunner(verbosity=2).run(suite).wasSuccessful())
