#include "common/rounding.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace tesmira {

std::string format_fixed(double x, int decimals) {
    if (std::isnan(x)) return "nan";
    if (std::isinf(x)) return x > 0 ? "inf" : "-inf";
    // glibc's printf rounds the exact binary value correctly, ties to even.
    char small[64];
    int size = std::snprintf(small, sizeof small, "%.*f", decimals, x);
    if (size < int(sizeof small)) return std::string(small, std::size_t(size));
    std::string text(std::size_t(size) + 1, '\0');
    std::snprintf(text.data(), text.size(), "%.*f", decimals, x);
    text.resize(std::size_t(size));
    return text;
}

double round_half_even(double x, int decimals) {
    if (!std::isfinite(x)) return x;
    return std::strtod(format_fixed(x, decimals).c_str(), nullptr);
}

long long round_to_int(double x) {
    // The default floating-point environment rounds to nearest, ties to even.
    return static_cast<long long>(std::nearbyint(x));
}

}  // namespace tesmira
