# m68k: Motorola 68020 and later, big-endian.
set(target_triple m68k-linux-gnu)
set(debian_arch m68k)
set(emulator qemu-m68k)
set(clang_linker bfd)  # lld has no m68k
set(clang_options -m68020)  # Clang's default is the 68000, with no 32-bit multiply
# Clang's m68k back end is experimental: the assemblers of Clang 14 and 19
# cannot read `trap #0` (14's also encodes `move.l %d0, %sp` as
# `move.l %a0, %sp`). Clang 21's assembles the program, but its code calls
# libgcc's __muldi3 for div10's 32-by-32-bit multiply to 64 bits, one mulu.l
# on the 68020, and the program links no libgcc.
set(clang_unsupported "@clang@ cannot build m68k without libgcc (Clang 21 calls __muldi3 where the 68020 has mulu.l, and older ones cannot assemble its trap)")
set(largest_page 8192)  # Sun-3 and ColdFire kernels use 8 KiB pages
include(${CMAKE_CURRENT_LIST_DIR}/linux.cmake)
