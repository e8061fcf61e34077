"""The kernel test's guest: one of Debian's kernels (KERNELS) under
qemu-system, with an initramfs of Debian's busybox-static, the programs, the
inputs and an /init that runs the rows with the kernel tracing the calls.
"""
import gzip
import os
import re
import shutil
import subprocess
import tempfile
from pathlib import Path
from typing import NamedTuple

import archive
from archive import Unavailable


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
    # loong64, from Debian 14 on: an EFI image kept outside /boot (docs/porting.md).
    "loong64": Kernel("forky", "loong64", ["qemu-system-loongarch64", "-M", "virt"], "ttyS0",
                      files="./usr/lib/modules/*/vmlinuz", firmware="/usr/share/qemu-efi-loongarch64/QEMU_EFI.fd",
                      memory="1024"),
}
BOOT_LIMIT = 600  # seconds for a boot; it takes from 2 to 60 under emulation
ROWS_LIMIT = 120  # and for the table, per program; it takes a few seconds


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

    raw_syscalls sees each call by its number, as the program made it. The
    per-call events (events/syscalls) miss the calls a 64-bit kernel takes
    through its compat layer, and all of a mips64el kernel's n64 calls: they
    look numbers up in a table where each function's last number, n32's, wins."""
    runs = "".join(f"run {p}.{n} '" + command.replace("@program@", f"/{p}/exprcalc").replace("@input@", f"/in/{n}")
                   + "'\n" for p in range(programs) for n, (_, command) in enumerate(rows))
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
    folder, file, none = 0o40755, 0o100755, (0, 0)
    entries = [("bin", folder, b"", none), ("bin/busybox", file, Path(busybox).read_bytes(), none),
               ("bin/sh", 0o120777, b"busybox", none), ("dev", folder, b"", none),
               ("dev/console", 0o20600, b"", (5, 1)), ("dev/null", 0o20666, b"", (1, 3)),
               ("dev/full", 0o20666, b"", (1, 7)), ("proc", folder, b"", none), ("t", folder, b"", none),
               ("init", file, guest_init(len(programs), rows).encode(), none), ("in", folder, b"", none)]
    for p, program in enumerate(programs):  # each as /P/exprcalc: the name the trace looks for
        entries += [(f"{p}", folder, b"", none), (f"{p}/exprcalc", file, Path(program).read_bytes(), none)]
    entries += [(f"in/{n}", 0o100644, given, none) for n, (given, _) in enumerate(rows)]
    return cpio(entries)


def boot(flavour, programs, rows):
    """Boots the kernel on the guest with the programs and the rows (the
    input, and the shell command, with @program@ and @input@ for the
    paths); gives the lines the guest printed for each program, as if it had
    run that one alone."""
    kernel = KERNELS[flavour]
    if not shutil.which(kernel.qemu[0]):
        raise Unavailable(f"{kernel.qemu[0]} is not installed")
    if kernel.firmware and not os.path.exists(kernel.firmware):
        raise Unavailable(f"{kernel.firmware}, the firmware that starts the kernel, is not installed")
    folder, shell = archive.fetched(kernel.suite, kernel.arch, flavour, kernel.files)
    image = next(os.path.join(folder, f) for f in sorted(os.listdir(folder)) if f.startswith("vmlinu"))
    limit = BOOT_LIMIT + ROWS_LIMIT * len(programs)
    with tempfile.TemporaryDirectory() as scratch:
        initrd = Path(scratch, "initramfs")
        initrd.write_bytes(initramfs(programs, os.path.join(shell, "busybox"), rows))
        if (packed := Path(image).read_bytes())[:2] == b"\x1f\x8b":  # qemu loads some processors' only unpacked
            image = Path(scratch, "image")
            image.write_bytes(gzip.decompress(packed))
        command_line = " ".join(filter(None, (kernel.console and f"console={kernel.console}", kernel.options,
                                              "quiet panic=-1 rdinit=/init")))
        try:
            console_output = subprocess.run(
                [*kernel.qemu, *(["-bios", kernel.firmware] if kernel.firmware else []), "-m", kernel.memory,
                 "-nic", "none", "-nographic", "-no-reboot", "-kernel", image, "-initrd", initrd,
                 "-append", command_line], stdin=subprocess.DEVNULL, capture_output=True, timeout=limit).stdout
        except subprocess.TimeoutExpired as stopped:
            console_output = (stopped.stdout or b"") + b"\n(stopped after %d s)" % limit
    # The guest's lines start with "@@", wherever the firmware left the cursor.
    lines = [re.sub(r"^.*?(?=@@ )", "", line) for line in console_output.decode(errors="replace").splitlines()]
    # Each program's: its rows' lines, as "@@ ROW ...", among the console's own.
    ours = re.compile(r"^@@ (\d+)\.(?=\d+ )")
    return [[ours.sub("@@ ", line) for line in lines if (m := ours.match(line)) is None or m[1] == str(p)]
            for p in range(len(programs))]
