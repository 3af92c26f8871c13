#pragma once

#include <cstdint>

// Rounds half away from zero to a number of decimals (negative: to tens, hundreds, ...), in exact
// decimal arithmetic on the value's 15 significant digits, so that 2.675 gives 2.68 and 1.005
// gives 1.01 although neither is exactly representable as a double. The result is the double
// nearest to the rounded decimal. A value that does not fit the decimal arithmetic (more than
// 28 digits before the point once scaled, more than 28 decimals asked, not finite) comes back
// unchanged.
double RoundTo(double value, std::int16_t decimals);
