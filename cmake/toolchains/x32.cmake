# x32: x86-64 with 32-bit pointers and long. qemu-user has no x32, and many
# kernels are built without it or leave it off: the tests run it natively
# where this machine's kernel can, and on Debian's amd64 kernel booted with
# syscall.x32=y.
set(target_triple x86_64-linux-gnux32)
set(debian_arch x32)
set(emulator "")  # none: cross-built, yet run as it is
set(clang_linker bfd)  # lld 14 takes x32 objects from LTO for another ABI
set(kernels amd64)
include(${CMAKE_CURRENT_LIST_DIR}/linux.cmake)
