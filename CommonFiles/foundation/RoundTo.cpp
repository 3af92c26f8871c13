#include "CommonFiles/foundation/RoundTo.h"

#include <algorithm>
#include <charconv>
#include <cmath>

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

// The decimal digits of v > 0 written at out; returns the end.
char* writeDigits(Int128 v, char* out) {
    char reversed[40];
    int n = 0;
    while (v > 0) {
        reversed[n++] = char('0' + int(v % 10));
        v /= 10;
    }
    for (int i = n - 1; i >= 0; --i)
        *out++ = reversed[i];
    return out;
}

// floor(m * 10^k + 0.5) for a 15-digit mantissa m >= 0; false when it does not fit.
bool roundScaled(Int128 m, int k, Int128& out) {
    if (k >= 0) {
        if (k > kMaxScale) return false;
        // Checked before multiplying: 10^15 * 10^28 would overflow even 128 bits.
        const Int128 p = pow10(k);
        if (m > kDecimalMax / p) return false;
        out = m * p;
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
    // 10^(exponent - 14). to_chars rounds as printf's "%.14e" does, without its cost: this runs
    // for every slot written.
    char buffer[40];
    const auto printed = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value), std::chars_format::scientific, 14);
    if (printed.ec != std::errc()) return value;
    const char* e = std::find(buffer, printed.ptr, 'e');
    if (e == printed.ptr || e - buffer != 16) return value;
    Int128 m = buffer[0] - '0';
    for (const char* p = buffer + 2; p < e; ++p) // the decimal point after the first digit skipped
        m = m * 10 + (*p - '0');
    int exponent = 0;
    const char* expText = e + 1;
    if (*expText == '+') ++expText;
    if (std::from_chars(expText, printed.ptr, exponent).ec != std::errc()) return value;

    Int128 r = 0;
    if (!roundScaled(m, exponent - 14 + decimals, r)) return value;
    if (r == 0) return 0.0;

    // The double nearest to r * 10^-decimals, read back from its decimal text.
    char digits[64];
    char* end = writeDigits(r, digits);
    *end++ = 'e';
    end = std::to_chars(end, digits + sizeof digits, -int(decimals)).ptr;
    double magnitude = 0.0;
    if (std::from_chars(digits, end, magnitude).ec != std::errc() || !std::isfinite(magnitude)) return value;
    return value > 0 ? magnitude : -magnitude;
}
