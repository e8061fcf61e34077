// A stand-in kernel for the unit tests: writes land in memory.
#include "fake_sys.hpp"

#include <cstdlib>

namespace fake {
std::string out;
std::vector<std::size_t> write_sizes;
}  // namespace fake

long sys::write(int, const void* bytes, std::size_t size) noexcept {
    fake::out.append(static_cast<const char*>(bytes), size);
    fake::write_sizes.push_back(size);
    return static_cast<long>(size);
}

long sys::read(int, void*, std::size_t) noexcept { return 0; }

void sys::exit(int status) noexcept { std::_Exit(status); }
