# hexagon: Qualcomm's Hexagon DSP. Debian has no such architecture, so there
# is no package; nor a GCC or binutils for it, so Clang builds it, LLD links
# it, and LLVM's strip strips it.
set(target_triple hexagon-unknown-linux-musl)
set(emulator qemu-hexagon)
set(gcc_unsupported "@debian@ has no GCC for Hexagon")
# No small data: LLD 14 knows none of the relocations that reach it. The
# link compiles too, for whole-program optimisation, so it is told as well.
set(clang_options -G0)
set(link_options -Wl,-mllvm,-hexagon-small-data-threshold=0)
set(strip llvm-strip)
set(largest_page 262144)  # Hexagon kernels may use pages up to 256 KiB; qemu-hexagon's are larger than 4 KiB
include(${CMAKE_CURRENT_LIST_DIR}/linux.cmake)
