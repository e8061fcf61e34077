# alpha: 64-bit Alpha, little-endian.
set(target_triple alpha-linux-gnu)
set(debian_arch alpha)
set(emulator qemu-alpha)
set(clang_unsupported "@clang@ has no Alpha back end")
set(largest_page 8192)  # Alpha pages are 8 KiB
include(${CMAKE_CURRENT_LIST_DIR}/linux.cmake)
