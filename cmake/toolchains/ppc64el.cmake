# ppc64el: 64-bit POWER, little-endian, ELFv2.
set(target_triple powerpc64le-linux-gnu)
set(debian_arch ppc64el)
set(emulator qemu-ppc64le)
include(${CMAKE_CURRENT_LIST_DIR}/linux.cmake)
