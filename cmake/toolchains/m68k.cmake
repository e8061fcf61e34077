# m68k: Motorola 68020 and later, big-endian.
set(target_triple m68k-linux-gnu)
set(debian_arch m68k)
set(emulator qemu-m68k)
set(clang_linker bfd)  # lld has no m68k
# Clang's m68k back end is experimental: the assemblers of Clang 14 and 19
# cannot read `trap #0` (14's also encodes `move.l %d0, %sp` as
# `move.l %a0, %sp`), and the assembly they write is not what GNU as reads.
# Clang 21's assembles it.
set(clang_unsupported "@clang@ cannot build for m68k")
set(clang_since 21)
set(largest_page 8192)  # Sun-3 and ColdFire kernels use 8 KiB pages
include(${CMAKE_CURRENT_LIST_DIR}/linux.cmake)
