#!/usr/bin/env python3
"""See exprcalc meet the kernel, on any processor it is built for.

  python3 scripts/show.py run [PRESET]     one run given the line 3, from the kernel's
                                           side: strace natively, the emulator's -strace
                                           otherwise; beside each call, the number this
                                           ABI gives it, from its header in src/sys/arch
  python3 scripts/show.py file [PRESET]    every byte of the stripped program, in order
  python3 scripts/show.py pictures [DIR]   docs/memory.svg and docs/run.svg, remade from
                                           the host preset's build (into DIR if given)

PRESET is a configure preset, host by default; one not built yet is built first
(as README's commands build it). --build FOLDER names a build folder instead.
"""
import argparse
import html
import json
import os
import re
import shlex
import struct
import subprocess
import sys
import tempfile
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent


# ---- The ELF file, as the kernel and the tools read it ----

class Elf:
    """An ELF file's headers, program headers, sections and symbols, for
    either class (32 or 64 bits) and either byte order."""

    def __init__(self, data):
        if data[:4] != b"\x7fELF":
            raise ValueError("not an ELF file")
        self.data = data
        self.wide = data[4] == 2  # ELFCLASS64
        self.order = "<" if data[5] == 1 else ">"  # ELFDATA2LSB or 2MSB
        word = "Q" if self.wide else "I"
        (self.type, self.machine, self.version, self.entry, self.phoff, self.shoff, self.flags, self.ehsize,
         self.phentsize, self.phnum, self.shentsize, self.shnum, self.shstrndx) = self.unpack(
            f"HHI{word}{word}{word}IHHHHHH", 16)
        self.segments = [self.segment(self.phoff + i * self.phentsize) for i in range(self.phnum)]
        self.sections = [self.section(self.shoff + i * self.shentsize) for i in range(self.shnum)]
        names = self.sections[self.shstrndx] if self.shnum else None
        for section in self.sections:
            section["name"] = self.string(names["offset"] + section["name"]) if names else ""

    def unpack(self, layout, offset):
        return struct.unpack_from(self.order + layout, self.data, offset)

    def string(self, offset):
        return self.data[offset:self.data.index(b"\0", offset)].decode()

    def segment(self, at):
        if self.wide:
            kind, flags, offset, vaddr, _, filesz, memsz, align = self.unpack("IIQQQQQQ", at)
        else:
            kind, offset, vaddr, _, filesz, memsz, flags, align = self.unpack("IIIIIIII", at)
        return dict(kind=kind, flags=flags, offset=offset, vaddr=vaddr, filesz=filesz, memsz=memsz, align=align)

    def section(self, at):
        word = "Q" if self.wide else "I"
        name, kind, flags, addr, offset, size, link, info, align, entsize = self.unpack(
            f"II{word}{word}{word}{word}II{word}{word}", at)
        return dict(name=name, kind=kind, flags=flags, addr=addr, offset=offset, size=size, align=align)

    def named(self, name):
        return next((s for s in self.sections if s["name"] == name), None)

    def bytes_of(self, section):
        return self.data[section["offset"]:section["offset"] + section["size"]]

    def functions(self):
        """The functions the symbol table names, by address: (address, size, name)."""
        table, found = self.named(".symtab"), []
        if not table:
            return found
        strings = self.sections[[s["name"] for s in self.sections].index(".strtab")]["offset"]
        size = 24 if self.wide else 16
        for at in range(table["offset"], table["offset"] + table["size"], size):
            if self.wide:
                name, info, _, shndx, value, length = self.unpack("IBBHQQ", at)
            else:
                name, value, length, info, _, shndx = self.unpack("IIIBBH", at)
            if info & 0xF == 2:  # STT_FUNC
                found.append((value & ~1 if self.machine == 40 else value, length, self.string(strings + name)))
        return sorted(found)


MACHINES = {2: "SPARC", 3: "i386", 4: "m68k", 8: "MIPS", 15: "PA-RISC", 20: "PowerPC", 21: "64-bit PowerPC",
            22: "s390", 40: "ARM", 42: "SuperH", 43: "SPARC V9", 62: "x86-64", 164: "Hexagon", 183: "AArch64",
            243: "RISC-V", 258: "LoongArch", 0x9026: "Alpha"}
SEGMENT_KINDS = {1: "LOAD", 4: "NOTE", 6: "PHDR", 0x6474E551: "GNU_STACK"}
PROCESSOR_SEGMENTS = {(8, 0x70000003): "MIPS_ABIFLAGS", (243, 0x70000003): "RISCV_ATTRIBUTES",
                      (40, 0x70000001): "ARM_EXIDX"}
SECTION_KINDS = {0: "NULL", 1: "PROGBITS", 3: "STRTAB", 8: "NOBITS"}


def rights(flags):
    return ("R" if flags & 4 else "") + ("W" if flags & 2 else "") + ("E" if flags & 1 else "")


# ---- A build of a preset ----

def build_folder(preset):
    """build/PRESET, configured and built first if its program is not there."""
    folder = ROOT / "build" / preset
    if not (folder / "exprcalc").exists():
        print(f"(building the preset {preset} first)", file=sys.stderr)
        for command in (["cmake", "--preset", preset], ["cmake", "--build", "--preset", preset]):
            if subprocess.run(command, cwd=ROOT, stdout=subprocess.DEVNULL).returncode != 0:
                sys.exit(f"{' '.join(command)} failed")
    return folder


def cached(folder):
    """The build's CMake cache, NAME -> value."""
    text = (folder / "CMakeCache.txt").read_text()
    return dict(re.findall(r"^(\w+):\w+=(.*)$", text, re.M))


def toolchain(folder):
    """What the build's toolchain file says (cmake/toolchain-query.cmake)."""
    done = subprocess.run(["cmake", "-D", f"toolchain={cached(folder)['CMAKE_TOOLCHAIN_FILE']}", "-P",
                           ROOT / "cmake" / "toolchain-query.cmake"], capture_output=True, text=True, check=True)
    return dict(zip(("processor", "debian_arch", "target_triple", "tools_triple", "emulator"), done.stdout.split()))


def stripped(folder, into):
    """The program as it is installed: stripped by the strip the build names
    (the target's GNU strip, whichever compiler built it)."""
    subprocess.run(["cmake", "--install", folder, "--prefix", into, "--strip"], check=True, stdout=subprocess.DEVNULL)
    return Path(into) / "bin" / "exprcalc"


PROBE = """\
// The call numbers as the program is built with them (scripts/show.py reads
// them out of the object file).
#include "sys/arch.hpp"

[[gnu::used, gnu::section("exprcalc_nr")]] const unsigned long long numbers[] = {
    static_cast<unsigned long long>(sys::arch::nr::read), static_cast<unsigned long long>(sys::arch::nr::write),
    static_cast<unsigned long long>(sys::arch::nr::exit)};
"""


def call_numbers(folder):
    """read's, write's and exit's numbers on the build's ABI, and the header
    that gives them: the probe above, compiled as the build compiles
    linux.cpp (its compiler and options, link-time optimisation aside)."""
    commands = json.loads((folder / "compile_commands.json").read_text())
    entry = next(e for e in commands if e["file"].endswith("src/sys/linux.cpp"))
    words = shlex.split(entry["command"])
    with tempfile.TemporaryDirectory() as scratch:
        probe, obj, deps = (os.path.join(scratch, name) for name in ("probe.cpp", "probe.o", "probe.d"))
        Path(probe).write_text(PROBE)
        command, skip = [], False
        for word in words:
            if skip:
                skip = False
            elif word in ("-o", "-c"):
                skip = True
            elif not word.startswith(("-flto", "-ffat-lto", "-fno-fat-lto")):
                command.append(word)
        command += ["-fno-lto", "-MD", "-MF", deps, "-c", probe, "-o", obj]
        subprocess.run(command, cwd=entry["directory"], check=True)
        elf = Elf(Path(obj).read_bytes())
        values = struct.unpack(elf.order + "QQQ", elf.bytes_of(elf.named("exprcalc_nr")))
        header = re.search(r"\S*src/sys/arch/\w+\.hpp", Path(deps).read_text())[0]
    return dict(zip(("read", "write", "exit"), values)), os.path.relpath(header, ROOT)


# ---- show.py run ----

def trace(folder, given=b"3\n"):
    """The kernel's side of one run: the tracer's lines, without process ids,
    and the tracer's name."""
    program = str(folder / "exprcalc")
    emulator = [word for word in toolchain(folder)["emulator"].split() if word != "-"]
    if emulator:
        command, tracer = [*emulator, "-strace", program], f"{os.path.basename(emulator[0])} -strace"
    else:
        command, tracer = ["strace", program], "strace"
    done = subprocess.run(command, input=given, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, timeout=60)
    lines = [re.sub(r"^\d+ ", "", line) for line in done.stderr.decode(errors="replace").splitlines()]
    return lines, tracer


def show_run(folder):
    numbers, header = call_numbers(folder)
    lines, tracer = trace(folder)
    print(f"{folder.name}: {os.path.relpath(folder / 'exprcalc')} given \"3\\n\", traced by {tracer};\n"
          f"before each call, the number this ABI gives it ({header})")
    shown = {name: str(n) if n < 0x10000 else hex(n) for name, n in numbers.items()}  # x32's: bit 30 set
    width = max(len(n) for n in shown.values())
    for line in lines:
        number = shown.get(re.match(r"\w*", line)[0], "")
        print(f"{number:>{width}}  {line}")
    if any("ENOEXEC" in line for line in lines):
        print("(this machine's kernel cannot run the program, and its toolchain file names no emulator)")


# ---- show.py file ----

ELF_HEADER = [  # ELF64's field, its size; ELF32's words are 4 bytes where ELF64's are 8
    ("magic", 4), ("class", 1), ("data", 1), ("ident version", 1), ("OS/ABI", 1), ("ABI version", 1),
    ("ident padding", 7), ("e_type", 2), ("e_machine", 2), ("e_version", 4), ("e_entry", 8), ("e_phoff", 8),
    ("e_shoff", 8), ("e_flags", 4), ("e_ehsize", 2), ("e_phentsize", 2), ("e_phnum", 2), ("e_shentsize", 2),
    ("e_shnum", 2), ("e_shstrndx", 2)]


def header_values(elf):
    d = elf.data
    return {"magic": "7f 45 4c 46", "class": f"{d[4]} ({'64' if elf.wide else '32'}-bit)",
            "data": f"{d[5]} ({'little' if elf.order == '<' else 'big'}-endian)", "ident version": str(d[6]),
            "OS/ABI": f"{d[7]} (System V)" if d[7] == 0 else str(d[7]), "ABI version": str(d[8]),
            "ident padding": "0", "e_type": f"{elf.type} (EXEC)" if elf.type == 2 else str(elf.type),
            "e_machine": f"{elf.machine} ({MACHINES.get(elf.machine, '?')})", "e_version": str(elf.version),
            "e_entry": hex(elf.entry), "e_phoff": str(elf.phoff), "e_shoff": str(elf.shoff),
            "e_flags": hex(elf.flags), "e_ehsize": str(elf.ehsize), "e_phentsize": str(elf.phentsize),
            "e_phnum": str(elf.phnum), "e_shentsize": str(elf.shentsize), "e_shnum": str(elf.shnum),
            "e_shstrndx": str(elf.shstrndx)}


def messages():
    """The program's messages, by name, as its source has them."""
    source = (ROOT / "src/program/exprcalc.cpp").read_text(encoding="utf-8")
    return {text.encode(): name for name, text in re.findall(r'constexpr const char\* (\w+) = "(.*)";', source)}


def file_rows(elf, functions):
    """Every byte of the file, as (offset, size, part, what, value)."""
    rows = []
    at = 0
    for name, size in ELF_HEADER:
        size = size if elf.wide or size != 8 or name == "ident padding" else 4
        rows.append((at, size, "ELF header", name, header_values(elf)[name]))
        at += size
    for i, s in enumerate(elf.segments):
        kind = SEGMENT_KINDS.get(s["kind"]) or PROCESSOR_SEGMENTS.get((elf.machine, s["kind"]), hex(s["kind"]))
        if s["kind"] == 1:
            value = (f"{rights(s['flags'])}: file 0x{s['offset']:x}+{s['filesz']} at 0x{s['vaddr']:x},"
                     f" {s['memsz']} bytes in memory, align 0x{s['align']:x}")
        else:
            value = rights(s["flags"])
        rows.append((elf.phoff + i * elf.phentsize, elf.phentsize, f"program header {i}", kind, value))
    texts = messages()
    for s in elf.sections:
        if s["kind"] == 8 or not s["size"]:  # NOBITS: no bytes in the file
            continue
        if s["name"] == ".text" and functions:
            starts = [a for a, _, _ in functions if s["addr"] <= a < s["addr"] + s["size"]]
            at = s["addr"]
            for address, size, name in functions:
                if address in starts:
                    end = address + size if size else min([a for a in starts if a > address] + [s["addr"] + s["size"]])
                    if address > at:  # what no symbol covers: alignment, mostly
                        rows.append((s["offset"] + at - s["addr"], address - at, ".text", "(no symbol)", ""))
                    rows.append((s["offset"] + address - s["addr"], end - address, ".text", name, "code"))
                    at = end
            if at < s["addr"] + s["size"]:
                rows.append((s["offset"] + at - s["addr"], s["addr"] + s["size"] - at, ".text", "(no symbol)", ""))
        elif s["name"] == ".rodata":
            data, start = elf.bytes_of(s), 0
            for piece in re.finditer(rb"[^\0]+\0", data):
                if piece.group()[:-1] in texts:
                    if piece.start() > start:
                        rows.append((s["offset"] + start, piece.start() - start, ".rodata", "(other)",
                                     filler(data[start:piece.start()])))
                    name = texts[piece.group()[:-1]]
                    rows.append((s["offset"] + piece.start(), len(piece.group()), ".rodata", f"`{name}`",
                                 f"{len(piece.group()) - 1} bytes of text and a zero byte"))
                    start = piece.end()
            if start < len(data):
                rows.append((s["offset"] + start, len(data) - start, ".rodata", "(other)", filler(data[start:])))
        else:
            rows.append((s["offset"], s["size"], s["name"], "the whole section", ""))
    for i, s in enumerate(elf.sections):
        rows.append((elf.shoff + i * elf.shentsize, elf.shentsize, f"section header {i}",
                     s["name"] or "(none)", SECTION_KINDS.get(s["kind"], hex(s["kind"]))))
    rows.sort()
    filled, at = [], 0
    for row in rows + [(len(elf.data), 0)]:
        if row[0] > at:
            filled.append((at, row[0] - at, "padding", "alignment of what follows", filler(elf.data[at:row[0]])))
        filled.append(row)
        at = max(at, row[0] + row[1])
    return filled[:-1]


def filler(data):
    return "zero bytes" if not data.strip(b"\0") else "fill bytes"


def demangled(names):
    done = subprocess.run(["c++filt", "-p"], input="\n".join(names), capture_output=True, text=True)
    return done.stdout.splitlines() if done.returncode == 0 else names


def show_file(folder):
    with tempfile.TemporaryDirectory() as scratch:
        elf = Elf(stripped(folder, scratch).read_bytes())
    functions = Elf((folder / "exprcalc").read_bytes()).functions()
    functions = [(a, s, f"`{n}`") for (a, s, _), n in zip(functions, demangled([n for _, _, n in functions]))]
    rows = file_rows(elf, functions)
    print(f"{folder.name}: the stripped program, {len(elf.data)} bytes\n")
    print("| offset | bytes | part | what | value |\n|---:|---:|---|---|---|")
    for offset, size, part, what, value in rows:
        print(f"| 0x{offset:03x} | {size} | {part} | {what} | {value} |")
    print(f"\n{sum(r[1] for r in rows)} bytes in all")


# ---- show.py pictures ----

FONT = "font-family=\"DejaVu Sans Mono, monospace\""


def svg(width, height, body):
    return (f'<svg xmlns="http://www.w3.org/2000/svg" width="{width}" height="{height}" '
            f'viewBox="0 0 {width} {height}" {FONT} font-size="13">\n'
            f'<rect width="{width}" height="{height}" fill="white"/>\n{body}</svg>\n')


def text(x, y, words, anchor="start", size=13, weight="normal", fill="#222"):
    return (f'<text x="{x}" y="{y}" text-anchor="{anchor}" font-size="{size}" font-weight="{weight}" '
            f'fill="{fill}">{html.escape(words)}</text>\n')


def box(x, y, w, h, fill, stroke="#444"):
    return f'<rect x="{x}" y="{y}" width="{w}" height="{h}" fill="{fill}" stroke="{stroke}"/>\n'


def memory_picture(elf):
    """The file on the left, the memory the kernel makes of it on the right,
    both drawn from the lowest offset and address down, as gdb's map lists
    them: the segments to scale, the kernel's own regions not."""
    code, data = [s for s in elf.segments if s["kind"] == 1]
    text_s, rodata, bss = elf.named(".text"), elf.named(".rodata"), elf.named(".bss")
    scale, top, file_x, memory_x, width = 0.5, 80, 60, 420, 180
    y_of = lambda offset: top + offset * scale  # noqa: E731 -- the file's bytes and the code segment's alike
    body = text(380, 26, f"exprcalc on {MACHINES.get(elf.machine)}: the file, and the memory made of it",
                "middle", 15, "bold")
    body += text(file_x + width / 2, 60, f"the file, {len(elf.data)} bytes", "middle", weight="bold")
    body += text(memory_x + width / 2, 60, "memory at _start", "middle", weight="bold")
    loaded = [(0, elf.ehsize, "ELF header", "#cfe2f3"),
              (elf.phoff, elf.phnum * elf.phentsize, "program headers", "#cfe2f3"),
              (text_s["offset"], text_s["size"], f"code, {text_s['size']} bytes", "#d9ead3"),
              (rodata["offset"], rodata["size"], f"messages, {rodata['size']} bytes", "#fff2cc")]
    kept = [(rodata["offset"] + rodata["size"], elf.shoff - rodata["offset"] - rodata["size"], "section names",
             "#eeeeee"), (elf.shoff, elf.shnum * elf.shentsize, "section headers", "#eeeeee")]
    # The code segment maps the file's first bytes as they are: the same
    # parts, side by side, joined by a band.
    body += (f'<polygon points="{file_x + width},{y_of(0)} {memory_x},{y_of(0)} {memory_x},{y_of(code["filesz"])} '
             f'{file_x + width},{y_of(code["filesz"])}" fill="#d9ead3" fill-opacity="0.4"/>\n')
    body += text((file_x + width + memory_x) / 2, y_of(code["filesz"] / 2) - 8, "first LOAD:", "middle", 11)
    body += text((file_x + width + memory_x) / 2, y_of(code["filesz"] / 2) + 8,
                 f"{code['filesz']} bytes, mapped", "middle", 11)
    for offset, size, label, fill in loaded + kept:
        small = 11 if size * scale < 24 else 13
        body += box(file_x, y_of(offset), width, size * scale, fill)
        body += text(file_x + width / 2, y_of(offset + size / 2) + 4, label, "middle", small)
        body += text(file_x - 4, y_of(offset) + 4, f"0x{offset:x}", "end", 10, fill="#666")
    body += text(file_x - 4, y_of(len(elf.data)) + 4, f"0x{len(elf.data):x}", "end", 10, fill="#666")
    body += text(file_x + width / 2, y_of(len(elf.data)) + 18, "(the last two: for tools, not loaded)",
                 "middle", 11, fill="#666")
    for offset, size, label, fill in loaded:
        body += box(memory_x, y_of(offset), width, size * scale, fill)
        body += text(memory_x + width / 2, y_of(offset + size / 2) + 4, label, "middle", 13)
    note_x = memory_x + width + 6
    body += text(note_x, y_of(0) + 4, f"0x{code['vaddr']:x}  {rights(code['flags'])}", size=11, fill="#444")
    body += text(note_x, y_of(elf.entry - code["vaddr"]) + 4, f"0x{elf.entry:x}  _start", size=11, fill="#444")
    body += text(note_x, y_of(code["memsz"]) + 4, f"0x{code['vaddr'] + code['memsz']:x}", size=11, fill="#444")
    # The data segment: memory only, in the next page.
    y = y_of(code["memsz"]) + 36
    body += text(memory_x + width / 2, y - 12, "⋮  the next page", "middle", 11, fill="#666")
    height = max(data["memsz"] * scale, 36)
    body += box(memory_x, y, width, height, "#fce5cd")
    body += text(memory_x + width / 2, y + height / 2 - 3, f".bss, {bss['size']} bytes: x and", "middle", 11)
    body += text(memory_x + width / 2, y + height / 2 + 11, "a flag, zeroed", "middle", 11)
    body += text(note_x, y + 4, f"0x{data['vaddr']:x}  {rights(data['flags'])}", size=11, fill="#444")
    body += text(note_x, y + height + 4, f"0x{data['vaddr'] + data['memsz']:x}", size=11, fill="#444")
    body += (f'<line x1="{file_x + width}" y1="{y_of(data["offset"])}" x2="{memory_x}" y2="{y}" stroke="#e69138" '
             f'stroke-dasharray="4 3"/>\n')
    body += text(file_x + width + 8, y_of(data["offset"]) + 26, "second LOAD: 0 bytes", size=11, fill="#b45f06")
    body += text(file_x + width + 8, y_of(data["offset"]) + 40, "of the file", size=11, fill="#b45f06")
    # What the kernel adds, at addresses it picks anew for each run.
    y += height + 36
    for label, perms, fill in (("vvar: the kernel's data", "R", "#ead1dc"),
                               ("vdso: the kernel's code", "R E", "#ead1dc"),
                               ("stack: argc, argv, envp…", "RW", "#f4cccc")):
        body += text(memory_x + width / 2, y - 10, "⋮", "middle", 11, fill="#666")
        body += box(memory_x, y, width, 34, fill)
        body += text(memory_x + width / 2, y + 21, label, "middle", 11)
        body += text(note_x, y + 21, f"{perms}, at random", size=11, fill="#444")
        y += 34 + 28
    body += text(memory_x + width / 2, y - 6, "(addresses grow downwards)", "middle", 11, fill="#666")
    return svg(760, int(max(y, y_of(len(elf.data)) + 30) + 10), body)


def decoded(call):
    """strace's line with its \\xNN escapes made text again."""
    escaped = re.sub(r'"((?:\\x[0-9a-f]{2})*)"', lambda m: '"' + bytes.fromhex(m[1].replace("\\x", "")).decode(
        "utf-8", "replace").replace("\n", "\\n") + '"', call)
    return re.sub(r"\s+= ", " = ", escaped)


def run_picture(folder):
    """One run as a sequence of calls: the program on the left, the kernel on
    the right, each call an arrow across and its result an arrow back."""
    done = subprocess.run(["strace", "-e", "trace=read,write,exit", "-xx", "-s", "100", str(folder / "exprcalc")],
                          input=b"3\n", stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, timeout=60)
    calls = [decoded(line) for line in done.stderr.decode().splitlines() if re.match(r"(read|write|exit)\(", line)]
    left, right, top, step = 60, 700, 80, 44
    height = top + step * len(calls) + 40
    body = text(380, 26, f'One run given "3\\n": {len(calls)} calls between the program and the kernel',
                "middle", 15, "bold")
    for x, label in ((left, "exprcalc"), (right, "kernel")):
        body += box(x - 50, 42, 100, 24, "#eeeeee")
        body += text(x, 59, label, "middle", weight="bold")
        body += f'<line x1="{x}" y1="66" x2="{x}" y2="{height - 20}" stroke="#888"/>\n'
    body += ('<defs><marker id="arrow" markerWidth="8" markerHeight="8" refX="7" refY="4" orient="auto">'
             '<path d="M0,0 L8,4 L0,8 z" fill="#444"/></marker></defs>\n')
    for i, call in enumerate(calls):
        y = top + step * i
        asked, _, result = call.rpartition(" = ")
        body += text(left + 8, y + 8, f"{i + 1:>2}", size=10, fill="#888")
        body += text((left + right) / 2, y + 6, asked, "middle", 12)
        body += (f'<line x1="{left}" y1="{y + 12}" x2="{right}" y2="{y + 12}" stroke="#444" '
                 f'marker-end="url(#arrow)"/>\n')
        if result != "?":
            body += (f'<line x1="{right}" y1="{y + 26}" x2="{left}" y2="{y + 26}" stroke="#6aa84f" '
                     f'stroke-dasharray="4 3" marker-end="url(#arrow)"/>\n')
            body += text(right - 8, y + 38, f"= {result}", "end", 11, fill="#38761d")
        else:
            body += text(right - 8, y + 30, "does not return: the process ends", "end", 11, fill="#990000")
    return svg(760, height, body)


def show_pictures(folder, into):
    with tempfile.TemporaryDirectory() as scratch:
        elf = Elf(stripped(folder, scratch).read_bytes())
    into = Path(into)
    (into / "memory.svg").write_text(memory_picture(elf), encoding="utf-8")
    (into / "run.svg").write_text(run_picture(folder), encoding="utf-8")
    print(f"wrote {into / 'memory.svg'} and {into / 'run.svg'}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("what", choices=("run", "file", "pictures"))
    parser.add_argument("where", nargs="?", help="the preset (run, file) or the folder (pictures)")
    parser.add_argument("--build", type=Path, help="a build folder, instead of a preset's")
    arguments = parser.parse_args()
    if arguments.what == "pictures":
        folder = arguments.build or build_folder("host")
        show_pictures(folder.resolve(), arguments.where or ROOT / "docs")
    else:
        folder = (arguments.build or build_folder(arguments.where or "host")).resolve()
        (show_run if arguments.what == "run" else show_file)(folder)


if __name__ == "__main__":
    main()
