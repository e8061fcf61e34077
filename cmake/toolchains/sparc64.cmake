# sparc64: 64-bit SPARC (V9), big-endian.
set(target_triple sparc64-linux-gnu)
set(debian_arch sparc64)
set(emulator qemu-sparc64)
# Clang's own assembler, as the link-time step uses: where GNU as assembles
# the -O0 build, its line table names the sources from the build folder only.
set(clang_flags -fintegrated-as)
set(clang_linker bfd)  # lld cannot link Clang's LTO objects for sparc64
set(largest_page 8192)  # sparc64 pages are 8 KiB
# At -O0, Clang's delay-slot filler would move the store of an argument
# into the slot of a branch that the debugger takes as the end of the
# prologue: a breakpoint on the routine would show that argument unset.
list(APPEND clang_options "$<$<CONFIG:Debug>:SHELL:-mllvm -disable-sparc-delay-filler>")
include(${CMAKE_CURRENT_LIST_DIR}/linux.cmake)
