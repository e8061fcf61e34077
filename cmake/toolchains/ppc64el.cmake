# ppc64el: 64-bit POWER, little-endian, ELFv2.
set(target_triple powerpc64le-linux-gnu)
set(debian_arch ppc64el)
set(emulator qemu-ppc64le)
set(largest_page 65536)  # ppc64 kernels may use 64 KiB pages
set(kernels powerpc64le)
include(${CMAKE_CURRENT_LIST_DIR}/linux.cmake)
