#pragma once

#include <cstdint>
#include <string>

namespace tw {

// Decimal digits with a comma between groups of three: 50000 becomes "50,000".
std::string group_thousands(std::uint64_t value);

}  // namespace tw
