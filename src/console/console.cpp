#include "console/console.hpp"

#include "sys/sys.hpp"

namespace console {
namespace {

constexpr int stdin_fd = 0;
constexpr int stdout_fd = 1;

// The routines hand back raw kernel results, but the run cannot see every
// failure through them: iprint gives its value and sprintLF drops the result
// of its newline. So every read and write that fails leaves its mark here, and
// quit turns it into the exit status. A failure never ends the run early.
bool failed = false;

void sprint_char(char c) noexcept {
    const char one_char[2] = {c, '\0'};
    sprint(one_char);
}

// n / 10 with no divide instruction, which armhf lacks (the compiler would
// call a libgcc helper there): 0xCCCCCCCD is 2^35 / 10 rounded up, and the
// product's top bits are exact for every 32-bit n.
uint32_t div10(uint32_t n) noexcept {
    return static_cast<uint32_t>((uint64_t{n} * 0xCCCCCCCDu) >> 35);
}

bool is_digit(char c) noexcept { return c >= '0' && c <= '9'; }

// A write may take fewer bytes than asked (a signal, a nearly full pipe); the
// rest follows from where it stopped. An interrupted write is made again, and
// one that takes nothing counts as failed, so the loop always ends.
long finish_write(const char* bytes, size_t size, long taken) noexcept {
    size_t done = 0;
    for (;; taken = sys::write(stdout_fd, bytes + done, size - done)) {
        if (taken == sys::eintr) continue;  // nothing was written: the same call again
        if (taken < 0) {
            failed = true;
            return taken;
        }
        done += static_cast<size_t>(taken);
        if (done == size) return static_cast<long>(done);
        if (taken == 0) {
            failed = true;
            return static_cast<long>(done);
        }
    }
}

}  // namespace

// All output comes down to this; normally it is exactly one write call. The
// usual case, everything taken at once, costs a call and a compare; the rest
// is kept apart in finish_write.
long swrite(const char* bytes, size_t size) noexcept {
    const long taken = sys::write(stdout_fd, bytes, size);
    if (taken == static_cast<long>(size)) return taken;
    return finish_write(bytes, size, taken);
}

void newline() noexcept { sprint_char('\n'); }

uint32_t iprint(uint32_t n) noexcept {
    char digits[10];  // 4294967295, the largest value, has ten digits
    uint32_t count = 0;
    uint32_t rest = n;
    do {  // least significant digit first; 0 still gives one digit
        const uint32_t quotient = div10(rest);
        digits[count++] = static_cast<char>('0' + (rest - quotient * 10));
        rest = quotient;
    } while (rest != 0);
    while (count != 0) sprint_char(digits[--count]);
    return n;
}

uint32_t iprintLF(uint32_t n) noexcept {
    iprint(n);
    newline();
    return n;
}

long sread(char* buffer, size_t capacity) noexcept {
    long got;
    do got = sys::read(stdin_fd, buffer, capacity);
    while (got == sys::eintr);
    if (got < 0) failed = true;
    return got;
}

uint32_t atoi(const char* s, size_t size) noexcept {
    uint32_t value = 0;  // wraps modulo 2^32, as every number here does
    for (size_t i = 0; i < size && is_digit(s[i]); ++i)
        value = value * 10 + static_cast<uint32_t>(s[i] - '0');
    return value;
}

void quit() noexcept { sys::exit(failed ? 1 : 0); }

}  // namespace console
