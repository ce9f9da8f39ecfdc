#pragma once
#include <utility>

namespace tesmira::engine {

// Checks a trim size in points against the side and pixel limits; returns the size in
// millimetres, unrounded.
std::pair<double, double> validate_dimensions(double width, double height, int dpi);

}  // namespace tesmira::engine
