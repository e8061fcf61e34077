#pragma once

// m68k: number in d0, arguments in d1, d2, d3, result in d0; `trap #0`
// leaves every other register as it was.

namespace sys::arch {

enum nr : long { exit = 1, read = 3, write = 4 };

inline long syscall3(long number, long a, long b, long c) noexcept {
    register long d0 asm("d0") = number;
    register long d1 asm("d1") = a;
    register long d2 asm("d2") = b;
    register long d3 asm("d3") = c;
    asm volatile("trap #0"
                 : "+r"(d0)
                 : "r"(d1), "r"(d2), "r"(d3)
                 : "memory");  // memory: the kernel reads or fills our buffer
    return d0;
}

}  // namespace sys::arch

// The ABI asks only for an even sp; we align it to 16 all the same. (Spelt
// so that Clang's assembler reads it too: %a6 for %fp, and.l and move.l for
// andi.l and movea.l, which GNU as assembles to the same instructions.)
// clang-format off
asm(START(24)                     // pc
    "  suba.l %a6, %a6\n"         // outermost frame: nothing above us
    "  move.l %sp, %d0\n"
    "  and.l  #-16, %d0\n"
    "  move.l %d0, %sp\n"         // aligned, whatever we were given
    "  jsr    start_program\n"    // never returns
    "  illegal\n"
    END_FRAME);
// clang-format on
