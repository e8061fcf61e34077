// A stand-in kernel for the unit tests: writes land in memory, reads find
// the end of input, exit ends the test process.
#include <cstdlib>
#include <string>
#include <vector>

#include "sys/sys.hpp"

namespace fake {
std::string out;                       // every byte written, in order
std::vector<std::size_t> write_sizes;  // the size asked of each write call
}  // namespace fake

long sys::write(int, const void* bytes, std::size_t size) noexcept {
    fake::out.append(static_cast<const char*>(bytes), size);
    fake::write_sizes.push_back(size);
    return static_cast<long>(size);
}

long sys::read(int, void*, std::size_t) noexcept { return 0; }

void sys::exit(int status) noexcept { std::_Exit(status); }
