#pragma once
#include <functional>
#include <string>

#include "common/json.hpp"

namespace tesmira {

// Where a step of a run reports: the event's name and its fields, in the order they are sent.
using Progress = std::function<void(const std::string& event, const Json& fields)>;

}  // namespace tesmira
