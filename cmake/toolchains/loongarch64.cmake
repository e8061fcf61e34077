# loongarch64: LoongArch, 64-bit (Debian's loong64).
set(target_triple loongarch64-linux-gnu)
set(debian_arch loong64)
set(emulator qemu-loongarch64)
# Debian has a cross compiler for it from Debian 13 on; Clang, a back end
# from Clang 16 on.
set(gcc_unsupported "@debian@ has no compiler for loongarch64")
set(gcc_since 13)
set(clang_unsupported "@clang@ has no LoongArch back end")
set(clang_since 16)
set(kernels loong64)
set(largest_page 65536)  # LoongArch kernels may use pages of 4, 16 or 64 KiB
include(${CMAKE_CURRENT_LIST_DIR}/linux.cmake)
