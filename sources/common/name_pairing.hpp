#pragma once
// The one rule by which the old and the new PDFs of a run pair, used by the worker to pair
// them and by the window to tell, before a run, why they would not pair.
#include <string>
#include <vector>

namespace tesmira {

// The names (document names: the NFC form of each file name, case kept) that occur more than
// once in `names`, each once, in the order they first occur.
std::vector<std::string> repeated_names(const std::vector<std::string>& names);

// How two sides' names pair: one file on each side pairs whatever the names; otherwise each
// name pairs with the same name on the other side, and no name may occur twice on a side.
struct NamePairing {
    std::vector<std::string> repeated_before, repeated_after;  // repeated_names of each side
    std::vector<std::string> only_before, only_after;          // names without a partner, each once, in order
    bool pairs() const {
        return repeated_before.empty() && repeated_after.empty() && only_before.empty() && only_after.empty();
    }
};
NamePairing pair_by_name(const std::vector<std::string>& before, const std::vector<std::string>& after);

}  // namespace tesmira
