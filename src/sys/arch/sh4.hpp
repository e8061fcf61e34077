#pragma once

// sh4: number in r3, arguments in r4, r5, r6, result in r0; `trapa #31`
// leaves every other register as it was. SH-3 and SH-4 may have begun the
// instructions after a trap before taking it, so five no-ops follow it.

namespace sys::arch {

enum nr : long { exit = 1, read = 3, write = 4 };

inline long syscall3(long number, long a, long b, long c) noexcept {
    register long r3 asm("r3") = number;
    register long r4 asm("r4") = a;
    register long r5 asm("r5") = b;
    register long r6 asm("r6") = c;
    register long r0 asm("r0");
    asm volatile("trapa #31\n\t"
                 "or r0, r0\n\tor r0, r0\n\tor r0, r0\n\tor r0, r0\n\tor r0, r0"
                 : "=r"(r0)
                 : "r"(r3), "r"(r4), "r"(r5), "r"(r6)
                 : "memory");  // memory: the kernel reads or fills our buffer
    return r0;
}

}  // namespace sys::arch

// The ABI wants sp (r15) 4-byte aligned; we give it 16. A call reaches only
// what a register holds, so start_program's address sits in a word after
// the code. The instruction after a jump runs before the jump lands.
// clang-format off
asm(START(17)                     // pr
    "  mov   #0, r14\n"           // outermost frame: nothing above us
    "  mov   #-16, r0\n"
    "  and   r0, r15\n"           // aligned, whatever we were given
    "  mov.l 1f, r0\n"
    "  jsr   @r0\n"               // never returns
    "   nop\n"                    // delay slot
    "  .short 0xfffd\n"           // reserved, an illegal instruction: SIGILL
    "  .align 2\n"
    "1: .long start_program\n"
    END_FRAME);
// clang-format on
