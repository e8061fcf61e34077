#pragma once

// mips64 and mips64el, n64: number in v0, arguments in a0, a1, a2, result in
// v0. The kernel sets a3 to 0 when the call succeeded; when it failed, to 1,
// with the errno, positive, in v0. It may overwrite at, v1, a4..a7, t0..t3,
// t8, t9, hi and lo. Numbers start at 5000, where n64's table begins.

namespace sys::arch {

enum nr : long { read = 5000, write = 5001, exit = 5058 };

inline long syscall3(long number, long a, long b, long c) noexcept {
    register long v0 asm("$2") = number;
    register long a0 asm("$4") = a;
    register long a1 asm("$5") = b;
    register long a2 asm("$6") = c;
    register long a3 asm("$7");
    asm volatile("syscall"
                 : "+r"(v0), "=r"(a3)
                 : "r"(a0), "r"(a1), "r"(a2)
                 : "$1", "$3", "$8", "$9", "$10", "$11", "$12", "$13", "$14", "$15", "$24",
                   "$25", "hi", "lo", "memory");  // memory: the kernel reads or fills our buffer
    return a3 != 0 ? -v0 : v0;
}

}  // namespace sys::arch

// n64 wants sp 16-byte aligned, in 64-bit arithmetic: a 32-bit `and` would
// cut off the upper half of the address. The instruction after a jump runs
// before the jump lands: its delay slot is ours to fill, so the assembler
// must not reorder here.
// clang-format off
asm(".text\n"
    ".global _start\n"
    ".type _start, @function\n"
    ".set push\n"
    ".set noreorder\n"
    "_start:\n"
    "  move  $fp, $zero\n"        // outermost frame: nothing above us
    "  move  $ra, $zero\n"        // and no return address
    "  daddiu $12, $zero, -16\n"  // ...11110000, all 64 bits of it
    "  and   $sp, $sp, $12\n"     // aligned, whatever we were given
    "  jal   start_program\n"     // never returns
    "  nop\n"                     // delay slot
    "  break\n"
    ".set pop\n");
// clang-format on
