# mipsel: 32-bit MIPS, little-endian, o32.
set(target_triple mipsel-linux-gnu)
set(debian_arch mipsel)
set(emulator qemu-mipsel)
# Plain static code: no position-independent calls through t9 and a GOT, and
# no data reached through gp, which would need gp set up at entry.
set(program_options -mno-abicalls -G0)
set(largest_page 65536)  # MIPS kernels may use pages up to 64 KiB
set(kernels 4kc-malta 5kc-malta)
include(${CMAKE_CURRENT_LIST_DIR}/linux.cmake)
