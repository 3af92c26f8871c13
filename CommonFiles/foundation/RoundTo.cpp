#include "CommonFiles/foundation/RoundTo.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using Int128 = __int128;

// The largest magnitude the 96-bit decimal arithmetic holds: 2^96 - 1.
constexpr Int128 kDecimalMax = (Int128(1) << 96) - 1;
constexpr int kMaxScale = 28;

Int128 pow10(int n) {
    Int128 p = 1;
    for (int i = 0; i < n; ++i)
        p *= 10;
    return p;
}

std::string digitsOf(Int128 v) {
    if (v == 0) return "0";
    std::string s;
    while (v > 0) {
        s.insert(s.begin(), char('0' + int(v % 10)));
        v /= 10;
    }
    return s;
}

// floor(m * 10^k + 0.5) for a 15-digit mantissa m >= 0; false when it does not fit.
bool roundScaled(Int128 m, int k, Int128& out) {
    if (k >= 0) {
        if (k > kMaxScale) return false;
        const Int128 r = m * pow10(k); // m < 10^15 and k <= 28: well inside 128 bits
        if (r > kDecimalMax) return false;
        out = r;
        return true;
    }
    const int shift = -k;
    if (shift > 30) { // m * 10^k < 10^-15: nothing survives the half
        out = 0;
        return true;
    }
    const Int128 p = pow10(shift);
    out = (2 * m + p) / (2 * p);
    return true;
}

} // namespace

double RoundTo(double value, std::int16_t decimals) {
    if (!std::isfinite(value) || decimals > kMaxScale || decimals < -kMaxScale) return value;
    if (value == 0.0) return 0.0;

    // The value as the decimal of its 15 significant digits: mantissa m (15 digits) times
    // 10^(exponent - 14).
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.14e", std::fabs(value));
    const std::string text(buffer);
    const std::size_t e = text.find('e');
    if (e == std::string::npos) return value;
    std::string mantissa = text.substr(0, e);
    mantissa.erase(1, 1); // the decimal point after the first digit
    Int128 m = 0;
    for (char c : mantissa)
        m = m * 10 + (c - '0');
    const int exponent = std::atoi(text.c_str() + e + 1);

    Int128 r = 0;
    if (!roundScaled(m, exponent - 14 + decimals, r)) return value;
    if (r == 0) return 0.0;

    // The double nearest to r * 10^-decimals, read back from its decimal text.
    const std::string rounded = digitsOf(r) + "e" + std::to_string(-int(decimals));
    const double magnitude = std::strtod(rounded.c_str(), nullptr);
    if (!std::isfinite(magnitude)) return value;
    return value > 0 ? magnitude : -magnitude;
}
