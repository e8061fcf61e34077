"""One debugging session of exprcalc, run inside gdb by debug_test.py
(gdb -x gdb_session.py PROGRAM, the program loaded, or stopped at its start
in the emulator's gdb stub at EXPRCALC_REMOTE). What a reader stepping
through it would look at goes to the file EXPRCALC_EVENTS names, one JSON
event a line, as it happens:
  stop    a routine entered: its name, arguments, file, line and the source
          text gdb shows; from iprint also the backtrace and why it ended
  finish  a routine returned: the value gdb gives; from sread also x
  trap    the trap of the first newline's write (EXPRCALC_TRAP, a pattern),
          the registers EXPRCALC_REGISTERS names, and the call's arguments
  exited  the program's exit status
"""
import json
import os
import re

import gdb

ROUTINES = ["sprintLF", "sprint", "sread", "atoi", "iprintLF", "iprint", "quit"]
RETURNING = {"sread", "atoi", "iprintLF", "iprint"}
events = open(os.environ["EXPRCALC_EVENTS"], "w")


def say(**event):
    print(json.dumps(event), file=events, flush=True)


class Finish(gdb.FinishBreakpoint):
    """Where the routine returns to: takes its value and lets the run go on."""

    def __init__(self, frame, name):
        super().__init__(frame, internal=True)
        self.routine = name

    def stop(self):
        x = {"x": gdb.parse_and_eval("'(anonymous namespace)::x'").format_string()} if self.routine == "sread" else {}
        say(finish=self.routine, value=None if self.return_value is None else int(self.return_value), **x)
        return False


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
    kernel-call primitive, its own at -O0), as last read there: armhf's GCC
    code hides them at the trap (docs/debugging.md)."""
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
    # No <$.str> after a pointer to a message (mips): print symbol off.
    for setting in ("pagination off", "confirm off", "charset UTF-8", "print frame-arguments all", "print symbol off"):
        gdb.execute(f"set {setting}")
    for name in ROUTINES:
        gdb.Breakpoint(f"console::{name}", internal=True)
    gdb.events.exited.connect(lambda event: say(exited=getattr(event, "exit_code", None)))
    if remote := os.environ.get("EXPRCALC_REMOTE"):
        gdb.execute(f"target remote {remote}", to_string=True)
    go = "continue" if remote else f"run <{os.environ['EXPRCALC_STDIN']} >{os.environ['EXPRCALC_STDOUT']}"
    stepped = False
    while True:
        gdb.execute(go, to_string=True)
        go = "continue"
        if not gdb.selected_inferior().pid:
            break
        frame = gdb.selected_frame()
        name = (frame.name() or "").removeprefix("console::")
        if name not in ROUTINES:
            say(stop=frame.name(), why="stopped outside the routines", pc=frame.pc())
            break
        event = {"stop": name, "args": arguments(frame), **source(frame)}
        if name == "iprint":
            event["backtrace"] = backtrace(frame)
        say(**event)
        if name in RETURNING:
            Finish(frame, name)
        # At the banner's line end: no finish pending to be confused by the steps.
        if name == "sprint" and event["args"].endswith('"\\n"') and not stepped:
            stepped = True
            if trap := os.environ["EXPRCALC_TRAP"]:
                step_to_trap(trap, os.environ["EXPRCALC_REGISTERS"].split())
            else:
                say(trap=None, why="no trap known for this processor")


try:
    main()
except gdb.error as error:
    say(error=str(error))
events.close()
if gdb.selected_inferior().pid:
    gdb.execute("kill", to_string=True)
