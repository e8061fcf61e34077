#pragma once

// armel (EABI, ARMv5TE, soft float, ARM instructions): number in r7,
// arguments in r0, r1, r2, result in r0; `svc #0` leaves every other register
// as it was. ARM code keeps its frame pointer in r11, so r7 is free to name.

namespace sys::arch {

enum nr : long { exit = 1, read = 3, write = 4 };

inline long syscall3(long number, long a, long b, long c) noexcept {
    register long r7 asm("r7") = number;
    register long r0 asm("r0") = a;
    register long r1 asm("r1") = b;
    register long r2 asm("r2") = c;
    asm volatile("svc #0"
                 : "+r"(r0)
                 : "r"(r7), "r"(r1), "r"(r2)
                 : "memory");  // memory: the kernel reads or fills our buffer
    return r0;
}

}  // namespace sys::arch

// The EABI wants sp 8-byte aligned at every call; we give it 16, as the kernel
// does. ARMv5TE has no Thumb-2, so this is ARM code.
// clang-format off
asm(".arm\n"
    START(14)                     // lr
    "  mov  fp, #0\n"             // outermost frame: nothing above us
    "  mov  lr, #0\n"             // and no return address
    "  bic  sp, sp, #15\n"        // aligned, whatever we were given
    "  bl   start_program\n"      // never returns
    "  bkpt #0\n"
    END_FRAME);
// clang-format on
