# armel: ARM EABI, ARMv5TE, soft float: ARM instructions, no Thumb-2.
set(target_triple arm-linux-gnueabi)
set(debian_arch armel)
set(emulator qemu-arm)
# Debian's baseline; GCC's default, not Clang's.
set(program_options -march=armv5te)
set(largest_page 65536)  # runs on arm64 kernels too, whose pages may be 64 KiB
set(kernels arm64 arm64-16k armmp-lpae)
include(${CMAKE_CURRENT_LIST_DIR}/linux.cmake)
