// The kernel calls, made directly on the processor we are built for.

#include "sys/arch.hpp"
#include "sys/sys.hpp"

namespace sys {

long read(int fd, void* buffer, size_t size) noexcept {
    return arch::syscall3(arch::nr::read, fd, reinterpret_cast<long>(buffer),
                          static_cast<long>(size));
}

long write(int fd, const void* bytes, size_t size) noexcept {
    return arch::syscall3(arch::nr::write, fd, reinterpret_cast<long>(bytes),
                          static_cast<long>(size));
}

void exit(int status) noexcept {
    for (;;) arch::syscall3(arch::nr::exit, status, 0, 0);  // exit does not come back
}

}  // namespace sys
