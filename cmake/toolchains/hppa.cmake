# hppa: 32-bit PA-RISC, big-endian; its stack grows upward.
set(target_triple hppa-linux-gnu)
set(debian_arch hppa)
set(emulator qemu-hppa)
set(clang_unsupported "@clang@ has no PA-RISC back end")
set(largest_page 65536)  # PA-RISC kernels may use 64 KiB pages
include(${CMAKE_CURRENT_LIST_DIR}/linux.cmake)
