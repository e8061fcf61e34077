# sparc: 32-bit SPARC, V8+ (V9 instructions in a 32-bit program).
set(target_triple sparc-linux-gnu)
set(tools_triple sparc64-linux-gnu)  # GCC builds 32-bit given -m32
set(debian_arch sparc)
set(emulator qemu-sparc32plus)
set(gcc_options -m32)
# Clang builds plain 32-bit SPARC (V8): for a V9 processor, Clang 19 marks
# its objects SPARC32PLUS without the V8+ flag, and GNU ld refuses them.
set(clang_options -mcpu=v8)
set(clang_flags -fintegrated-as)  # Clang's own assembler: Debian has no sparc-linux-gnu-as
set(clang_linker bfd)  # lld has no SPARC
set(largest_page 8192)  # runs on sparc64 kernels too, whose pages are 8 KiB
# At -O0, Clang's delay-slot filler would move the store of an argument
# into the slot of a branch that the debugger takes as the end of the
# prologue: a breakpoint on the routine would show that argument unset.
list(APPEND clang_options "$<$<CONFIG:Debug>:SHELL:-mllvm -disable-sparc-delay-filler>")
include(${CMAKE_CURRENT_LIST_DIR}/linux.cmake)
