#pragma once
// Reading numbers from the texts of the settings file and the host: parsing
// never fails, it reads the longest leading number and yields 0 when there is
// none. Independent of the process locale.
#include <cstdint>
#include <string>

namespace vq {

// Leading blanks, an optional sign, then decimal digits up to the first
// non-digit; saturates at the 64-bit limits.
int64_t ParseDecimalInteger(const std::string& text);

// Leading blanks, an optional sign, digits with an optional decimal point and
// an optional exponent. Magnitudes beyond the float range give the largest
// float of that sign.
float ParseDecimalFloat(const std::string& text);

}  // namespace vq
