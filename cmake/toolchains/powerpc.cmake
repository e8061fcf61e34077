# powerpc: 32-bit PowerPC, big-endian.
set(target_triple powerpc-linux-gnu)
set(debian_arch powerpc)
set(emulator qemu-ppc)
set(largest_page 262144)  # 44x kernels may use 256 KiB pages, ppc64 ones 64 KiB
include(${CMAKE_CURRENT_LIST_DIR}/linux.cmake)
