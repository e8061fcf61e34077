# ppc64: 64-bit PowerPC, big-endian, ELFv1 (function descriptors).
set(target_triple powerpc64-linux-gnu)
set(debian_arch ppc64)
set(emulator qemu-ppc64)
set(clang_linker bfd)  # lld has no ELFv1, only ELFv2
set(largest_page 65536)  # ppc64 kernels may use 64 KiB pages
include(${CMAKE_CURRENT_LIST_DIR}/linux.cmake)
