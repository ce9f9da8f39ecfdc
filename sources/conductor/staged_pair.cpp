#include "conductor/staged_pair.hpp"

#include "common/at_once.hpp"
#include "common/files.hpp"
#include "common/termination.hpp"

namespace tesmira::conductor {

void copy_pair(StagedPair& pair, const std::filesystem::path& original_before,
               const std::filesystem::path& original_after) {
    check_termination();
    at_once([&] { copy_content(original_before, pair.before); }, [&] { copy_content(original_after, pair.after); });
    pair.copies.add(pair.before, original_before);
    pair.copies.add(pair.after, original_after);
}

void check_pair(StagedPair& pair, const Json& settings) {
    // The digests read every stream of both files: as long as the checks, or longer, so beside them.
    std::tie(pair.valid, pair.proofs) =
        at_once([&] { return pair.copies.run([&] { return validate_pair(pair.before, pair.after, settings); }); },
                [&] { return pdf::page_pairs(pair.before, pair.after); });
}

}  // namespace tesmira::conductor
