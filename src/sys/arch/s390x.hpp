#pragma once

// s390x: number in r1, arguments in r2, r3, r4, result in r2; `svc 0` leaves
// every other register as it was.

namespace sys::arch {

enum nr : long { exit = 1, read = 3, write = 4 };

inline long syscall3(long number, long a, long b, long c) noexcept {
    register long r1 asm("r1") = number;
    register long r2 asm("r2") = a;
    register long r3 asm("r3") = b;
    register long r4 asm("r4") = c;
    asm volatile("svc 0"
                 : "+r"(r2)
                 : "r"(r1), "r"(r3), "r"(r4)
                 : "memory");  // memory: the kernel reads or fills our buffer
    return r2;
}

}  // namespace sys::arch

// The ABI wants r15, the stack pointer, 8-byte aligned, and the caller of any
// function owes it 160 bytes at r15 where it may save registers; their first
// word links to the caller's frame.
// clang-format off
asm(START(14)                         // r14
    "  nill  %r15, 0xfff8\n"          // aligned, whatever we were given
    "  aghi  %r15, -160\n"            // the callee's register save area
    "  xc    0(8,%r15), 0(%r15)\n"    // linked to no frame: outermost
    "  brasl %r14, start_program\n"   // never returns
    "  .short 0\n"                    // opcode 0 is no instruction: SIGILL
    END_FRAME);
// clang-format on
