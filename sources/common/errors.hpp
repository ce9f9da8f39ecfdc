#pragma once
#include <stdexcept>
#include <string>

namespace tesmira {

// A refusal: carries exactly one user message (a Japanese sentence) and nothing else.
class UserError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A required setting that is absent. Its text is the key in single quotes, e.g. 'page'.
class MissingSettingError : public std::runtime_error {
public:
    explicit MissingSettingError(const std::string& key) : std::runtime_error("'" + key + "'") {}
};

// The final name of a result folder is taken already.
class AlreadyExistsError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// SIGTERM asked the run to stop. Deliberately not a std::exception, so that no handler of
// ordinary failures swallows it; every clean-up runs while it unwinds.
struct TerminationRequested {};

}  // namespace tesmira
