# mips64el: 64-bit MIPS, little-endian, n64.
set(target_triple mips64el-linux-gnuabi64)
set(debian_arch mips64el)
set(emulator qemu-mips64el)
# Plain static code: no position-independent calls through t9 and a GOT, and
# no data reached through gp, which would need gp set up at entry. The program
# lies below 2 GiB, so GCC can build an address in two instructions, not six.
set(program_options -mno-abicalls -G0)
set(gcc_options -msym32)
set(largest_page 65536)  # MIPS kernels may use pages up to 64 KiB
set(kernels 5kc-malta)
include(${CMAKE_CURRENT_LIST_DIR}/linux.cmake)
