# x86-64: native on amd64, emulated elsewhere.
set(target_triple x86_64-linux-gnu)
set(debian_arch amd64)
set(emulator qemu-x86_64)
set(kernels amd64)
include(${CMAKE_CURRENT_LIST_DIR}/linux.cmake)
