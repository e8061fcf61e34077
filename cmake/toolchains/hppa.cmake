# hppa: 32-bit PA-RISC, big-endian; its stack grows upward.
set(target_triple hppa-linux-gnu)
set(debian_arch hppa)
set(emulator qemu-hppa)
set(clang_unsupported "Clang 14 has no PA-RISC back end")
include(${CMAKE_CURRENT_LIST_DIR}/linux.cmake)
