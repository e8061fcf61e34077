#pragma once

// RISC-V, riscv64 or riscv32 (the same calls, in registers of either
// width): number in a7, arguments in a0, a1, a2, result in a0;
// `ecall` leaves every other general and floating-point register as it was,
// but not the vector registers (the V extension), which the kernel discards.
// A build that lets the compiler use them (rv64gcv) is told so through the
// clobbers; GCC before 13 has no name for them, and emits no vector code.

#if defined(__riscv_vector) && (defined(__clang__) || __GNUC__ >= 13)
#define SYSCALL_CLOBBERS                                                                           \
    "memory", "v0", "v1", "v2", "v3", "v4", "v5", "v6", "v7", "v8", "v9", "v10", "v11", "v12",     \
        "v13", "v14", "v15", "v16", "v17", "v18", "v19", "v20", "v21", "v22", "v23", "v24", "v25", \
        "v26", "v27", "v28", "v29", "v30", "v31"
#else
#define SYSCALL_CLOBBERS "memory"
#endif

namespace sys::arch {

enum nr : long { read = 63, write = 64, exit = 93 };

inline long syscall3(long number, long a, long b, long c) noexcept {
    register long a7 asm("a7") = number;
    register long a0 asm("a0") = a;
    register long a1 asm("a1") = b;
    register long a2 asm("a2") = c;
    asm volatile("ecall"
                 : "+r"(a0)
                 : "r"(a7), "r"(a1), "r"(a2)
                 : SYSCALL_CLOBBERS);  // memory: the kernel reads or fills our buffer
    return a0;
}

}  // namespace sys::arch

// The linker may turn accesses to globals into offsets from gp, so gp must
// hold __global_pointer$ before any compiled code runs. It is loaded without
// relaxation, or the linker would rewrite this load into one relative to gp.
// clang-format off
asm(START(1)                      // ra
    "  .option push\n"
    "  .option norelax\n"
    "  lla  gp, __global_pointer$\n"
    "  .option pop\n"
    "  li   s0, 0\n"              // outermost frame: nothing above us
    "  li   ra, 0\n"              // and no return address
    "  andi sp, sp, -16\n"        // the ABI's 16-byte alignment, whatever we were given
    "  call start_program\n"      // never returns
    "  unimp\n"
    END_FRAME);
// clang-format on
