# sh4: SuperH SH-4, little-endian.
set(target_triple sh4-linux-gnu)
set(debian_arch sh4)
set(emulator qemu-sh4)
set(clang_unsupported "@clang@ has no SuperH back end")
set(largest_page 65536)  # SuperH kernels may use 64 KiB pages
include(${CMAKE_CURRENT_LIST_DIR}/linux.cmake)
