#pragma once

// aarch64: number in x8, arguments in x0, x1, x2, result in x0;
// `svc #0` leaves every other register as it was.

namespace sys::arch {

enum nr : long { read = 63, write = 64, exit = 93 };

inline long syscall3(long number, long a, long b, long c) noexcept {
    register long x8 asm("x8") = number;
    register long x0 asm("x0") = a;
    register long x1 asm("x1") = b;
    register long x2 asm("x2") = c;
    asm volatile("svc #0"
                 : "+r"(x0)
                 : "r"(x8), "r"(x1), "r"(x2)
                 : "memory");  // memory: the kernel reads or fills our buffer
    return x0;
}

}  // namespace sys::arch

// sp must be 16-byte aligned whenever it is used to reach memory.
// clang-format off
asm(".text\n"
    ".global _start\n"
    ".type _start, %function\n"
    "_start:\n"
    "  mov  x29, #0\n"            // outermost frame: nothing above us
    "  mov  x30, #0\n"            // and no return address
    "  mov  x0, sp\n"
    "  and  sp, x0, #-16\n"       // aligned, whatever we were given
    "  bl   start_program\n"      // never returns
    "  brk  #0\n");
// clang-format on
