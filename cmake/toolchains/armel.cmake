# armel: ARM EABI, ARMv5TE, soft float: ARM instructions, no Thumb-2.
set(target_triple arm-linux-gnueabi)
set(debian_arch armel)
set(emulator qemu-arm)
include(${CMAKE_CURRENT_LIST_DIR}/linux.cmake)
