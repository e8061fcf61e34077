#!/usr/bin/env python3
"""exprcalc end to end: run_test.py GROUP PROGRAM [EMULATOR ARGS...]

Natively strace traces every call, and can make one fail or fall short. Under
an emulator its own -strace log gives the program's calls, and strace makes
the emulator's call fail or fall short (see emulated). The table and its
shorthand for traces are in rows.py.
"""
import errno
import json
import os
import random
import re
import socket
import subprocess
import sys
import tempfile
import unittest

from rows import BANNER, LONG_LINE, ROWS, SESSION, model, out

PROGRAM, EMULATOR = sys.argv[2], sys.argv[3:]
GDB = "gdb-multiarch" if EMULATOR else "gdb"  # gdb-multiarch, on the emulator's gdb stub


def execute(command, **options):
    """subprocess.run, but a run that loops (a failure taken for a success, say)
    is stopped before its output fills the memory: a run takes milliseconds."""
    return subprocess.run(command, timeout=10, **options)


CALL = re.compile(r"(?:\d+ )?(read|write|exit)\((\d+)(?:, ?\S+, ?(\d+))?\)"
                  r"(?: += (-?\d+)(?: errno=(\d+)| (E[A-Z]+))?)?")


def parse(log):
    calls = []
    for line in log.splitlines():
        if "execve(" in line:
            calls = []
        elif m := CALL.match(line):
            name, first, size, result, errno_number, errno_name = m.groups()
            if result is None:  # no result logged: the process ended inside the call
                result = "?"
            elif int(result) < 0:
                result = errno_name or errno.errorcode[int(errno_number)]
            calls.append({"exit": f"x{first}", "read": f"r={result}"}.get(
                name, f"w{size}" + ("" if result == size else f"={result}")))
    return " ".join(calls)


def emulated(command, stdin, inject):
    """Runs the program under its emulator with a fault; gives what run() gives.

    strace, attached to the emulator, makes the emulator's own call fail or
    fall short, and the program sees the fault the way its processor reports
    it. The emulator makes calls of its own too (it reads its libraries and
    writes its log), and strace counts those in when=N; but with input and
    output in files, -P limits strace to the calls on those two files: the
    program's own. qemu hands each fault on as it came, and retries nothing
    itself, so every row expects under emulation what it expects natively.
    """
    with tempfile.NamedTemporaryFile() as given, tempfile.NamedTemporaryFile() as taken:
        given.write(stdin)
        given.flush()
        with open(given.name, "rb") as program_stdin:
            done = execute(["strace", "-f", "-qq", "-o", "/dev/null", "-P", given.name, "-P", taken.name,
                            f"-einject={inject}", *command],
                           stdin=program_stdin, stdout=taken, stderr=subprocess.PIPE)
        taken.seek(0)  # the program wrote through the same file position
        return taken.read(), done.returncode, parse(done.stderr.decode())


def run(stdin=b"", redirect="", inject=None, stdout=subprocess.PIPE):
    """Runs the program once; gives its output, exit status and trace."""
    with tempfile.NamedTemporaryFile() as log:
        command = [*EMULATOR, "-strace", PROGRAM] if EMULATOR else [PROGRAM]
        if redirect:  # sh applies it, then execs: the trace starts at the last execve
            command = ["sh", "-c", f'exec "$@" {redirect}', "sh", *command]
        if EMULATOR and inject:
            return emulated(command, stdin, inject)
        if not EMULATOR:
            command = ["strace", "-qq", "-s0", "-esignal=none", "-o", log.name,
                       *([f"-einject={inject}"] if inject else []), *command]
        done = execute(command, input=stdin, stdout=stdout, stderr=subprocess.PIPE)
        return done.stdout or b"", done.returncode, parse((done.stderr if EMULATOR else log.read()).decode())


class Conformance(unittest.TestCase):
    faults = False

    def test_rows(self):
        for stdin, redirect, inject, output, status, calls in ROWS:
            if bool(inject) == self.faults:
                with self.subTest(stdin=stdin, redirect=redirect, inject=inject):
                    self.assertEqual(run(stdin, redirect, inject), (output, status, calls))


class Faults(Conformance):
    faults = True

    def test_closed_pipe_ends_the_run_by_sigpipe(self):
        reader, writer = os.pipe()
        os.close(reader)
        _, status, calls = run(b"3\n", stdout=writer)
        os.close(writer)
        # The one write fails, and the signal ends the run in it: qemu 7.2
        # logs the write's EPIPE, qemu 10 the call with no result.
        self.assertEqual(status, -13)
        self.assertIn(calls, ("w56=EPIPE", "w56=?"))


class Leftover(unittest.TestCase):
    def test_bytes_after_the_first_80_stay_for_the_next_reader(self):
        done = execute(["sh", "-c", '"$@"; cat', "sh", *EMULATOR, PROGRAM], input=LONG_LINE, capture_output=True)
        self.assertEqual(done.stdout, model(LONG_LINE) + LONG_LINE[80:])


class Random(unittest.TestCase):
    def test_random_lines_match_the_model(self):
        """Each build its own lines, the same each run: a matrix of builds
        tries the source on many more lines than any one build does. An
        emulator takes tens of milliseconds to start, so there a build
        tries fewer."""
        rng = random.Random(f"2026 {os.path.basename(os.path.dirname(os.path.abspath(PROGRAM)))}")
        pieces = [lambda: bytes(rng.choices(b"0123456789", k=rng.randint(1, 12))),
                  lambda: bytes([rng.choice(b"\0\r\n\t -+x")]),
                  lambda: bytes(rng.randrange(0x80, 0x100) for _ in range(rng.randint(1, 3))),
                  lambda: b"0" * rng.randint(60, 90) + b"12345"]
        for _ in range(200 if EMULATOR else 3000):
            line = b"".join(rng.choice(pieces)() for _ in range(rng.randint(0, 5))) + b"\n" * rng.randint(0, 1)
            done = execute([*EMULATOR, PROGRAM], input=line, capture_output=True)
            self.assertEqual((done.stdout, done.returncode), (model(line), 0), line)


class Binary(unittest.TestCase):
    def setUp(self):
        self.headers = execute(["readelf", "-hlW", PROGRAM], capture_output=True, text=True).stdout

    def test_static_with_nothing_executable_that_is_writable(self):
        self.assertRegex(self.headers, r"Type:\s+EXEC")
        segments = re.findall(r"^\s+([A-Z_]+)\s.*\s([R ][W ][E ])\s+(?:0x)?[0-9a-f]+$", self.headers, re.M)
        self.assertFalse({kind for kind, _ in segments} & {"INTERP", "DYNAMIC"})
        self.assertIn(("GNU_STACK", "RW "), segments)
        self.assertFalse([kind for kind, flags in segments if "W" in flags and "E" in flags])

    def test_no_two_segments_share_a_page(self):
        """Not even a page of the largest size a kernel that runs this
        processor's programs may use: the second mapping would replace the
        first (the code, with 16 KiB pages on arm64)."""
        page = int(os.environ.get("LARGEST_PAGE", "4096"))
        loads = re.findall(r"^\s+LOAD\s+0x\S+\s+(0x\S+)\s+0x\S+\s+0x\S+\s+(0x\S+)", self.headers, re.M)
        pages = [set(range(int(start, 16) // page, (int(start, 16) + int(size, 16) - 1) // page + 1))
                 for start, size in loads]
        self.assertEqual(len(pages), 2)
        self.assertFalse(pages[0] & pages[1], f"{loads} share a page of {page} bytes")


# Each processor's kernel-call trap, and the registers its header puts the
# call's number and three arguments in, by gdb's name for the processor.
TRAPS = [
    ("i386:x86-64|i386:x64-32", r"syscall", "rax rdi rsi rdx"),
    ("i386", r"int\s+\$0x80", "eax ebx ecx edx"),
    ("aarch64", r"svc\s+#0x0", "x8 x0 x1 x2"),
    ("arm.*", r"svc\s+(0x0+|0)$", "r7 r0 r1 r2"),
    ("riscv:rv(32|64)", r"ecall", "a7 a0 a1 a2"),
    ("mips.*", r"syscall", "v0 a0 a1 a2"),
    ("powerpc:.*|rs6000:.*", r"sc$", "r0 r3 r4 r5"),
    ("s390:.*", r"svc\s+0", "r1 r2 r3 r4"),
    ("sparc.*", r"ta?\s+0x(6d|10)", "g1 o0 o1 o2"),
    ("m68k.*", r"trap #0", "d0 d1 d2 d3"),
    ("sh.*", r"trapa\s+#31", "r3 r4 r5 r6"),
    ("hppa.*", r"be,l\s+100\(sr2,r0\)", "r20 r26 r25 r24"),
    ("alpha.*", r"callsys", "v0 a0 a1 a2"),
    ("[Ll]oong[Aa]rch.*", r"syscall\s+0x0", "a7 a0 a1 a2"),
]
# Where the emulator's gdb stub, not the program, keeps gdb from the truth,
# by gdb's name for the processor: what the debug test leaves out there.
STUB_FAULTS = [
    ("sparc.*", "finish and the backtrace past the first caller under qemu: its gdb stub does not write "
                "SPARC's register windows to the stack, where gdb reads each caller's registers"),
]
ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def debug_session():
    """The program stepped through by gdb_session.py, started from the
    repository's root: natively under gdb, or under the emulator's gdb stub
    with gdb-multiarch. Gives the session's events, the program's output and
    status, and what gdb printed."""
    with tempfile.TemporaryDirectory() as folder:
        stdin, stdout, events = (os.path.join(folder, name) for name in ("stdin", "stdout", "events"))
        with open(stdin, "wb") as given:
            given.write(b"3\n")
        env = dict(os.environ, EXPRCALC_EVENTS=events, EXPRCALC_STDIN=stdin, EXPRCALC_STDOUT=stdout,
                   EXPRCALC_TRAPS=json.dumps(TRAPS), LC_ALL="C.UTF-8")
        gdb = [GDB, "-nx", "-batch",
               "-x", os.path.join(ROOT, "tests", "gdb_session.py"), PROGRAM]
        emulator, status = None, None
        if EMULATOR:
            env["EXPRCALC_REMOTE"] = f"127.0.0.1:{free_port()}"
            with open(stdin, "rb") as given, open(stdout, "wb") as taken:
                emulator = subprocess.Popen([*EMULATOR, "-g", env["EXPRCALC_REMOTE"].split(":")[1], PROGRAM],
                                            stdin=given, stdout=taken, stderr=subprocess.PIPE)
        try:
            shown = subprocess.run(gdb, cwd=ROOT, env=env, stdin=subprocess.DEVNULL, capture_output=True,
                                   text=True, timeout=120)
        finally:
            if emulator:
                try:
                    status = emulator.wait(timeout=10)
                except subprocess.TimeoutExpired:
                    emulator.kill()
        with open(events) as log:
            session = [json.loads(line) for line in log]
        with open(stdout, "rb") as taken:
            output = taken.read()
        return session, output, status, shown.stdout + shown.stderr


def summary(event):
    """An event in the shorthand of SESSION."""
    if "stop" in event:
        return f"{event['stop']}({re.sub(r'0x[0-9a-f]+ ', '', event['args'])})"
    if "finish" in event:
        return f"{event['finish']} -> {event['value']}" + (f", x={event['x']}" if "x" in event else "")
    if "trap" in event:
        return "trap" if event["trap"] else f"no trap: {event.get('why', 'not reached')}"
    if "exited" in event:
        return f"exit {event['exited']}"
    return json.dumps(event)


class Debug(unittest.TestCase):
    """What a reader stepping through the -O0 program sees (see gdb_session.py)."""

    @classmethod
    def setUpClass(cls):
        cls.session, cls.output, cls.status, cls.shown = debug_session()
        print(cls.shown[-3000:] if any("error" in event for event in cls.session) else "", end="")
        for event in cls.session:
            if "trap" in event or "backtrace" in event or "architecture" in event:
                print("seen:", json.dumps(event, ensure_ascii=False))
        architecture = ([event["architecture"] for event in cls.session if "architecture" in event] or [""])[0]
        cls.stub_fault = next((fault for pattern, fault in STUB_FAULTS
                               if EMULATOR and re.fullmatch(pattern, architecture)), None)
        if cls.stub_fault:
            print(f"skipped: {cls.stub_fault}")

    def test_each_routine_stops_with_its_arguments_and_returns_its_value(self):
        shown = [summary(event) for event in self.session if "architecture" not in event]
        if self.stub_fault:
            shown = [event for event in shown if " -> " not in event]
        self.assertEqual(shown, [event for event in SESSION if " -> " not in event or not self.stub_fault])
        self.assertEqual(self.output, out(625))
        if EMULATOR:
            self.assertEqual(self.status, 0)

    def test_each_stop_shows_its_source_line(self):
        for event in self.session:
            if "stop" in event:
                with open(os.path.join(ROOT, event["file"]), encoding="utf-8") as source:
                    self.assertEqual(event["text"], source.read().split("\n")[event["line"] - 1], event)

    def test_source_is_found_from_the_build_folder_too(self):
        listed = execute([GDB, "-nx", "-batch", "-ex", "list console::atoi",
                          "-ex", "list start_program", "-ex", "list console::sprint", os.path.abspath(PROGRAM)],
                         cwd=os.path.dirname(os.path.abspath(PROGRAM)), capture_output=True, text=True)
        for definition in ("uint32_t atoi(", "void start_program()", "long sprint("):
            self.assertIn(definition, listed.stdout, listed.stdout + listed.stderr)

    def test_backtrace_from_iprint_ends_at_start(self):
        """With no complaint: gdb stops at _start, the outermost frame (its
        return address is undefined), or before asking, at the entry point
        ("no reason"). ppc64's ELFv1 names the code of a function .NAME, and
        gdb 16 reads SuperH's symbols as if C had put an underscore before
        each name, so _start is "start" there."""
        if self.stub_fault:
            self.skipTest(self.stub_fault)
        backtrace = [event["backtrace"] for event in self.session if "backtrace" in event]
        self.assertEqual(len(backtrace), 1, self.session)
        frames = [name.removeprefix(".") for name in backtrace[0]["frames"]]
        self.assertEqual(frames[:-1], ["console::iprint", "console::iprintLF", "start_program"])
        self.assertIn(frames[-1], ("_start", "start"))
        self.assertIn(backtrace[0]["stopped"], ("outermost", "no reason"))

    def test_the_trap_holds_the_call_and_its_arguments(self):
        """At the write of the first newline: the number and the arguments of
        the kernel-call function are in the registers its header names, and
        they are write(1, the newline sprint was given, 1)."""
        newline = [event["args"] for event in self.session if event.get("stop") == "sprint"][1]
        traps = [event for event in self.session if event.get("trap")]
        self.assertEqual(len(traps), 1, self.session)
        number, fd, buffer, size = traps[0]["arguments"]
        self.assertEqual(traps[0]["registers"], [number, fd, buffer, size])
        self.assertEqual((fd, f"s={buffer:#x} \"\\n\"", size), (1, newline, 1))


def unrunnable():
    """Why this machine cannot run the program at all, if it cannot: an x32
    program needs a kernel that has x32 on, and qemu-user has no x32."""
    try:
        execute([*EMULATOR, PROGRAM], input=b"", capture_output=True)
    except OSError as error:
        if error.errno != errno.ENOEXEC:
            raise
        return f"this machine's kernel cannot run {PROGRAM} ({error.strerror}), and no emulator is named"
    return None


def unknown_to_gdb():
    """Why gdb cannot read the program, if it cannot: gdb-multiarch knows
    most processors, not all."""
    loaded = execute([GDB, "-nx", "-batch", "-ex", "info target", PROGRAM], capture_output=True, text=True)
    if plain := re.search(r"file type (elf(32|64)-(little|big))\.", loaded.stdout):
        version = execute([GDB, "--version"], capture_output=True, text=True).stdout.split("\n")[0]
        machine = re.search(r"Machine:\s+(.*)", execute(["readelf", "-h", PROGRAM], capture_output=True,
                                                         text=True).stdout)[1]
        return f"{version} does not know this processor ({machine}): it reads the program as plain {plain[1]}"
    return None


if __name__ == "__main__":
    group = {"conformance": Conformance, "faults": Faults, "leftover": Leftover,
             "random": Random, "binary": Binary, "debug": Debug}[sys.argv[1]]
    if group is Debug and (reason := unknown_to_gdb()):
        print(f"skipped: {reason}")
        sys.exit(77)
    if group is not Binary and (reason := unrunnable()):
        print(f"skipped: {reason}")
        sys.exit(77)
    suite = unittest.TestLoader().loadTestsFromTestCase(group)
    sys.exit(not unittest.TextTestRunner(verbosity=2).run(suite).wasSuccessful())
