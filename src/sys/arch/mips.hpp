#pragma once

// MIPS, either byte order, o32 (mips, mipsel), n64 (mips64, mips64el) or
// n32 (mipsn32, mipsn32el: 64-bit registers, 32-bit pointers and long):
// number in v0, arguments in a0, a1, a2, result in v0. The kernel sets a3 to
// 0 when the call succeeded; when it failed, to 1, with the errno, positive,
// in v0, which we hand on negated. It may overwrite at, v1, the temporaries
// ($8..$15, $24, $25), hi and lo. Each ABI numbers its calls from its own base.

namespace sys::arch {

#if _MIPS_SIM == _ABIO32
enum nr : long { exit = 4001, read = 4003, write = 4004 };
#elif _MIPS_SIM == _ABIN32
enum nr : long { read = 6000, write = 6001, exit = 6058 };
#else
enum nr : long { read = 5000, write = 5001, exit = 5058 };
#endif

inline long syscall3(long number, long a, long b, long c) noexcept {
    register long v0 asm("$2") = number;
    register long a0 asm("$4") = a;
    register long a1 asm("$5") = b;
    register long a2 asm("$6") = c;
    register long a3 asm("$7");
    asm volatile("syscall"
                 : "+r"(v0), "=r"(a3)
                 : "r"(a0), "r"(a1), "r"(a2)
                 : "$1", "$3", "$8", "$9", "$10", "$11", "$12", "$13", "$14", "$15", "$24",
                   "$25", "hi", "lo", "memory");  // memory: the kernel reads or fills our buffer
    return a3 != 0 ? -v0 : v0;
}

}  // namespace sys::arch

// The instruction after a jump runs before the jump lands: its delay slot is
// ours to fill, so the assembler must not reorder here. o32 wants sp 8-byte
// aligned (we give it 16), and the caller owes every function 16 bytes below
// its frame where the callee may store a0..a3. n64 and n32 want sp 16-byte aligned,
// masked in 64-bit arithmetic: a 32-bit mask would cut off the upper half of
// the address.
// clang-format off
asm(".set push\n"
    ".set noreorder\n"
    START(31)                     // $31, ra
    "  move  $fp, $zero\n"        // outermost frame: nothing above us
    "  move  $ra, $zero\n"        // and no return address
#if _MIPS_SIM == _ABIO32
    "  li    $8, -16\n"
    "  and   $sp, $sp, $8\n"      // aligned, whatever we were given
    "  addiu $sp, $sp, -16\n"     // the callee's room for a0..a3
#else
    "  daddiu $8, $zero, -16\n"   // ...11110000, all 64 bits of it
    "  and   $sp, $sp, $8\n"      // aligned, whatever we were given
#endif
    "  jal   start_program\n"     // never returns
    "  nop\n"                     // delay slot
    "  break\n"
    ".set pop\n"
    END_FRAME);
// clang-format on
