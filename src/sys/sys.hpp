#pragma once

// The three kernel calls this program makes, and nothing else. The program
// links linux.cpp, which makes them on the processor it is built for; the unit
// tests link a stand-in that works on memory.

#include <stddef.h>

namespace sys {

// Linux reports an error as a result from -4095 to -1, the negated errno.
inline constexpr long eintr = -4;  // the call was interrupted before doing anything

long read(int fd, void* buffer, size_t size) noexcept;
long write(int fd, const void* bytes, size_t size) noexcept;
[[noreturn]] void exit(int status) noexcept;

}  // namespace sys
