#!/usr/bin/env python3
"""exprcalc on a real Linux kernel: kernel_test.py KERNEL ABI PROGRAM

Boots KERNEL, one of Debian's own kernel flavours (see KERNELS), under
qemu-system, with an initramfs written here: Debian's busybox-static as the
shell, the program (built for ABI: a Debian architecture, or a triple where
Debian has none), its inputs, and an /init that runs every row of the table
a shell can set up and powers off.

A boot takes far longer than the rows, so a whole matrix of builds boots each
kernel once, with every program that runs on it:
    kernel_test.py --boot-once RECORDS BUILD_DIR...
boots each kernel that the builds' kernel tests name, and keeps what the
guest printed for each program in RECORDS; the tests, run later with
EXPRCALC_BOOTS=RECORDS, judge their program by its record where it has one,
and boot on their own where not. For each row the guest prints the exit
status, a checksum of the output and the calls that the kernel's own
syscall tracepoints saw the program make, so no emulator or tracer stands
between the program and the kernel. A 32-bit program on a 64-bit kernel
goes through its compat layer, and is traced all the same.

The kernel and busybox come from Debian's archive through apt, with a
configuration of our own made from the machine's sources (only the suite and
the architecture change), and are kept under ~/.cache/exprcalc. Without the
emulator, or without the archive and nothing in the cache, the test is
skipped, and says why; so is a KERNEL of "none".
"""
import concurrent.futures
import contextlib
import errno
import fcntl
import glob
import gzip
import hashlib
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import unittest
from typing import NamedTuple

from rows import LONG_LINE, ROWS, model, trace

SKIP = 77  # CTest's SKIP_RETURN_CODE for this test


class Kernel(NamedTuple):
    suite: str  # Debian's suite that has it
    arch: str  # its Debian architecture, and busybox's
    qemu: list  # the emulator and its machine
    console: str  # the kernel's console device, or "" for its default
    options: str = ""  # more for its command line
    files: str = "./boot/*"  # where in its package the kernel image is
    firmware: str = ""  # what qemu loads it with, where not its own
    memory: str = "512"  # MiB


KERNELS = {
    # x32 is built in, but off unless asked for.
    "amd64": Kernel("bookworm", "amd64", ["qemu-system-x86_64", "-cpu", "max"], "ttyS0", "syscall.x32=y"),
    "686": Kernel("bookworm", "i386", ["qemu-system-i386", "-cpu", "max"], "ttyS0"),
    "arm64": Kernel("bookworm", "arm64", ["qemu-system-aarch64", "-M", "virt", "-cpu", "cortex-a57"], "ttyAMA0"),
    # 16 KiB pages; 32-bit ARM programs run on it through the compat layer.
    "arm64-16k": Kernel("trixie", "arm64", ["qemu-system-aarch64", "-M", "virt", "-cpu", "max"], "ttyAMA0"),
    "armmp-lpae": Kernel("bookworm", "armhf", ["qemu-system-arm", "-M", "virt", "-cpu", "cortex-a15"], "ttyAMA0"),
    "4kc-malta": Kernel("bookworm", "mipsel", ["qemu-system-mipsel", "-M", "malta"], "ttyS0"),
    "5kc-malta": Kernel("bookworm", "mips64el", ["qemu-system-mips64el", "-M", "malta", "-cpu", "5KEf"], "ttyS0"),
    "powerpc64le": Kernel("bookworm", "ppc64el", ["qemu-system-ppc64", "-M", "pseries", "-cpu", "power9"], "hvc0"),
    "s390x": Kernel("bookworm", "s390x", ["qemu-system-s390x", "-M", "s390-ccw-virtio"], ""),
    # riscv64 is a release architecture from Debian 13 on.
    "riscv64": Kernel("trixie", "riscv64", ["qemu-system-riscv64", "-M", "virt"], "ttyS0"),
    # loong64, from Debian 14 on: an EFI image, started by Debian's firmware
    # for qemu, and kept outside /boot.
    "loong64": Kernel("forky", "loong64", ["qemu-system-loongarch64", "-M", "virt"], "ttyS0",
                      files="./usr/lib/modules/*/vmlinuz", firmware="/usr/share/qemu-efi-loongarch64/QEMU_EFI.fd",
                      memory="1024"),
}
BOOT_LIMIT = 600  # seconds for a boot; it takes from 2 to 60 under emulation
ROWS_LIMIT = 120  # and for the table, per program; it takes a few seconds
CACHE = os.path.join(os.environ.get("XDG_CACHE_HOME") or os.path.expanduser("~/.cache"), "exprcalc")


class Unavailable(Exception):
    """What the test needs and this machine cannot give: a reason to skip."""


# Fetching: Debian's packages, through apt with a configuration of our own.

# Debian's releases by name, oldest first, from Debian 11 on.
RELEASES = ["bullseye", "bookworm", "trixie", "forky", "duke", "sid"]


def debian_sources(suite):
    """The machine's own sources of a Debian release's packages (whichever
    release it runs), in either of apt's formats, turned to another suite:
    {file name: text}."""
    named = r"\b(" + "|".join(RELEASES) + r")\b"
    sources = {}
    for path in ["/etc/apt/sources.list", *glob.glob("/etc/apt/sources.list.d/*.list"),
                 *glob.glob("/etc/apt/sources.list.d/*.sources")]:
        with contextlib.suppress(OSError), open(path) as file:
            if path.endswith(".sources"):  # stanzas apart by empty lines
                kept = [s for s in re.split(r"\n\s*\n", file.read()) if re.search(rf"^Suites:.*{named}", s, re.M)]
            else:
                kept = [line for line in file if re.match(rf"deb\s.*\s{named}\S*\s", line)]
            if kept:
                sources[os.path.basename(path)] = re.sub(named, suite, "\n\n".join(kept) + "\n")
    if not sources:
        raise Unavailable(f"the machine's apt sources name none of Debian's releases ({', '.join(RELEASES)}) "
                          "to start from")
    return sources


def apt(suite, arch, *command, cwd=None):
    """Runs apt-get or apt-cache for one suite and architecture of Debian's
    archive, with sources, state and cache of our own: the machine's own apt
    set-up, its architectures and its installed packages play no part."""
    root = os.path.join(CACHE, "apt", f"{suite}-{arch}")
    for folder in ("etc/preferences.d", "etc/sources.list.d", "state/lists/partial", "cache/archives/partial"):
        os.makedirs(os.path.join(root, folder), exist_ok=True)
    open(os.path.join(root, "status"), "a").close()
    for name, text in debian_sources(suite).items():
        with open(os.path.join(root, "etc/sources.list.d", name), "w") as ours:
            ours.write(text)
    # The machine's own keys, where its sources name no keyring (Signed-By).
    options = {"Dir::Etc": "etc", "Dir::Etc::TrustedParts": "/etc/apt/trusted.gpg.d",
               "Dir::State": "state", "Dir::State::status": "status", "Dir::Cache": "cache",
               "APT::Architecture": arch, "APT::Architectures": arch, "APT::Sandbox::User": "root",
               # Signatures are checked, but not the date a suite's Release
               # runs out: testing's is a week, and a mirror that lags past it
               # still serves signed packages.
               "Acquire::Check-Valid-Until": "false",
               "Debug::NoLocking": "1"}
    settings = [f"-o{name}={os.path.join(root, value) if name.startswith('Dir') else value}"
                for name, value in options.items()]
    done = subprocess.run([command[0], *settings, *command[1:]], cwd=cwd, capture_output=True, text=True)
    if done.returncode:
        raise Unavailable(f"{' '.join(command)}: {done.stderr.strip()[-300:]}")
    return done.stdout


def download(suite, arch, package, wanted, into):
    """Extracts the files matching `wanted` from a package into the folder
    `into`; apt's lists are already up to date. A kernel's metapackage leads
    to the versioned image package, which from Debian 14 on leads in turn to
    linux-binary-VERSION, the one with the kernel in it."""
    while package.startswith("linux-"):
        depends = apt(suite, arch, "apt-cache", "depends", "--no-recommends", "--no-suggests", package)
        if not (then := re.search(r"Depends: (linux-(?:image|binary)-\d\S*)", depends)):
            break
        package = then[1]
    with tempfile.TemporaryDirectory(dir=CACHE) as scratch:
        apt(suite, arch, "apt-get", "-q", "download", package, cwd=scratch)
        deb = os.path.join(scratch, os.listdir(scratch)[0])
        unpacked = os.path.join(scratch, "unpacked")
        os.mkdir(unpacked)
        subprocess.run(["sh", "-c", 'dpkg-deb --fsys-tarfile "$1" | tar -x -C "$2" --wildcards "$3"',
                        "sh", deb, unpacked, wanted], check=True)
        os.makedirs(into, exist_ok=True)
        for folder, _, files in os.walk(unpacked):
            for name in files:
                shutil.move(os.path.join(folder, name), os.path.join(into, name))


@contextlib.contextmanager
def locked(name):
    """One test at a time fetches a given thing; the others wait, then find it."""
    os.makedirs(CACHE, exist_ok=True)
    with open(os.path.join(CACHE, f"{name}.lock"), "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        yield


def fetched(flavour):
    """The kernel image and busybox for a flavour, from the cache, or fetched
    into it first."""
    kernel = KERNELS[flavour]
    folder = os.path.join(CACHE, "kernels", flavour)
    shell = os.path.join(CACHE, "busybox", f"{kernel.suite}-{kernel.arch}")
    with locked(f"{kernel.suite}-{kernel.arch}"):
        wanted = [(package, files, into) for package, files, into, there in (
            ("busybox-static", "*/bin/busybox", shell, os.path.exists(os.path.join(shell, "busybox"))),
            (f"linux-image-{flavour}", kernel.files, folder + ".new", os.path.isdir(folder))) if not there]
        try:
            if wanted:
                apt(kernel.suite, kernel.arch, "apt-get", "-q", "update")
            for package, files, into in wanted:
                download(kernel.suite, kernel.arch, package, files, into)
        except Unavailable as reason:
            raise Unavailable(f"cannot fetch from Debian's archive ({kernel.suite}, {kernel.arch}): {reason}") from None
        if os.path.isdir(folder + ".new"):
            os.rename(folder + ".new", folder)
    image = next(os.path.join(folder, f) for f in sorted(os.listdir(folder)) if f.startswith("vmlinu"))
    return image, os.path.join(shell, "busybox")


# The guest: an initramfs in the kernel's "newc" cpio format.

def cpio(entries):
    """The archive of entries (path, mode, bytes, device); written here, so
    that making device nodes needs no root."""
    archive = bytearray()
    for number, (path, mode, data, device) in enumerate([*entries, ("TRAILER!!!", 0, b"", (0, 0))], 1):
        name = path.encode() + b"\0"
        fields = (number, mode, 0, 0, 1, 0, len(data), 0, 0, *device, len(name), 0)
        for part in (b"070701" + b"".join(b"%08X" % field for field in fields) + name, data):
            archive += part + b"\0" * (-(len(archive) + len(part)) % 4)  # each padded to 4 bytes
    return bytes(archive)


def guest_init(programs, rows):
    """/init: runs each row with the kernel tracing every system call, prints
    what each gave and the calls the program made, then powers off.

    The raw_syscalls tracepoints see every call by its number, as the program
    made it. The per-call events (events/syscalls) would name them, but they
    miss calls a 64-bit kernel takes through its compat layer, and on a
    mips64el kernel they see no read, write or exit of a 64-bit program at
    all: they look calls up by number in a table that each function's last
    number claims, and the n32 ABI's numbers come last."""
    runs = "".join(f"run {p}.{n} '{command.format(program=f'/{p}/exprcalc', input=f'/in/{n}')}'\n"
                   for p in range(programs) for n, (_, command, *_) in enumerate(rows))
    return f"""#!/bin/sh
/bin/busybox --install -s /bin
mount -t proc proc /proc
mount -t tracefs tracefs /t && cd /t || echo '@@ no tracefs'
echo 1 > events/raw_syscalls/enable
echo 0 > tracing_on
run() {{
    echo > trace
    echo 1 > tracing_on
    eval "$2"
    status=$?
    echo 0 > tracing_on
    echo "@@ $1 status $status $(md5sum < /out | cut -c1-32)"
    grep ' exprcalc-[0-9]* ' trace | sed "s/^/@@ $1 trace /"
}}
{runs}echo '@@ end'
poweroff -f
"""


def initramfs(programs, busybox, rows):
    def read(path):
        with open(path, "rb") as file:
            return file.read()

    folder, file, none = 0o40755, 0o100755, (0, 0)
    entries = [("bin", folder, b"", none), ("bin/busybox", file, read(busybox), none),
               ("bin/sh", 0o120777, b"busybox", none), ("dev", folder, b"", none),
               ("dev/console", 0o20600, b"", (5, 1)), ("dev/null", 0o20666, b"", (1, 3)),
               ("dev/full", 0o20666, b"", (1, 7)), ("proc", folder, b"", none), ("t", folder, b"", none),
               ("init", file, guest_init(len(programs), rows).encode(), none), ("in", folder, b"", none)]
    for p, program in enumerate(programs):  # each as /P/exprcalc: the name the trace looks for
        entries += [(f"{p}", folder, b"", none), (f"{p}/exprcalc", file, read(program), none)]
    entries += [(f"in/{n}", 0o100644, given, (0, 0)) for n, (given, *_) in enumerate(rows)]
    return cpio(entries)


def boot(flavour, programs):
    """Boots the kernel on the guest with the programs; gives the lines the
    guest printed for each, as if it had run that one alone."""
    kernel = KERNELS[flavour]
    if not shutil.which(kernel.qemu[0]):
        raise Unavailable(f"{kernel.qemu[0]} is not installed")
    if kernel.firmware and not os.path.exists(kernel.firmware):
        raise Unavailable(f"{kernel.firmware}, the firmware that starts the kernel, is not installed")
    image, busybox = fetched(flavour)
    limit = BOOT_LIMIT + ROWS_LIMIT * len(programs)
    with tempfile.TemporaryDirectory() as scratch:
        archive = os.path.join(scratch, "initramfs")
        with open(archive, "wb") as file:
            file.write(initramfs(programs, busybox, RUNS))
        if image.endswith(".gz") or open(image, "rb").read(2) == b"\x1f\x8b":
            with gzip.open(image) as packed, open(os.path.join(scratch, "image"), "wb") as unpacked:
                shutil.copyfileobj(packed, unpacked)  # qemu loads some processors' images only unpacked
            image = os.path.join(scratch, "image")
        command_line = " ".join(filter(None, (kernel.console and f"console={kernel.console}", kernel.options,
                                              "quiet panic=-1 rdinit=/init")))
        try:
            done = subprocess.run([*kernel.qemu, *(["-bios", kernel.firmware] if kernel.firmware else []),
                                   "-m", kernel.memory, "-nic", "none", "-nographic", "-no-reboot",
                                   "-kernel", image, "-initrd", archive,
                                   "-append", command_line],
                                  stdin=subprocess.DEVNULL, capture_output=True, timeout=limit)
            console_output = done.stdout
        except subprocess.TimeoutExpired as stopped:
            console_output = (stopped.stdout or b"") + b"\n(stopped after %d s)" % limit
    # The guest's lines start with "@@", wherever the firmware left the cursor.
    lines = [re.sub(r"^.*?(?=@@ )", "", line) for line in console_output.decode(errors="replace").splitlines()]
    # Each program's: its rows' lines, as "@@ ROW ...", among the console's own.
    ours = re.compile(r"^@@ (\d+)\.(?=\d+ )")
    return [[ours.sub("@@ ", line) for line in lines if (m := ours.match(line)) is None or m[1] == str(p)]
            for p in range(len(programs))]


def record_path(records, flavour, program):
    """Where a boot keeps what the guest printed for a program: by its bytes,
    so a record never stands for a program built since."""
    with open(program, "rb") as file:
        return os.path.join(records, flavour, hashlib.sha256(file.read()).hexdigest() + ".json")


def boot_once(records, builds):
    """Boots each kernel that the builds' kernel tests name once, with every
    program those tests would run on it, two kernels at a time, and records
    for each program what its test would judge: the guest's lines, or why
    there are none."""
    wanted = {}  # flavour: [program]
    for build in builds:
        listed = subprocess.run(["ctest", "--test-dir", build, "--show-only=json-v1", "-R", "^kernel-"],
                                capture_output=True, text=True, check=True).stdout
        for test in json.loads(listed)["tests"]:
            flavour, _, program = test["command"][-3:]
            if flavour in KERNELS:
                wanted.setdefault(flavour, []).append(program)

    def one(flavour):
        programs = wanted[flavour]
        started = time.monotonic()
        try:
            results = [{"lines": lines} for lines in boot(flavour, programs)]
        except Unavailable as reason:
            results = [{"skip": str(reason)}] * len(programs)
        os.makedirs(os.path.join(records, flavour), exist_ok=True)
        for program, result in zip(programs, results):
            with open(record_path(records, flavour, program), "w") as file:
                json.dump(result, file)
        return f"{flavour}: {len(programs)} programs, {time.monotonic() - started:.0f} s"

    with concurrent.futures.ThreadPoolExecutor(2) as pool:
        for done in pool.map(one, sorted(wanted, key=lambda f: -len(wanted[f]))):
            print(done, flush=True)


# What the kernel saw.

ENTER = re.compile(r"sys_enter: NR (\d+) \((\w+), \w+, (\w+)")
EXIT = re.compile(r"sys_exit: NR (\d+) = (-?\d+)")

# The numbers of read, write, exit and execve for each Debian architecture's
# programs: the kernel's own tables, not the program's. busybox, built for
# the kernel's architecture, starts the program with its own execve.
NUMBERS = {
    "amd64": (0, 1, 60, 59), "x32": tuple(0x40000000 | n for n in (0, 1, 60, 520)), "arm64": (63, 64, 93, 221), "riscv64": (63, 64, 93, 221),
    "loong64": (63, 64, 93, 221),
    "mipsel": (4003, 4004, 4001, 4011), "mips64el": (5000, 5001, 5058, 5057), "mipsn32el": (6000, 6001, 6058, 6057),
    **dict.fromkeys(("i386", "armhf", "armel", "ppc64el", "s390x"), (3, 4, 1, 11)),
}


def calls(lines, kernel_arch, arch):
    """The calls after the last execve, in the shorthand of rows.py. A call
    to anything else, or with a descriptor or length other than the
    expected, is spelled out. A failed call's result is the negated errno on
    every processor, also where the program is told of failure by a flag
    register (mips, powerpc): raw_syscalls reports what the kernel meant,
    where the per-call events show the errno positive."""
    read, write, exit, execve = NUMBERS[arch]
    # A 64-bit kernel reports the execve that starts a 32-bit program by
    # either ABI's number: the kernel's as it enters, the program's as it
    # leaves.
    execves = {execve, NUMBERS[kernel_arch][3]}
    words, pending = [], None
    for line in lines:
        if m := ENTER.search(line):
            number, fd, count = int(m[1]), int(m[2], 16), int(m[3], 16)
            if number == exit:
                words.append(f"x{fd}")
            else:
                pending = number, fd, count
        elif (m := EXIT.search(line)) and int(m[1]) in execves:
            words, pending = [], None  # the program starts
        elif (m := EXIT.search(line)) and pending:
            number, fd, count = pending
            value = int(m[2])
            taken = errno.errorcode[-value] if -4096 < value < 0 else str(value)
            if number == read and (fd, count) == (0, 80):
                words.append(f"r={taken}")
            elif number == write and fd == 1:
                words.append(f"w{count}" + ("" if value == count else f"={taken}"))
            else:
                words.append(f"call{number}({fd}, {count})={taken}")
            pending = None
    return " ".join(words)


# (input, shell command with {program} and {input} for the paths, expected
# output, exit status and calls): every row of the table that needs no injected fault, and
# the long line whose rest stays for the next reader.
# A run takes milliseconds; one that loops (a failure taken for a partial
# write, say) is killed after 20 seconds and its status tells.
RUN = "timeout -s KILL 20 {program}"
RUNS = [(given or b"", f"{RUN} <{{input}} >/out {redirect}", output, status, calls)
        for given, redirect, inject, output, status, calls in ROWS if not inject]
RUNS.append((LONG_LINE, f"{{{{ {RUN}; cat; }}}} <{{input}} >/out", model(LONG_LINE) + LONG_LINE[80:], 0,
             trace(80, 225)))


class OnKernel(unittest.TestCase):
    flavour, arch, program = sys.argv[1:4]
    lines = []  # what the guest printed

    def test_every_row(self):
        self.assertTrue("@@ end" in self.lines,
                        "the guest did not finish; its console's last lines:\n" + "\n".join(self.lines[-30:]))
        kernel_arch = KERNELS[self.flavour].arch
        for n, (given, command, output, status, calls_expected) in enumerate(RUNS):
            with self.subTest(command=command, input=given):
                reported = [line.split()[3:] for line in self.lines if line.startswith(f"@@ {n} status ")]
                self.assertEqual(reported, [[str(status), hashlib.md5(output).hexdigest()]])
                traced = (line for line in self.lines if line.startswith(f"@@ {n} trace "))
                self.assertEqual(calls(traced, kernel_arch, self.arch), calls_expected)
        print(f"{len(RUNS)} rows on {self.flavour}")


def guest_lines(flavour, program):
    """What the guest printed for the program: from the matrix's one boot of
    this kernel, or from a boot of its own."""
    if records := os.environ.get("EXPRCALC_BOOTS"):
        with contextlib.suppress(FileNotFoundError), open(record_path(records, flavour, program)) as file:
            record = json.load(file)
            if "skip" in record:
                raise Unavailable(record["skip"])
            print(f"booted once with the other programs for {flavour}")
            return record["lines"]
    return boot(flavour, [program])[0]


if __name__ == "__main__":
    if sys.argv[1:2] == ["--boot-once"]:
        boot_once(sys.argv[2], sys.argv[3:])
        sys.exit(0)
    if len(sys.argv) < 4 or sys.argv[1] not in KERNELS:
        print(f"skipped: Debian ships no kernel for {sys.argv[2]} in an archive this machine can reach")
        sys.exit(SKIP)
    try:
        OnKernel.lines = guest_lines(OnKernel.flavour, OnKernel.program)
    except Unavailable as reason:
        print(f"skipped: {reason}")
        sys.exit(SKIP)
    suite = unittest.TestLoader().loadTestsFromTestCase(OnKernel)
    sys.exit(not unittest.TextTestRunner(verbosity=2).run(suite).wasSuccessful())
