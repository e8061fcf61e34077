# powerpc: 32-bit PowerPC, big-endian.
set(target_triple powerpc-linux-gnu)
set(debian_arch powerpc)
set(emulator qemu-ppc)
include(${CMAKE_CURRENT_LIST_DIR}/linux.cmake)
