# riscv32: 32-bit RISC-V. Debian has no such architecture, so there is no
# package.
set(target_triple riscv32-linux-gnu)
set(tools_triple riscv64-linux-gnu)  # GCC builds 32-bit given -march and -mabi
set(emulator qemu-riscv32)
# The same ISA and ABI from both compilers (Clang's own default would be
# rv32imafdc with ilp32d).
set(program_options -march=rv32imac -mabi=ilp32)
set(clang_options -mno-relax)
include(${CMAKE_CURRENT_LIST_DIR}/linux.cmake)
