#pragma once

// x86-64, and x32 (its 32-bit pointers and long, in the same 64-bit
// registers): number in rax, arguments in rdi, rsi, rdx, result in rax;
// `syscall` overwrites rcx and r11. x32's calls carry bit 30 in their number.

namespace sys::arch {

#if defined(__ILP32__)
inline constexpr long x32 = 0x40000000;
enum nr : long { read = x32 | 0, write = x32 | 1, exit = x32 | 60 };
#else
enum nr : long { read = 0, write = 1, exit = 60 };
#endif

// The kernel reads all 64 bits of each register, and x32's 32-bit values
// must arrive zero-extended (a pointer above 2 GiB would otherwise turn
// negative), so every argument goes in as a 64-bit word.
using word = unsigned long long;

inline word word_of(long value) noexcept {
    return static_cast<word>(static_cast<unsigned long>(value));
}

inline long syscall3(long number, long a, long b, long c) noexcept {
    word ret;
    asm volatile("syscall"
                 : "=a"(ret)
                 : "a"(word_of(number)), "D"(word_of(a)), "S"(word_of(b)), "d"(word_of(c))
                 : "rcx", "r11", "memory");  // memory: the kernel reads or fills our buffer
    return static_cast<long>(ret);
}

}  // namespace sys::arch

// The kernel jumps here with rsp 16-byte aligned; compiled code expects rsp to
// be 8 past that on entry, as after a call, so we make that call ourselves.
// clang-format off
asm(START(16)                     // rip
    "  xor  %ebp, %ebp\n"         // outermost frame: nothing above us
    "  and  $-16, %rsp\n"         // aligned at the call, whatever we were given
    "  call start_program\n"      // never returns
    "  hlt\n"
    END_FRAME);
// clang-format on
