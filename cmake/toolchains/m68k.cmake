# m68k: Motorola 68020 and later, big-endian.
set(target_triple m68k-linux-gnu)
set(debian_arch m68k)
set(emulator qemu-m68k)
include(${CMAKE_CURRENT_LIST_DIR}/linux.cmake)
