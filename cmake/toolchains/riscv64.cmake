# riscv64: RV64GC.
set(target_triple riscv64-linux-gnu)
set(debian_arch riscv64)
set(emulator qemu-riscv64)
include(${CMAKE_CURRENT_LIST_DIR}/linux.cmake)
