# sparc64: 64-bit SPARC (V9), big-endian.
set(target_triple sparc64-linux-gnu)
set(debian_arch sparc64)
set(emulator qemu-sparc64)
set(clang_linker bfd)  # lld cannot link Clang's LTO objects for sparc64
set(largest_page 8192)  # sparc64 pages are 8 KiB
include(${CMAKE_CURRENT_LIST_DIR}/linux.cmake)
