#pragma once

// SPARC, sparc64 or 32-bit sparc (V8+): number in g1, arguments in o0, o1,
// o2, result in o0. A failed call sets the carry bit of the condition codes
// (the 64-bit xcc on sparc64, the 32-bit icc otherwise) and leaves the errno,
// positive, in o0, which we hand on negated. Each has its own trap.

#if defined(__arch64__)
#define SYSCALL_TRAP "t     0x6d\n\t"
#define IF_CARRY_CLEAR "bcc,pt %%xcc, 1f\n\t"
#else
#define SYSCALL_TRAP "t     0x10\n\t"
#define IF_CARRY_CLEAR "bcc   1f\n\t"
#endif

namespace sys::arch {

enum nr : long { exit = 1, read = 3, write = 4 };

// The arguments are moved into place inside the asm, not through register
// variables: at -O0, Clang 14 reloads a 64-bit register variable here with a
// 32-bit load, and every address would lose its upper half.
inline long syscall3(long number, long a, long b, long c) noexcept {
    long result;
    asm volatile("mov   %1, %%g1\n\t"
                 "mov   %2, %%o0\n\t"
                 "mov   %3, %%o1\n\t"
                 "mov   %4, %%o2\n\t" SYSCALL_TRAP IF_CARRY_CLEAR  // o0 is the result
                 " nop\n\t"                                        // the branch's delay slot
                 "sub   %%g0, %%o0, %%o0\n"
                 "1:\n\t"
                 "mov   %%o0, %0"
                 : "=r"(result)
                 : "r"(number), "r"(a), "r"(b), "r"(c)
                 : "g1", "o0", "o1", "o2", "cc",
                   "memory");  // memory: the kernel reads or fills our buffer
    return result;
}

}  // namespace sys::arch

#if defined(__arch64__)
// The stack pointer is biased: the stack's real top is at sp + 2047. The ABI
// wants that 16-byte aligned, and the caller owes every function 176 bytes at
// the top, 128 where the register window may be spilled and 48 for its
// arguments. The instruction after a call runs before the call lands.
// clang-format off
asm(START(15)                     // %o7
    "  mov   %g0, %fp\n"              // outermost frame: nothing above us
    "  add   %sp, 2047, %g1\n"        // the real stack pointer
    "  and   %g1, -16, %g1\n"         // aligned, whatever we were given
    "  sub   %g1, 2047 + 176, %sp\n"  // room for the callee, biased again
    "  call  start_program\n"         // never returns
    "   nop\n"                        // delay slot
    "  unimp 0\n"
    END_FRAME);
// clang-format on
#else
// The ABI wants sp 8-byte aligned (we give it 16), and the caller owes every
// function 96 bytes at the top: 64 where the register window may be spilled,
// 4 for a returned structure's address, 24 for its arguments, 4 to keep the
// alignment. The instruction after a call runs before the call lands.
// clang-format off
asm(START(15)                     // %o7
    "  mov   %g0, %fp\n"              // outermost frame: nothing above us
    "  and   %sp, -16, %sp\n"         // aligned, whatever we were given
    "  sub   %sp, 96, %sp\n"          // room for the callee
    "  call  start_program\n"         // never returns
    "   nop\n"                        // delay slot
    "  unimp 0\n"
    END_FRAME);
// clang-format on
#endif
