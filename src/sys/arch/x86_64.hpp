#pragma once

// x86-64: number in rax, arguments in rdi, rsi, rdx, result in rax;
// `syscall` overwrites rcx and r11.

namespace sys::arch {

enum nr : long { read = 0, write = 1, exit = 60 };

inline long syscall3(long number, long a, long b, long c) noexcept {
    long ret;
    asm volatile("syscall"
                 : "=a"(ret)
                 : "a"(number), "D"(a), "S"(b), "d"(c)
                 : "rcx", "r11", "memory");  // memory: the kernel reads or fills our buffer
    return ret;
}

}  // namespace sys::arch

// The kernel jumps here with rsp 16-byte aligned; compiled code expects rsp to
// be 8 past that on entry, as after a call, so we make that call ourselves.
// clang-format off
asm(".text\n"
    ".global _start\n"
    ".type _start, %function\n"
    "_start:\n"
    "  xor  %ebp, %ebp\n"         // outermost frame: nothing above us
    "  and  $-16, %rsp\n"         // aligned at the call, whatever we were given
    "  call start_program\n"      // never returns
    "  hlt\n");
// clang-format on
