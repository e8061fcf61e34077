# armhf: ARMv7, Thumb-2, hard float.
set(target_triple arm-linux-gnueabihf)
set(debian_arch armhf)
set(emulator qemu-arm)
# Debian's armhf runs Thumb-2 code: GCC's default, not Clang's.
set(program_options -mthumb)
include(${CMAKE_CURRENT_LIST_DIR}/linux.cmake)
