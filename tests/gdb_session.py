"""One debugging session of exprcalc, run inside gdb by debug_test.py
(gdb -x gdb_session.py PROGRAM): what a reader stepping through the
program would look at, written as JSON events, one a line, to the file that
EXPRCALC_EVENTS names. The program must be at its start: loaded by gdb, or
stopped in an emulator's gdb stub that EXPRCALC_REMOTE names (host:port).

Events, in the order they happen:
  stop    a routine was entered: its name, its arguments as gdb prints them,
          the file, line and source text gdb shows there, and from iprint
          also the backtrace (the functions, and why the unwinder stopped)
  finish  a routine returned: its name and the value gdb says it returned;
          from sread also the buffer x as it now is
  trap    at the write of the first newline, stepped to by instruction: the
          trap instruction (EXPRCALC_TRAP, a pattern), the values of the
          registers that EXPRCALC_REGISTERS names, and the kernel-call
          function's arguments
  exited  the program ended, with its exit status
"""
import json
import os
import re

import gdb

ROUTINES = ["sprintLF", "sprint", "sread", "atoi", "iprintLF", "iprint", "quit"]
RETURNING = {"sread", "atoi", "iprintLF", "iprint"}
events = open(os.environ["EXPRCALC_EVENTS"], "w")


def say(**event):
    events.write(json.dumps(event) + "\n")
    events.flush()


def routine(frame):
    name = frame.name() or ""
    return name.removeprefix("console::")


class Finish(gdb.FinishBreakpoint):
    """Where the routine returns to: takes its value and lets the run go on."""

    def __init__(self, frame, name):
        super().__init__(frame, internal=True)
        self.routine = name

    def stop(self):
        value = self.return_value
        event = {"finish": self.routine, "value": None if value is None else int(value)}
        if self.routine == "sread":
            event["x"] = gdb.parse_and_eval("'(anonymous namespace)::x'").format_string()
        say(**event)
        return False

    def out_of_scope(self):
        say(finish=self.routine, value="out of scope")


def arguments(frame):
    return ", ".join(f"{symbol.name}={symbol.value(frame).format_string()}"
                     for symbol in frame.block() if symbol.is_argument)


def source(frame):
    """What gdb shows at the stop: its last line is the source line, or the
    file name where gdb cannot find the source."""
    sal = frame.find_sal()
    shown = gdb.execute("frame", to_string=True).rstrip("\n").split("\n")[-1]
    number, _, text = shown.partition("\t")
    return {"file": sal.symtab.filename if sal.symtab else None, "line": sal.line,
            "text": text if number == str(sal.line) else shown}


def backtrace(frame):
    names, reason = [], None
    while frame is not None:
        names.append(frame.name())
        reason = gdb.frame_stop_reason_string(frame.unwind_stop_reason())
        frame = frame.older()
    return {"frames": names, "stopped": reason}


def step_to_trap(trap, registers):
    """Steps by instruction until the next instruction is the trap; gives it,
    the registers named, and the arguments of the function it is in (the
    kernel-call primitive, its own function at -O0). Where gdb cannot read
    them at the trap (armhf's GCC code finds them through r7, which holds
    the call's number there), the values it last read in that function."""
    word = gdb.lookup_type("unsigned long")  # the width of an argument
    last = {}
    for _ in range(5000):
        frame = gdb.selected_frame()
        try:
            last[frame.name()] = [int(symbol.value(frame).cast(word))
                                  for symbol in frame.block() if symbol.is_argument]
            unreadable = None
        except gdb.error as error:
            unreadable = str(error)
        instruction = frame.architecture().disassemble(frame.pc())[0]["asm"]
        if re.match(trap, instruction):
            say(trap=instruction, function=frame.name(), unreadable=unreadable,
                registers=[int(frame.read_register(name)) % 2 ** (8 * word.sizeof) for name in registers],
                arguments=last.get(frame.name()))
            return
        gdb.execute("stepi", to_string=True)
    say(trap=None)


def main():
    gdb.execute("set pagination off")
    gdb.execute("set confirm off")
    gdb.execute("set charset UTF-8")
    gdb.execute("set print frame-arguments all")
    gdb.execute("set print symbol off")  # no <$.str> after a pointer to a message (mips)
    for name in ROUTINES:
        gdb.Breakpoint(f"console::{name}", internal=True)
    gdb.events.exited.connect(lambda event: say(exited=getattr(event, "exit_code", None)))
    if remote := os.environ.get("EXPRCALC_REMOTE"):
        gdb.execute(f"target remote {remote}", to_string=True)
        go = "continue"
    else:
        go = f"run <{os.environ['EXPRCALC_STDIN']} >{os.environ['EXPRCALC_STDOUT']}"
    newlines = 0
    while True:
        gdb.execute(go, to_string=True)
        go = "continue"
        if not gdb.selected_inferior().pid:
            break
        frame = gdb.selected_frame()
        name = routine(frame)
        if name not in ROUTINES:
            say(stop=frame.name(), why="stopped outside the routines", pc=frame.pc())
            break
        event = {"stop": name, "args": arguments(frame), **source(frame)}
        if name == "iprint":
            event["backtrace"] = backtrace(frame)
        say(**event)
        if name in RETURNING:
            Finish(frame, name)
        if name == "sprint" and event["args"].endswith('"\\n"'):
            newlines += 1
            if newlines == 1:  # the banner's line end: no finish pending to be confused by the steps
                if os.environ["EXPRCALC_TRAP"]:
                    step_to_trap(os.environ["EXPRCALC_TRAP"], os.environ["EXPRCALC_REGISTERS"].split())
                else:
                    say(trap=None, why="no trap known for this processor")


try:
    main()
except gdb.error as error:
    say(error=str(error))
events.close()
if gdb.selected_inferior().pid:
    gdb.execute("kill", to_string=True)
