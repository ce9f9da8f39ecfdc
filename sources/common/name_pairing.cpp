#include "common/name_pairing.hpp"

#include <algorithm>
#include <set>

namespace tesmira {
namespace {

// The distinct names of `names` that are not among `others`, in order.
std::vector<std::string> only_in(const std::vector<std::string>& names, const std::vector<std::string>& others) {
    const std::set<std::string> partners(others.begin(), others.end());
    std::set<std::string> seen;
    std::vector<std::string> only;
    for (const std::string& name : names)
        if (!partners.count(name) && seen.insert(name).second) only.push_back(name);
    return only;
}

}  // namespace

std::vector<std::string> repeated_names(const std::vector<std::string>& names) {
    std::vector<std::string> repeated;
    for (const std::string& name : names)
        if (std::count(names.begin(), names.end(), name) > 1 &&
            std::find(repeated.begin(), repeated.end(), name) == repeated.end())
            repeated.push_back(name);
    return repeated;
}

NamePairing pair_by_name(const std::vector<std::string>& before, const std::vector<std::string>& after) {
    NamePairing pairing{repeated_names(before), repeated_names(after), {}, {}};
    if (before.size() == 1 && after.size() == 1) return pairing;
    pairing.only_before = only_in(before, after);
    pairing.only_after = only_in(after, before);
    return pairing;
}

}  // namespace tesmira
