# armhf: ARMv7, Thumb-2, hard float.
set(target_triple arm-linux-gnueabihf)
set(debian_arch armhf)
set(emulator qemu-arm)
include(${CMAKE_CURRENT_LIST_DIR}/linux.cmake)
