#!/usr/bin/env python3
"""What runs around the program, where it could pass for green without
having checked anything: scripts_test.py BUILD_DIR (a native build)."""
import concurrent.futures
import fcntl
import glob
import json
import os
import re
import shlex
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


def configure_as(arch, scratch, env=None, hidden=()):
    """README's first command's configure step, as on a machine of another
    Debian architecture: dpkg answers its name, and no qemu is installed
    (nor the programs hidden); env, more of the environment."""
    bin_folder = os.path.join(scratch, "bin")
    os.mkdir(bin_folder)
    for program in glob.glob("/usr/bin/*"):
        if not os.path.basename(program).startswith("qemu-") and os.path.basename(program) not in hidden:
            os.symlink(program, os.path.join(bin_folder, os.path.basename(program)))
    os.remove(os.path.join(bin_folder, "dpkg"))
    Path(bin_folder, "dpkg").write_text(f"#!/bin/sh\necho {arch}\n")
    os.chmod(os.path.join(bin_folder, "dpkg"), 0o755)
    build = os.path.join(scratch, "build")
    # CMake finds programs in PATH alone, not in /usr/bin besides.
    done = subprocess.run([shutil.which("cmake"), "--preset", "host", "-B", build, "-DBUILD_TESTING=OFF",
                           "-DCMAKE_FIND_USE_CMAKE_SYSTEM_PATH=OFF"], cwd=common.ROOT, capture_output=True,
                          text=True, env=dict(os.environ, PATH=bin_folder, **(env or {})), timeout=120)
    reason = Path(build, "cannot-build").read_text().strip() if os.path.exists(Path(build, "cannot-build")) else ""
    return done.returncode, reason, done.stdout + done.stderr


def toolchains():
    """Each processor's Debian architecture, or -, as the toolchain files say."""
    done = subprocess.run(["cmake", "-P", os.path.join(common.ROOT, "cmake", "toolchain-query.cmake")],
                          capture_output=True, text=True, check=True)
    return {fields[0]: fields[1] for fields in map(str.split, done.stdout.splitlines())}


def guide_block(text, first):
    """The lines of the guide's code block that starts with the line first."""
    block = text.split(f"```\n{first}\n", 1)[1].split("```", 1)[0]
    return block.splitlines()


def readelf(*arguments):
    return subprocess.run(["readelf", "-W", *arguments], capture_output=True, text=True, check=True).stdout


def explained(program):
    """Why this build is not the one docs/elf.md and the pictures explain
    (the x86-64 program that GCC 12 builds), or None if it is."""
    machine = re.search(r"Machine:\s+(.*)", readelf("-h", program))[1]
    command = json.loads(Path(BUILD, "compile_commands.json").read_text())[0]["command"]
    version = subprocess.run([shlex.split(command)[0], "-dumpversion"], capture_output=True, text=True).stdout
    if (machine, version.strip()) != ("Advanced Micro Devices X86-64", "12"):
        return f"docs/elf.md explains the x86-64 program of GCC 12; this is {machine}'s of GCC {version.strip()}"
    return None


def installed(scratch):
    """The program as it is installed, stripped."""
    subprocess.run(["cmake", "--install", BUILD, "--prefix", scratch, "--strip"], check=True, capture_output=True)
    return os.path.join(scratch, "bin", "exprcalc")


def file_table(program):
    """What docs/elf.md's table must say of the stripped program, as
    readelf reads it: (part, what) -> (offset, size, value, or None where
    readelf has no word for it)."""
    data, header = Path(program).read_bytes(), readelf("-h", program)
    field = lambda label: re.search(rf"^\s*{label}:\s+(\S+)", header, re.M)[1]  # noqa: E731
    rows = {("ELF header", name): (None, None, field(label)) for name, label in (
        ("e_entry", "Entry point address"), ("e_phoff", "Start of program headers"),
        ("e_shoff", "Start of section headers"), ("e_ehsize", "Size of this header"),
        ("e_phentsize", "Size of program headers"), ("e_phnum", "Number of program headers"),
        ("e_shentsize", "Size of section headers"), ("e_shnum", "Number of section headers"),
        ("e_shstrndx", "Section header string table index"))}
    phoff, phsize, shoff, shsize = (int(field(label)) for label in (
        "Start of program headers", "Size of program headers", "Start of section headers", "Size of section headers"))
    segments = re.findall(r"^\s+([A-Z_]+)\s+0x(\w+) 0x(\w+) 0x\w+ 0x(\w+) 0x(\w+) (.{3}) 0x(\w+)$",
                          readelf("-l", program), re.M)
    for i, (kind, offset, vaddr, filesz, memsz, flags, align) in enumerate(segments):
        o, v, f, m, a = (int(n, 16) for n in (offset, vaddr, filesz, memsz, align))
        value = (f"{flags.replace(' ', '')}: file 0x{o:x}+{f} at 0x{v:x}, {m} bytes in memory, align 0x{a:x}"
                 if kind == "LOAD" else flags.strip())
        rows[(f"program header {i}", kind)] = (phoff + i * phsize, phsize, value)
    sections = re.findall(r"^\s+\[\s*(\d+)\] (\S*)\s+([A-Z]+)\s+(\w+) (\w+) (\w+)", readelf("-S", program), re.M)
    place = {}
    for index, name, kind, address, offset, size in sections:
        rows[(f"section header {index}", name or "(none)")] = (shoff + int(index) * shsize, shsize, kind)
        place[name] = (int(address, 16), int(offset, 16), int(size, 16))
        if kind != "NOBITS" and name not in ("", ".text", ".rodata"):
            rows[(name, "the whole section")] = (int(offset, 16), int(size, 16), None)
    address, offset, size = place[".text"]
    symbols = [line.split(None, 7) for line in readelf("-s", os.path.join(BUILD, "exprcalc")).splitlines()]
    functions = sorted((int(f[1], 16), int(f[2]), f[7]) for f in symbols if len(f) == 8 and f[3] == "FUNC")
    names = subprocess.run(["c++filt", "-p"], input="\n".join(f[2] for f in functions), capture_output=True,
                           text=True, check=True).stdout.splitlines()
    for i, ((value, length, _), name) in enumerate(zip(functions, names)):
        end = value + length if length else (functions[i + 1][0] if i + 1 < len(functions) else address + size)
        rows[(".text", f"`{name}`")] = (offset + value - address, end - value, "code")
    source = Path(common.ROOT, "src/program/exprcalc.cpp").read_text(encoding="utf-8")
    for name, text in re.findall(r'constexpr const char\* (\w+) = "(.*)";', source):
        rows[(".rodata", f"`{name}`")] = (data.index(text.encode() + b"\0"), len(text.encode()) + 1, None)
    return rows, len(data)


class Scripts(unittest.TestCase):
    def test_the_file_guide_accounts_for_every_byte_as_readelf_reads_it(self):
        """docs/elf.md: its rows follow one another from the first byte of
        the stripped program to the last, and every offset, size and value
        that readelf reads of the build is the guide's."""
        with tempfile.TemporaryDirectory() as scratch:
            program = installed(scratch)
            if why := explained(program):
                self.skipTest(why)
            expected, size = file_table(program)
        guide = Path(common.ROOT, "docs", "elf.md").read_text(encoding="utf-8")
        rows = re.findall(r"^\| 0x([0-9a-f]+) \| (\d+) \| ([^|]+?) \| ([^|]+?) \| ([^|]*?) \| [^|]* \|$", guide, re.M)
        at = 0
        for offset, length, part, what, value in rows:
            with self.subTest(row=f"{part}: {what}"):
                self.assertEqual(int(offset, 16), at, "the row before it ends elsewhere")
                at = int(offset, 16) + int(length)
                for want, have in zip(expected.pop((part, what), ()), (int(offset, 16), int(length), value)):
                    if want is not None:
                        self.assertEqual(have, want)
        self.assertEqual(at, size, "the rows do not end at the file's end")
        self.assertEqual([key for key in expected if key[0] != "ELF header"], [], "parts the guide does not show")

    def test_the_pictures_are_the_builds(self):
        """docs/memory.svg and docs/run.svg, remade from this build and a
        run of it, are the same bytes."""
        with tempfile.TemporaryDirectory() as scratch:
            if why := explained(installed(scratch)):
                self.skipTest(why)
            subprocess.run([sys.executable, os.path.join(common.ROOT, "scripts", "show.py"), "pictures", scratch,
                            "--build", BUILD], check=True, capture_output=True, timeout=120)
            for name in ("memory.svg", "run.svg"):
                with self.subTest(picture=name):
                    self.assertEqual(Path(scratch, name).read_text(encoding="utf-8"),
                                     Path(common.ROOT, "docs", name).read_text(encoding="utf-8"))

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
        numbered = re.findall(r"^\| `(\w+)` \| [^|]* \| (?:0x[0-9a-f]+|\d+) \|", guide, re.M)
        self.assertEqual(sorted(numbered), sorted(toolchains()))  # a row each; the trace test checks it

    def test_one_version_everywhere_it_is_written(self):
        written = {path: re.search(pattern, Path(common.ROOT, path).read_text(encoding="utf-8"), re.M)[1] for
                   path, pattern in (("CMakeLists.txt", r"^project\(exprcalc VERSION (\S+)"),
                                     ("debian/changelog", r"^exprcalc \((\S+)\)"),
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
        toolchain file names (and the package is for those), with no qemu
        installed; where it cannot, for want of a compiler alone."""
        arches = sorted({arch for arch in toolchains().values() if arch != "-"})
        control = Path(common.ROOT, "debian", "control").read_text()
        self.assertEqual(re.search(r"^Architecture: (.*)$", control, re.M)[1].split(), arches, "debian/control")

        def configure(arch):
            with tempfile.TemporaryDirectory() as scratch:
                return configure_as(arch, scratch)

        with concurrent.futures.ThreadPoolExecutor(2) as pool:
            for arch, (status, reason, said) in zip(arches, pool.map(configure, arches)):
                with self.subTest(arch=arch):
                    self.assertNotIn("qemu", reason)
                    self.assertTrue(status == 0 or reason.startswith("not installed:") or "has no" in reason, said)
        print(f"configured as {len(arches)} architectures: {' '.join(arches)}")

    def test_a_package_build_configures_for_its_host(self):
        """As dpkg-buildpackage -a ARCH -Pcross,nocheck configures it on an
        amd64 machine: that architecture's compiler and no emulator; an
        unknown architecture, or a compiler not installed, stops it with
        what to do."""
        known = " ".join(sorted({arch for arch in toolchains().values() if arch != "-"}))
        for host, hidden, status, expected in (
                ("arm64", (), 0, "Check for working CXX compiler: /usr/bin/aarch64-linux-gnu-g++"),
                ("arm46", (), 1, f"No toolchain file is for the Debian architecture arm46; these are: {known}"),
                ("arm64", ("aarch64-linux-gnu-g++",), 1,
                 "not installed: aarch64-linux-gnu-g++ (Debian's packages: g++-aarch64-linux-gnu)")):
            with self.subTest(host=host, hidden=hidden), tempfile.TemporaryDirectory() as scratch:
                done, _, said = configure_as("amd64", scratch, hidden=hidden,
                                             env={"DEB_HOST_ARCH": host, "DEB_BUILD_ARCH": "amd64"})
                self.assertEqual(done, status, said)
                self.assertIn(expected, " ".join(said.replace(f"{scratch}/bin", "/usr/bin").split()))

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
        good = package_test.package(BUILD)
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
