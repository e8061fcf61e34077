# i386: 32-bit x86, as Debian builds it (i686).
set(target_triple i686-linux-gnu)
set(debian_arch i386)
set(emulator qemu-i386)
set(kernels 686 amd64)
include(${CMAKE_CURRENT_LIST_DIR}/linux.cmake)
