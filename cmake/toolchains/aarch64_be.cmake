# aarch64_be: 64-bit ARM, big-endian. Debian has no such architecture, so
# there is no package.
set(target_triple aarch64_be-linux-gnu)
set(tools_triple aarch64-linux-gnu)  # GCC builds big-endian given -mbig-endian
set(emulator qemu-aarch64_be)
set(gcc_options -mbig-endian)
set(largest_page 65536)  # arm64 kernels may use 64 KiB pages
include(${CMAKE_CURRENT_LIST_DIR}/linux.cmake)
