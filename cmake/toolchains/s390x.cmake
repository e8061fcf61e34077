# s390x: 64-bit IBM Z, big-endian.
set(target_triple s390x-linux-gnu)
set(debian_arch s390x)
set(emulator qemu-s390x)
set(clang_linker bfd)  # lld has no s390x
set(kernels s390x)
include(${CMAKE_CURRENT_LIST_DIR}/linux.cmake)
