#pragma once
#include "common/json.hpp"

namespace tesmira::conductor {

// The seven comparison settings of a run without settings, in their fixed key order.
const Json& DEFAULTS();

// A complete, checked settings record: defaults for missing keys, unknown keys dropped,
// every value's type and range checked. Idempotent.
Json normalized_settings(const Json& values);

}  // namespace tesmira::conductor
