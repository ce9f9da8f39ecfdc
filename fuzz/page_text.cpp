// The first page's structured text, and the words of a change over the whole page, old and new
// alike: reading any text a font maps its glyphs to, never text that JSON cannot carry.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <string_view>
#include <vector>

#include "common/json.hpp"
#include "engine/change_words.hpp"
#include "input_file.hpp"
#include "pdf/page_text.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const tesmira::fuzz::InputFile pdf(std::string_view(reinterpret_cast<const char*>(data), size));
    std::vector<tesmira::pdf::TextLine> lines;
    try {
        lines = tesmira::pdf::page_text(pdf.path(), 1);
    } catch (const std::exception&) {
        return 0;  // a refusal or a library's error is an answer
    }
    const tesmira::pdf::Rect everywhere{-1e9, -1e9, 1e9, 1e9};
    std::size_t work = 0;
    const tesmira::engine::ChangeWords words = tesmira::engine::change_words(lines, lines, everywhere, work);
    // The same page on both sides differs nowhere, and its text goes into a page report.
    if (words.old_text != words.new_text || !words.old_span.empty() || !words.new_span.empty()) std::abort();
    try {
        (void)tesmira::Json(words.old_text).dump();
    } catch (const std::exception&) {
        std::abort();
    }
    return 0;
}
