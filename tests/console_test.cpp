// What the program cannot reach on its own: values and buffers at the edges.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "console/console.hpp"
#include "fake_sys.hpp"

namespace {

struct Written {
    std::string bytes;
    std::vector<std::size_t> sizes;
};

template <class F>
Written capture(F f) {
    fake::out.clear();
    fake::write_sizes.clear();
    f();
    return {fake::out, fake::write_sizes};
}

TEST(Console, IprintWritesEachDigitAlone) {
    const struct {
        std::uint32_t n;
        std::string text;
    } rows[] = {{0, "0"}, {2147483648u, "2147483648"}, {4294967295u, "4294967295"}};
    for (const auto& row : rows) {
        std::uint32_t given = 0;
        const Written w = capture([&] { given = console::iprint(row.n); });
        EXPECT_EQ(w.bytes, row.text);
        EXPECT_EQ(w.sizes, std::vector<std::size_t>(row.text.size(), 1)) << row.text;
        EXPECT_EQ(given, row.n);
    }
}

TEST(Console, SprintOfEmptyStringStillWrites) {
    long given = -1;
    const Written w = capture([&] { given = console::sprint(""); });
    EXPECT_EQ(w.sizes, std::vector<std::size_t>{0});
    EXPECT_EQ(given, 0);
}

// Each buffer is exactly as large as its text, on the heap, so that reading
// one byte past it is an AddressSanitizer error.
TEST(Console, AtoiStaysInsideItsStorage) {
    const struct {
        std::string text;
        std::uint32_t value;
    } rows[] = {
        {"", 0},
        {"7", 7},
        {"4294967295", 4294967295u},
        {"4294967296", 0},
        {"99999999999", 1215752191u},
        {std::string(80, '9'), 4294967295u},  // 10^80 - 1 is -1 modulo 2^32
        {std::string(79, '0') + "5", 5},
    };
    for (const auto& row : rows) {
        const auto buffer = std::make_unique<char[]>(row.text.size());
        row.text.copy(buffer.get(), row.text.size());
        EXPECT_EQ(console::atoi(buffer.get(), row.text.size()), row.value) << row.text;
    }
}

}  // namespace
