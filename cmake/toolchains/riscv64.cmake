set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR riscv64)
set(CMAKE_CXX_COMPILER riscv64-linux-gnu-g++)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-riscv64)
# Keep constants out of the small-data section, which the linker places with
# the writable data: it would share a segment with the code otherwise.
set(CMAKE_CXX_FLAGS_INIT -msmall-data-limit=0)
