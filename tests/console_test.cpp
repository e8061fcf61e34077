// What the program cannot reach on its own: values and buffers at the edges,
// the routines compiled against a stand-in kernel.
#include "console/console.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "sys/sys.hpp"

// The stand-in: writes land in memory, reads find the end of input, exit ends
// the test process.
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

namespace {

using Sizes = std::vector<std::size_t>;

TEST(Console, IprintWritesEachDigitAlone) {
    for (const std::uint32_t n : {0u, 2147483648u, 4294967295u}) {
        fake::out.clear();
        fake::write_sizes.clear();
        EXPECT_EQ(console::iprint(n), n);
        EXPECT_EQ(fake::out, std::to_string(n));
        EXPECT_EQ(fake::write_sizes, Sizes(fake::out.size(), 1)) << n;
    }
}

TEST(Console, SprintOfEmptyStringStillWrites) {
    fake::write_sizes.clear();
    EXPECT_EQ(console::sprint(""), 0);
    EXPECT_EQ(fake::write_sizes, Sizes{0});
}

// Each buffer is exactly as large as its text and on the heap, so reading a
// byte past it is an AddressSanitizer error.
TEST(Console, AtoiStaysInsideItsStorage) {
    const std::pair<std::string, std::uint32_t> rows[] = {
        {"", 0},
        {"7", 7},
        {"4294967295", 4294967295u},
        {"4294967296", 0},
        {"99999999999", 1215752191u},
        {std::string(80, '9'), 4294967295u},  // 10^80 - 1 is -1 modulo 2^32
        {std::string(79, '0') + "5", 5},
    };
    for (const auto& [text, value] : rows) {
        const auto buffer = std::make_unique<char[]>(text.size());
        text.copy(buffer.get(), text.size());
        EXPECT_EQ(console::atoi(buffer.get(), text.size()), value) << text;
    }
}

}  // namespace
