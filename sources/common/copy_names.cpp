#include "common/copy_names.hpp"

#include <stdexcept>

#include "common/errors.hpp"

namespace tesmira {

void CopyNames::add(const std::filesystem::path& copy, const std::filesystem::path& original) {
    names_.emplace_back(copy.string(), original.string());
}

std::string CopyNames::restored(const std::string& message) const {
    std::string text;
    for (std::size_t at = 0; at < message.size();) {
        // The longest copy path that starts here, so that ".../a.pdf" never takes the place of
        // the start of ".../a.pdf.pdf".
        const std::pair<std::string, std::string>* found = nullptr;
        for (const auto& names : names_)
            if (!names.first.empty() && message.compare(at, names.first.size(), names.first) == 0 &&
                (!found || names.first.size() > found->first.size()))
                found = &names;
        if (found) {
            text += found->second;
            at += found->first.size();
        } else {
            text += message[at++];
        }
    }
    return text;
}

void CopyNames::rethrow_restored(const std::exception& error) const {
    const std::string text = restored(error.what());
    if (text == error.what()) throw;
    if (dynamic_cast<const UserError*>(&error)) throw UserError(text);
    throw std::runtime_error(text);
}

}  // namespace tesmira
