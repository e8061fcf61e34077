#pragma once

// armhf (EABI): number in r7, arguments in r0, r1, r2, result in r0;
// `svc #0` leaves every other register as it was. In Thumb code r7 is the
// frame pointer, which the compiler will not hand out as an operand at -O0,
// so the number is swapped into r7 around the trap through a scratch register.

namespace sys::arch {

enum nr : long { exit = 1, read = 3, write = 4 };

inline long syscall3(long number, long a, long b, long c) noexcept {
    register long r0 asm("r0") = a;
    register long r1 asm("r1") = b;
    register long r2 asm("r2") = c;
    long saved;
    asm volatile("mov %1, r7\n\tmov r7, %2\n\tsvc #0\n\tmov r7, %1"
                 : "+r"(r0), "=&r"(saved)
                 : "r"(number), "r"(r1), "r"(r2)
                 : "memory");  // memory: the kernel reads or fills our buffer
    return r0;
}

}  // namespace sys::arch

// The EABI wants sp 8-byte aligned at every call; we give it 16, as the kernel
// does. Thumb code, like the compiled code around it.
// clang-format off
asm(".syntax unified\n"
    ".thumb\n"
    ".thumb_func\n"
    START(14)                     // lr
    "  movs r7, #0\n"             // outermost frame: nothing above us
    "  mov  lr, r7\n"             // and no return address
    "  mov  r0, sp\n"
    "  bic  r0, r0, #15\n"
    "  mov  sp, r0\n"             // aligned, whatever we were given
    "  bl   start_program\n"      // never returns
    "  udf  #0\n"
    END_FRAME);
// clang-format on
