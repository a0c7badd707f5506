// Numeric program parameters: the query string hands them over as text.
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "driver/qzmdl.h"

namespace {

// Cut toward zero to 32 bits. A double outside the range, or NaN, has no
// defined conversion, so the ends of the range (and 0 for NaN) stand in.
int32_t TruncateToInt32(double value) {
    if (std::isnan(value)) return 0;
    if (value >= 2147483647.0) return std::numeric_limits<int32_t>::max();
    if (value <= -2147483648.0) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

}  // namespace

extern "C" int32_t QZ_ParameterToLong(const char *text) {
    if (text == nullptr) return 0;
    const char *p = text;
    while (std::isspace(static_cast<unsigned char>(*p))) ++p;
    const char *end = p + std::strlen(p);
    // The decimal forms of the C library's conversion; from_chars takes no '+'
    // and no hexadecimal, so "0x1A" reads as 0 like any text that stops after "0".
    if (*p == '+') {
        ++p;
        if (*p == '+' || *p == '-') return 0;
    }
    double value = 0.0;
    auto [stop, ec] = std::from_chars(p, end, value);
    if (ec == std::errc::invalid_argument) return 0;
    if (ec == std::errc::result_out_of_range) {
        // Overflow or underflow: the C conversion of the same digits tells which.
        value = std::strtod(std::string(p, stop).c_str(), nullptr);
    }
    return TruncateToInt32(value);
}
