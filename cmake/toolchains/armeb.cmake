# armeb: ARMv7, Thumb-2, hard float, big-endian (BE8: code stays
# little-endian, data is big-endian). Debian has no such architecture, so
# there is no package.
set(target_triple armeb-linux-gnueabihf)
set(tools_triple arm-linux-gnueabihf)  # GCC builds big-endian given -mbig-endian
set(emulator qemu-armeb)
set(program_options -mthumb)
set(gcc_options -mbig-endian)
set(link_options -Wl,--be8)
set(clang_linker bfd)  # lld 14 cannot write BE8
set(largest_page 65536)  # runs on arm64 kernels too, whose pages may be 64 KiB
include(${CMAKE_CURRENT_LIST_DIR}/linux.cmake)
