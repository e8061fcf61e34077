#pragma once

// hppa: number in r20, arguments in r26, r25, r24, result in r28, a negated
// errno on failure. The kernel is entered by a branch into its gateway page,
// which leaves the return address in r31; it may overwrite r1, r2, r19..r23,
// r29 and r31.

namespace sys::arch {

enum nr : long { exit = 1, read = 3, write = 4 };

inline long syscall3(long number, long a, long b, long c) noexcept {
    register long r20 asm("r20") = number;
    register long r26 asm("r26") = a;
    register long r25 asm("r25") = b;
    register long r24 asm("r24") = c;
    register long r28 asm("r28");
    asm volatile("ble  0x100(%%sr2, %%r0)\n\t"
                 "nop"  // the branch's delay slot
                 : "=r"(r28), "+r"(r20), "+r"(r26), "+r"(r25), "+r"(r24)
                 :
                 : "r1", "r2", "r19", "r21", "r22", "r23", "r29", "r31",
                   "memory");  // memory: the kernel reads or fills our buffer
    return r28;
}

}  // namespace sys::arch

// The stack grows upward: sp points just past the last frame, and the caller
// owes every function 64 bytes below sp for its return pointer and
// arguments. The ABI wants sp 64-byte aligned. Compiled code reaches its data
// through dp (r27), which must hold $global$. The instruction after a branch
// runs before the branch lands.
// clang-format off
asm(START(2)                      // %r2, rp
    "  ldil  L%$global$, %dp\n"
    "  ldo   R%$global$(%dp), %dp\n"  // dp, before any compiled code
    "  ldo   63(%sp), %sp\n"
    "  depi  0, 31, 6, %sp\n"         // aligned upward, whatever we were given
    "  ldo   64(%sp), %sp\n"          // room for the callee's frame marker
    "  copy  %r0, %r3\n"              // outermost frame: nothing above us
    "  bl    start_program, %rp\n"    // never returns
    "  nop\n"                         // delay slot
    "  break 0, 0\n"
    END_FRAME);
// clang-format on
