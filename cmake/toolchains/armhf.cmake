# armhf: ARMv7, Thumb-2, hard float.
set(target_triple arm-linux-gnueabihf)
set(debian_arch armhf)
set(emulator qemu-arm)
# Debian's armhf runs Thumb-2 code: GCC's default, not Clang's.
set(program_options -mthumb)
set(largest_page 65536)  # runs on arm64 kernels too, whose pages may be 64 KiB
set(kernels arm64 arm64-16k armmp-lpae)
include(${CMAKE_CURRENT_LIST_DIR}/linux.cmake)
