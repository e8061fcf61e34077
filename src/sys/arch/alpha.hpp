#pragma once

// alpha: number in v0, arguments in a0, a1, a2, result in v0. The kernel sets
// a3 to 0 when the call succeeded; when it failed, to 1, with the errno,
// positive, in v0, which we hand on negated. `callsys` may overwrite the
// temporaries t0..t11, a4, a5, pv and at.

namespace sys::arch {

enum nr : long { exit = 1, read = 3, write = 4 };

inline long syscall3(long number, long a, long b, long c) noexcept {
    register long v0 asm("$0") = number;
    register long a0 asm("$16") = a;
    register long a1 asm("$17") = b;
    register long a2 asm("$18") = c;
    register long a3 asm("$19");
    asm volatile("callsys"
                 : "+r"(v0), "=r"(a3), "+r"(a0), "+r"(a1), "+r"(a2)
                 :
                 : "$1", "$2", "$3", "$4", "$5", "$6", "$7", "$8", "$20", "$21", "$22", "$23",
                   "$24", "$25", "$27", "$28",
                   "memory");  // memory: the kernel reads or fills our buffer
    return a3 != 0 ? -v0 : v0;
}

}  // namespace sys::arch

// Compiled code reaches its data and calls through gp, which nothing has set
// yet: ldgp builds it from the address of the ldgp itself, which the branch
// before it leaves in gp. A call goes through pv, which holds the callee's
// address. The ABI wants sp 16-byte aligned.
// clang-format off
asm(START(26)                     // $26, ra
    "  br    $29, 1f\n"
    "1: ldgp $29, 0($29)\n"       // gp, before any compiled code
    "  mov   $31, $15\n"          // outermost frame (fp): nothing above us
    "  mov   $31, $26\n"          // and no return address (ra)
    "  bic   $30, 15, $30\n"      // sp aligned, whatever we were given
    "  lda   $27, start_program\n"
    "  jsr   $26, ($27), start_program\n"  // never returns
    "  call_pal 0x81\n"           // bugchk
    END_FRAME);
// clang-format on
