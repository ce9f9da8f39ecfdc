#pragma once
#include <condition_variable>
#include <cstdint>
#include <list>
#include <mutex>
#include <string>
#include <vector>

#include "pdf/mupdf_document.hpp"

namespace tesmira::engine {

// The images of one page that its two drawings, on screen and on the plates, each in a MuPDF
// context of its own, decode once: the first drawing to need an image decodes it, the other
// waits and draws from a copy of its samples. Images are the same when their compressed bytes,
// their parameters and their colour space are. Lives until both drawings are done.
class SharedDecodes {
public:
    SharedDecodes() = default;
    SharedDecodes(const SharedDecodes&) = delete;
    SharedDecodes& operator=(const SharedDecodes&) = delete;

    // `image` whole at full resolution, as fz_get_pixmap_from_image gives it, in `ctx`; the
    // caller drops it. Throws through MuPDF.
    fz_pixmap* decode(fz_context* ctx, fz_image* image);

private:
    struct Entry {
        std::string identity;  // the image's parameters and compressed bytes
        enum class State { decoding, ready, failed } state = State::decoding;
        int width = 0, height = 0, components = 0, alpha = 0, stride = 0;
        std::vector<unsigned char> samples;
    };
    // The entry for `identity`, made (and to be decoded by the caller) when there is none yet.
    Entry* entry_for(std::string identity, bool& decode_it);
    Entry* wait_until_decoded(Entry* entry);
    void publish(Entry* entry, const fz_pixmap* pixmap) noexcept;

    std::mutex mutex_;
    std::condition_variable decoded_;
    std::list<Entry> entries_;  // few images a page; stable addresses
};

}  // namespace tesmira::engine
