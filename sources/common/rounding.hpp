#pragma once
#include <string>

namespace tesmira {

// Fixed-point text of x with `decimals` digits, correctly rounded (ties to even on the
// exact binary value); "nan", "inf" and "-inf" for the non-finite values.
std::string format_fixed(double x, int decimals);

// x rounded half to even to `decimals` decimals, as a double (the nearest double to
// the correctly rounded decimal text).
double round_half_even(double x, int decimals);

// x rounded half to even to a whole number.
long long round_to_int(double x);

}  // namespace tesmira
