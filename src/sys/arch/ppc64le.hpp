#pragma once

// ppc64el (ELFv2): number in r0, arguments in r3, r4, r5, result in r3. A
// failed call sets the summary-overflow bit of cr0 and leaves the errno,
// positive, in r3; we hand it on negated. The kernel may overwrite r0,
// r4..r12, cr0, ctr and xer.

namespace sys::arch {

enum nr : long { exit = 1, read = 3, write = 4 };

inline long syscall3(long number, long a, long b, long c) noexcept {
    register long r0 asm("r0") = number;
    register long r3 asm("r3") = a;
    register long r4 asm("r4") = b;
    register long r5 asm("r5") = c;
    asm volatile("sc\n\t"
                 "bns+ 1f\n\t"  // summary overflow clear: r3 is the result
                 "neg  %1, %1\n"
                 "1:"
                 : "+r"(r0), "+r"(r3), "+r"(r4), "+r"(r5)
                 :
                 : "r6", "r7", "r8", "r9", "r10", "r11", "r12", "cr0", "ctr", "xer",
                   "memory");  // memory: the kernel reads or fills our buffer
    return r3;
}

}  // namespace sys::arch

// Compiled code reaches its data through r2, the TOC pointer, which nothing
// has set yet; the program lies below 2 GiB, so two instructions build it.
// The ABI wants sp 16-byte aligned and every caller to leave a minimum frame
// of 32 bytes, whose first word links to the caller's frame.
// clang-format off
asm(".text\n"
    ".global _start\n"
    ".type _start, @function\n"
    "_start:\n"
    "  lis   2, .TOC.@ha\n"
    "  addi  2, 2, .TOC.@l\n"     // the TOC pointer, before any compiled code
    "  clrrdi 1, 1, 4\n"          // aligned, whatever we were given
    "  li    0, 0\n"
    "  stdu  0, -32(1)\n"         // the minimum frame, linked to none: outermost
    "  bl    start_program\n"     // never returns
    "  nop\n"
    "  trap\n");
// clang-format on
