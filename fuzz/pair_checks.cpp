// The checks before a pair is rendered, on one PDF given as both sides: encryption, page
// count, /UserUnit, boxes, inherited /Rotate and the size limits at every resolution; and the
// pages' proofs, which must find every page of a file that proves anything alike to itself.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <string_view>

#include "conductor/pair_validation.hpp"
#include "input_file.hpp"
#include "pdf/page_identity.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const tesmira::fuzz::InputFile pdf(std::string_view(reinterpret_cast<const char*>(data), size));
    for (const int dpi : {144, 200, 300}) {
        try {
            tesmira::conductor::validate_pair(pdf.path(), pdf.path(), tesmira::Json{{"dpi", dpi}});
        } catch (const std::exception&) {
            // A refusal or a library's error is an answer; only crashes and undefined behaviour count.
        }
    }
    for (const tesmira::pdf::PagePair& pair : tesmira::pdf::page_pairs(pdf.path(), pdf.path()))
        if (!pair.identical) std::abort();
    return 0;
}
