#pragma once

// PowerPC, 32 or 64 bits, either byte order: number in r0, arguments in r3,
// r4, r5, result in r3. A failed call sets the summary-overflow bit of cr0
// and leaves the errno, positive, in r3, which we hand on negated. The kernel
// may overwrite r0, r4..r12, cr0, ctr and xer.

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

// Every ABI here wants sp 16-byte aligned and each caller to leave a minimum
// frame whose first word links to the caller's own: none, for the outermost.
// clang-format off
#if !defined(__powerpc64__)
// 32-bit (SVR4): the minimum frame is the link and a word for lr, 16 bytes
// with the alignment.
asm(START(65)                     // lr
    "  clrrwi 1, 1, 4\n"          // aligned, whatever we were given
    "  li    0, 0\n"
    "  stwu  0, -16(1)\n"         // the minimum frame, linked to none
    "  bl    start_program\n"     // never returns
    "  trap\n"
    END_FRAME);

// Optimising for size, GCC ends a function that saved r29..r31, say, with a
// branch to _restgpr_29_x, a routine the ABI defines and libgcc would supply.
// With r11 at the caller's frame, it reloads rN..r31 from just below it and
// lr from the caller's frame, pops the frame and returns. We link no libgcc,
// so here it is, for every N, each entry falling into the next. Its own
// section lets the linker drop it from a build that does not call it.
asm(".pushsection .text.restgpr, \"ax\", @progbits\n"
    ".irp n, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31\n"
    ".global _restgpr_\\n\\()_x\n"
    "_restgpr_\\n\\()_x:\n"
    "  lwz   \\n, -4 * (32 - \\n)(11)\n"
    ".endr\n"
    "  lwz   0, 4(11)\n"           // the return address, from the caller's frame
    "  mtlr  0\n"
    "  mr    1, 11\n"              // the frame popped
    "  blr\n"
    ".popsection\n");
#elif _CALL_ELF == 2
// 64-bit ELFv2 (ppc64el): compiled code reaches its data through r2, the
// TOC pointer, which nothing has set yet; the program lies below 2 GiB, so
// two instructions build it. The minimum frame is 32 bytes.
asm(START(65)                     // lr
    "  lis   2, .TOC.@ha\n"
    "  addi  2, 2, .TOC.@l\n"     // the TOC pointer, before any compiled code
    "  clrrdi 1, 1, 4\n"          // aligned, whatever we were given
    "  li    0, 0\n"
    "  stdu  0, -32(1)\n"         // the minimum frame, linked to none
    "  bl    start_program\n"     // never returns
    "  nop\n"
    "  trap\n"
    END_FRAME);
#else
// 64-bit ELFv1 (ppc64): a function's symbol names a descriptor, three words
// in .opd: its code, its TOC pointer and an environment pointer. The entry
// point is _start's descriptor, and the kernel loads r2 from it before
// jumping to the code. The minimum frame is 112 bytes: 48 of links and saved
// registers, 64 where the callee may store its arguments.
asm(".section .opd, \"aw\"\n"
    ".align 3\n"
    ".global _start\n"
    "_start:\n"
    "  .quad .Lstart_code, .TOC.@tocbase, 0\n"
    ".text\n"
    ".Lstart_code:\n"
    START_FRAME(65)               // lr
    "  clrrdi 1, 1, 4\n"          // aligned, whatever we were given
    "  li    0, 0\n"
    "  stdu  0, -112(1)\n"        // the minimum frame, linked to none
    "  bl    start_program\n"     // never returns
    "  nop\n"
    "  trap\n"
    END_FRAME);
#endif
// clang-format on
