// What the program cannot reach on its own: values and buffers at the edges.
#include "console/console.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace fake {
extern std::string out;
extern std::vector<std::size_t> write_sizes;
}  // namespace fake

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
