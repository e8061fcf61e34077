"""What one run of exprcalc must give, shared by the tests that run it: the
expected output, exit status and calls for each row of the table.

Traces are shorthand, one word per call after execve: w56 is write(1, 56
bytes) taking all 56, w56=10 or w56=EIO another result, w56=? one whose
result no one logged, as the process ended in it; r=2 is read(0, 80 bytes)
giving 2; x0 is exit(0).
"""
import re
from typing import NamedTuple, Optional

BANNER = "Вычисление выражения: y = (10x - 5)^2\nВведите значение x: Результат: ".encode()


def out(y):
    return BANNER + b"%d\n" % y


def model(line):
    """An independent model of one run: x is the leading digits of the first 80 bytes."""
    digits = re.match(rb"[0-9]*", line[:80])[0]
    return out((10 * int(digits or b"0") - 5) ** 2 % 2**32)


def word(call, fd=None, size=None, result=None):
    """One call in the shorthand; a call to anything else, or on another
    descriptor or of another size than the program's own, spelled out."""
    result = str(result)
    if call == "exit":
        return f"x{fd}"
    if (call, fd, size) == ("read", 0, 80):
        return f"r={result}"
    if call == "write" and fd == 1:
        return f"w{size}" + ("" if result == str(size) else f"={result}")
    return f"{call}({fd}, {size})={result}"


def trace(read, y, status=0):
    return f"w56 w1 w35 r={read} w20 " + "w1 " * (len(str(y)) + 1) + f"x{status}"


class Row(NamedTuple):
    given: Optional[bytes]  # the input line, or None where the redirection gives it
    output: bytes  # what standard output then holds
    status: int  # the exit status
    calls: str  # the trace
    redirect: str = ""  # the shell's redirection for the run
    inject: Optional[str] = None  # the fault a tracer injects (strace's -e inject=)
    leftover: bool = False  # a reader (cat) follows on the same input: output is both


def ok(line, y):
    """A row for a line read whole, with no fault."""
    return Row(line, out(y), 0, trace(min(len(line), 80), y))


def unwritable(redirect, error):
    """A row whose every write fails: the run still goes on to the end."""
    before, after = (" ".join(f"w{n}={error}" for n in sizes) for sizes in ((56, 1, 35), (20, 1, 1, 1, 1)))
    return Row(b"3\n", b"", 1, f"{before} r=2 {after} x1", redirect)


def fault(inject, output, status, calls):
    return Row(b"3\n", output, status, calls, inject=inject)


# A line longer than the buffer: what follows its first 80 bytes stays for
# the next reader of standard input.
LONG_LINE = b"9" * 80 + b"123456\n"

ROWS = [
    ok(b"3\n", 625), ok(b"3", 625), ok(b"", 25), ok(b"\n", 25), ok(b"0\n", 25), ok(b"1\n", 25),
    ok(b"-3\n", 25), ok(b"+3\n", 25), ok(b" 3\n", 25), ok(b"007\n", 4225), ok(b"12x\n", 13225),
    ok(b"3\r\n", 625), ok(b"3\x005\n", 625), ok("Ж7\n".encode(), 25), ok(b"6554\n", 4294836225),
    ok(b"6555\n", 1179729), ok(b"429496730\n", 1), ok(b"4294967296\n", 25),
    ok(b"1" * 80, 583267201), ok(LONG_LINE, 225),
    Row(LONG_LINE, model(LONG_LINE) + LONG_LINE[80:], 0, trace(80, 225), leftover=True),
    # Output or input that is not there, or not open for its use: the run goes
    # on, but says it failed.
    unwritable(">&-", "EBADF"), unwritable("1</dev/null", "EBADF"), unwritable(">/dev/full", "ENOSPC"),
    Row(None, out(25), 1, trace("EBADF", 25, 1), "<&-"),
    Row(None, out(25), 1, trace("EISDIR", 25, 1), "</"),
    Row(None, out(25), 1, trace("EBADF", 25, 1), "0>/dev/null"),  # open for writing only
    Row(None, out(25), 0, trace(0, 25), "</dev/null"),
    # A short write goes on from where it stopped, an interrupted call is made
    # again, and a write that fails or takes nothing is not retried.
    fault("write:retval=10:when=1", out(625)[10:], 0, "w56=10 w46" + trace(2, 625)[3:]),
    fault("write:error=EINTR:when=3", out(625), 0, trace(2, 625).replace("w35", "w35=EINTR w35")),
    fault("read:error=EINTR:when=1", out(625), 0, trace(2, 625).replace("r=2", "r=EINTR r=2")),
    fault("write:error=EIO:when=6", BANNER + b"65\n", 1, "w56 w1 w35 r=2 w20 w1 w1=EIO w1 w1 x1"),
    fault("write:retval=0:when=1", out(625)[56:], 1, "w56=0" + trace(2, 625, 1)[3:]),
    fault("read:error=EIO:when=1", out(25), 1, trace("EIO", 25, 1)),
]
