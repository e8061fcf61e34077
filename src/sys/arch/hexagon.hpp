#pragma once

// Hexagon: number in r6, arguments in r0, r1, r2, result in r0;
// `trap0(#1)` leaves every other register as it was.

namespace sys::arch {

enum nr : long { read = 63, write = 64, exit = 93 };

inline long syscall3(long number, long a, long b, long c) noexcept {
    register long r6 asm("r6") = number;
    register long r0 asm("r0") = a;
    register long r1 asm("r1") = b;
    register long r2 asm("r2") = c;
    asm volatile("trap0(#1)"
                 : "+r"(r0)
                 : "r"(r6), "r"(r1), "r"(r2)
                 : "memory");  // memory: the kernel reads or fills our buffer
    return r0;
}

}  // namespace sys::arch

// The ABI wants r29, the stack pointer, 8-byte aligned; r30 is the frame
// pointer and r31 the return address.
// clang-format off
asm(START(31)                     // r31, lr
    "  r30 = #0\n"                // outermost frame: nothing above us
    "  r31 = #0\n"                // and no return address
    "  r29 = and(r29, #-8)\n"     // aligned, whatever we were given
    "  call start_program\n"      // never returns
    "  trap0(#0xdb)\n"            // the debugger's trap
    END_FRAME);
// clang-format on
