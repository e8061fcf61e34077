#pragma once
#include <string>
#include <vector>

#include "sys/sys.hpp"

namespace fake {
extern std::string out;                     // every byte written, in order
extern std::vector<std::size_t> write_sizes;  // the size of each write call
}  // namespace fake
