#pragma once

// Console routines: strings and unsigned decimal numbers to standard output,
// one line from standard input, and the end of the process. Nothing is
// buffered: every piece of output is one write call, made at once.

// The C headers, not <cstdint> and <cstddef>: in a freestanding build the
// compiler provides these itself, where the C++ ones would pull in a C
// library's headers, which some targets (aarch64_be, armeb) have none of.
#include <stddef.h>
#include <stdint.h>

namespace console {

// slen, sprint and sprintLF are always inlined when optimising, so that slen
// sees the string itself: the length of one the compiler knows, such as a
// message, is then counted while compiling, and any other byte by byte when
// the program runs. At -O0, the build for stepping through, they are
// routines of their own, which a debugger can stop in and step out of.
#if defined(__OPTIMIZE__)
#define CONSOLE_INLINE [[gnu::always_inline]] inline
#else
#define CONSOLE_INLINE inline
#endif

// Length in bytes of a zero-terminated string (UTF-8 letters count 2 or more).
CONSOLE_INLINE constexpr uint32_t slen(const char* s) noexcept {
    if (__builtin_constant_p(__builtin_strlen(s)))
        return static_cast<uint32_t>(__builtin_strlen(s));
    uint32_t length = 0;
    while (s[length] != '\0') ++length;
    return length;
}

// Writes size bytes, continuing a short write until all are out or a write
// fails. Gives the bytes written, or the kernel's error.
long swrite(const char* bytes, size_t size) noexcept;

// Writes a newline.
void newline() noexcept;

// Writes the string. Gives the bytes written, or the kernel's error.
CONSOLE_INLINE long sprint(const char* s) noexcept { return swrite(s, slen(s)); }

// Writes the string, then a newline. Gives what sprint gave for the string.
CONSOLE_INLINE long sprintLF(const char* s) noexcept {
    const long written = sprint(s);
    newline();
    return written;
}

// Writes n in unsigned decimal, one write per digit. Gives n.
uint32_t iprint(uint32_t n) noexcept;

// Writes n as iprint does, then a newline. Gives n.
uint32_t iprintLF(uint32_t n) noexcept;

// One read from standard input into buffer, at most capacity bytes, with no
// terminator added (made again if a signal interrupted it before it read
// anything). Gives the bytes read, 0 at end of input, or the error.
long sread(char* buffer, size_t capacity) noexcept;

// The value of the leading decimal digits of s, modulo 2^32, or 0 if s does
// not begin with a digit. Reads no byte past s[size - 1], so a buffer filled
// with digits to its end needs no terminator.
uint32_t atoi(const char* s, size_t size) noexcept;

// Ends the process: status 0, or 1 if any read or write above failed.
[[noreturn]] void quit() noexcept;

}  // namespace console
