# mipsn32el: little-endian MIPS64, n32 (64-bit registers, 32-bit pointers).
set(target_triple mips64el-linux-gnuabin32)
set(tools_triple mips64el-linux-gnuabi64)  # GCC builds n32 given -mabi=n32
set(debian_arch mipsn32el)
set(emulator qemu-mipsn32el)
set(program_options -mno-abicalls -G0 -fno-pic)
set(gcc_options -mabi=n32 -no-pie)
set(clang_linker bfd)  # lld 14 writes broken n32 objects from LTO
set(largest_page 65536)  # MIPS kernels may use pages up to 64 KiB
set(kernels 5kc-malta)  # through its compat layer
include(${CMAKE_CURRENT_LIST_DIR}/linux.cmake)
