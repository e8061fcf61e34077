# sh4eb: SuperH SH-4, big-endian.
set(target_triple sh4eb-linux-gnu)
set(tools_triple sh4-linux-gnu)  # GCC builds big-endian given -mb
set(debian_arch sh4eb)
set(emulator qemu-sh4eb)
# GCC would have the linker emulate big-endian SH by a name Debian's sh4 ld
# does not know: the link runs the little-endian one, told big-endian.
set(compile_options -mb)
set(link_options -Wl,-EB)
set(clang_unsupported "@clang@ has no SuperH back end")
set(largest_page 65536)  # SuperH kernels may use 64 KiB pages
include(${CMAKE_CURRENT_LIST_DIR}/linux.cmake)
