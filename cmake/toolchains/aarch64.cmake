# arm64: 64-bit ARM.
set(target_triple aarch64-linux-gnu)
set(debian_arch arm64)
set(emulator qemu-aarch64)
set(largest_page 65536)  # arm64 kernels may use 64 KiB pages
set(kernels arm64 arm64-16k)
include(${CMAKE_CURRENT_LIST_DIR}/linux.cmake)
