#pragma once

// aarch64: number in x8, arguments in x0, x1, x2, result in x0;
// `svc #0` leaves every other general register as it was, and the low 128
// bits of each vector register. Of SVE's state it keeps nothing more: the
// rest of each z register and the p registers are zeroed. A build that lets
// the compiler use SVE (+sve) is told so through the clobbers.

#if defined(__ARM_FEATURE_SVE)
#define SYSCALL_CLOBBERS                                                                           \
    "memory", "z0", "z1", "z2", "z3", "z4", "z5", "z6", "z7", "z8", "z9", "z10", "z11", "z12",     \
        "z13", "z14", "z15", "z16", "z17", "z18", "z19", "z20", "z21", "z22", "z23", "z24", "z25", \
        "z26", "z27", "z28", "z29", "z30", "z31", "p0", "p1", "p2", "p3", "p4", "p5", "p6", "p7",  \
        "p8", "p9", "p10", "p11", "p12", "p13", "p14", "p15"
#else
#define SYSCALL_CLOBBERS "memory"
#endif

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
                 : SYSCALL_CLOBBERS);  // memory: the kernel reads or fills our buffer
    return x0;
}

}  // namespace sys::arch

// sp must be 16-byte aligned whenever it is used to reach memory.
// clang-format off
asm(START(30)                     // x30, the link register
    "  mov  x29, #0\n"            // outermost frame: nothing above us
    "  mov  x30, #0\n"            // and no return address
    "  mov  x0, sp\n"
    "  and  sp, x0, #-16\n"       // aligned, whatever we were given
    "  bl   start_program\n"      // never returns
    "  brk  #0\n"
    END_FRAME);
// clang-format on
