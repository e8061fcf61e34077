#pragma once

// i386: number in eax, arguments in ebx, ecx, edx, result in eax;
// `int $0x80` leaves every other register as it was.

namespace sys::arch {

enum nr : long { exit = 1, read = 3, write = 4 };

inline long syscall3(long number, long a, long b, long c) noexcept {
    long ret;
    asm volatile("int $0x80"
                 : "=a"(ret)
                 : "a"(number), "b"(a), "c"(b), "d"(c)
                 : "memory");  // memory: the kernel reads or fills our buffer
    return ret;
}

}  // namespace sys::arch

// Compiled code expects esp 16-byte aligned just before each call.
// clang-format off
asm(START(8)                      // eip
    "  xor  %ebp, %ebp\n"         // outermost frame: nothing above us
    "  and  $-16, %esp\n"         // aligned at the call, whatever we were given
    "  call start_program\n"      // never returns
    "  hlt\n"
    END_FRAME);
// clang-format on
