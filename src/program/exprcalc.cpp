// exprcalc: shows y = (10x - 5)^2, asks for x, reads one line and prints y,
// all as unsigned 32-bit numbers that wrap around.

#include <stdint.h>

#include "console/console.hpp"

namespace {

constexpr const char* expr = "Вычисление выражения: y = (10x - 5)^2";
constexpr const char* prompt = "Введите значение x: ";
constexpr const char* result = "Результат: ";

// The typed line. It starts all zero, so a line shorter than the buffer ends
// in zero bytes even without a newline; read failing leaves it empty.
char x[80];

}  // namespace

// _start, the process entry (one per processor, in sys/arch), aligns the stack
// and calls this: the whole of one run.
extern "C" [[noreturn, gnu::used]] void start_program() noexcept {
    using namespace console;
    sprintLF(expr);
    sprint(prompt);
    sread(x, sizeof x);
    const uint32_t v = atoi(x, sizeof x);
    const uint32_t t = v * 10 - 5;  // wraps below zero: x = 0 gives 2^32 - 5
    const uint32_t y = t * t;
    sprint(result);
    iprintLF(y);
    quit();
}
