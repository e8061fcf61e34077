"""What one run of exprcalc must give, shared by the tests that run it: the
expected output, exit status and calls for each row of the table.

Traces are shorthand, one word per call after execve: w56 is write(1, 56
bytes) taking all 56, w56=10 or w56=EIO another result, w56=? one whose
result no one logged, as the process ended in it; r=2 is read(0, 80 bytes)
giving 2; x0 is exit(0).
"""
import re

BANNER = "Вычисление выражения: y = (10x - 5)^2\nВведите значение x: Результат: ".encode()


def out(y):
    return BANNER + b"%d\n" % y


def model(line):
    """An independent model of one run: x is the leading digits of the first 80 bytes."""
    digits = re.match(rb"[0-9]*", line[:80])[0]
    return out((10 * int(digits or b"0") - 5) ** 2 % 2**32)


def trace(read, y, status=0):
    return f"w56 w1 w35 r={read} w20 " + "w1 " * (len(str(y)) + 1) + f"x{status}"


def ok(line, y):
    """A row for a line read whole, with no fault."""
    return line, "", None, out(y), 0, trace(min(len(line), 80), y)


def unwritable(redirect, error):
    """A row whose every write fails: the run still goes on to the end."""
    before, after = (" ".join(f"w{n}={error}" for n in sizes) for sizes in ((56, 1, 35), (20, 1, 1, 1, 1)))
    return b"3\n", redirect, None, b"", 1, f"{before} r=2 {after} x1"


# A line longer than the buffer: what follows its first 80 bytes stays for
# the next reader of standard input.
LONG_LINE = b"9" * 80 + b"123456\n"

# (input line, or None where the redirection gives it; redirection; fault to
#  inject; expected output, exit status and trace)
ROWS = [
    ok(b"3\n", 625), ok(b"3", 625), ok(b"", 25), ok(b"\n", 25), ok(b"0\n", 25), ok(b"1\n", 25),
    ok(b"-3\n", 25), ok(b"+3\n", 25), ok(b" 3\n", 25), ok(b"007\n", 4225), ok(b"12x\n", 13225),
    ok(b"3\r\n", 625), ok(b"3\x005\n", 625), ok("Ж7\n".encode(), 25), ok(b"6554\n", 4294836225),
    ok(b"6555\n", 1179729), ok(b"429496730\n", 1), ok(b"4294967296\n", 25),
    ok(b"1" * 80, 583267201), ok(LONG_LINE, 225),
    # Output or input that is not there, or not open for its use: the run goes
    # on, but says it failed.
    unwritable(">&-", "EBADF"), unwritable("1</dev/null", "EBADF"), unwritable(">/dev/full", "ENOSPC"),
    (None, "<&-", None, out(25), 1, trace("EBADF", 25, 1)),
    (None, "</", None, out(25), 1, trace("EISDIR", 25, 1)),
    (None, "0>/dev/null", None, out(25), 1, trace("EBADF", 25, 1)),  # open for writing only
    (None, "</dev/null", None, out(25), 0, trace(0, 25)),
    # A short write goes on from where it stopped, an interrupted call is made
    # again, and a write that fails or takes nothing is not retried.
    (b"3\n", "", "write:retval=10:when=1", out(625)[10:], 0, "w56=10 w46" + trace(2, 625)[3:]),
    (b"3\n", "", "write:error=EINTR:when=3", out(625), 0, trace(2, 625).replace("w35", "w35=EINTR w35")),
    (b"3\n", "", "read:error=EINTR:when=1", out(625), 0, trace(2, 625).replace("r=2", "r=EINTR r=2")),
    (b"3\n", "", "write:error=EIO:when=6", BANNER + b"65\n", 1, "w56 w1 w35 r=2 w20 w1 w1=EIO w1 w1 x1"),
    (b"3\n", "", "write:retval=0:when=1", out(625)[56:], 1, "w56=0" + trace(2, 625, 1)[3:]),
    (b"3\n", "", "read:error=EIO:when=1", out(25), 1, trace("EIO", 25, 1)),
]

# What a debugger shows of the -O0 program given the line 3, stopping in each
# routine as the run calls it: NAME(ARGUMENTS) as gdb prints them, less
# addresses; NAME -> VALUE where the routine returns, as gdb's finish gives
# it; the step to the trap of the first newline's write; the exit status.
EXPR, PROMPT, RESULT = (f's="{text}"' for text in ("Вычисление выражения: y = (10x - 5)^2",
                                                   "Введите значение x: ", "Результат: "))
SESSION = [
    f"sprintLF({EXPR})", f"sprint({EXPR})", r'sprint(s="\n")', "trap", f"sprint({PROMPT})",
    'sread(buffer="", capacity=80)',
    r"""sread -> 2, x="3\n", '\000' <repeats 77 times>""",
    r'atoi(s="3\n", size=80)', "atoi -> 3",
    f"sprint({RESULT})", "iprintLF(n=625)", "iprint(n=625)",
    'sprint(s="6")', 'sprint(s="2")', 'sprint(s="5")', "iprint -> 625",
    r'sprint(s="\n")', "iprintLF -> 625", "quit()", "exit 0",
]
