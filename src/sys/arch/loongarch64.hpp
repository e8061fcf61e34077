#pragma once

// LoongArch64: number in a7, arguments in a0, a1, a2, result in a0;
// `syscall 0` may overwrite the temporaries t0..t8 and leaves every other
// general register as it was.

namespace sys::arch {

enum nr : long { read = 63, write = 64, exit = 93 };

inline long syscall3(long number, long a, long b, long c) noexcept {
    register long a7 asm("$a7") = number;
    register long a0 asm("$a0") = a;
    register long a1 asm("$a1") = b;
    register long a2 asm("$a2") = c;
    asm volatile("syscall 0"
                 : "+r"(a0)
                 : "r"(a7), "r"(a1), "r"(a2)
                 : "$t0", "$t1", "$t2", "$t3", "$t4", "$t5", "$t6", "$t7", "$t8",
                   "memory");  // memory: the kernel reads or fills our buffer
    return a0;
}

}  // namespace sys::arch

// clang-format off
asm(START(1)                      // ra
    "  move  $fp, $zero\n"        // outermost frame: nothing above us
    "  move  $ra, $zero\n"        // and no return address
    "  bstrins.d $sp, $zero, 3, 0\n"  // the ABI's 16-byte alignment, whatever we were given
    "  bl    start_program\n"     // never returns
    "  break 0\n"
    END_FRAME);
// clang-format on
