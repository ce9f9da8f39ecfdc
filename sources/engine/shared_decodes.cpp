#include "engine/shared_decodes.hpp"

#include <cstring>
#include <new>
#include <optional>
#include <utility>

#include "engine/cmyk_colours.hpp"

namespace tesmira::engine {
namespace {

template <typename T>
void append(std::string& out, const T& value) {
    out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

void append_text(std::string& out, const char* text) {
    if (text) out += text;
    out += '\0';
}

void append_colour_space(fz_context* ctx, std::string& out, fz_colorspace* cs) {
    if (!cs) return append(out, -1);
    append(out, int(fz_colorspace_type(ctx, cs)));
    append(out, fz_colorspace_n(ctx, cs));
    append_text(out, fz_colorspace_name(ctx, cs));
    for (int i = 0; i < fz_colorspace_n(ctx, cs); ++i) append_text(out, fz_colorspace_colorant(ctx, cs, i));
    if (fz_colorspace_is_indexed(ctx, cs)) {
        // An indexed image decodes into its base space through its palette (public in MuPDF 1.21).
        fz_colorspace* base = cs->u.indexed.base;
        append_colour_space(ctx, out, base);
        const int high = cs->u.indexed.high;
        append(out, high);
        out.append(reinterpret_cast<const char*>(cs->u.indexed.lookup),
                   std::size_t(high + 1) * std::size_t(fz_colorspace_n(ctx, base)));
    }
}

// What fixes an image's decoded samples, its compressed bytes last; nothing for an image that is
// not decoded from bytes alone: one decoded already, JBIG2 with its document-wide globals, JPX,
// a matte that needs the soft mask.
std::optional<std::string> identity_of(fz_context* ctx, fz_image* image) {
    const fz_compressed_buffer* compressed = fz_compressed_image_buffer(ctx, image);
    if (!compressed || !compressed->buffer) return std::nullopt;
    const fz_compression_params& params = compressed->params;
    if (params.type == FZ_IMAGE_JBIG2 || params.type == FZ_IMAGE_JPX || params.type == FZ_IMAGE_UNKNOWN)
        return std::nullopt;
    if (image->use_colorkey && image->mask) return std::nullopt;

    std::string id;
    append(id, image->w);
    append(id, image->h);
    append(id, int(image->n));
    append(id, int(image->bpc));
    append(id, int(image->imagemask));
    append(id, int(image->invert_cmyk_jpeg));
    if (image->use_colorkey) id.append(reinterpret_cast<const char*>(image->colorkey), sizeof(int) * 2 * image->n);
    append(id, int(image->use_colorkey));
    if (image->use_decode) id.append(reinterpret_cast<const char*>(image->decode), sizeof(float) * 2 * image->n);
    append(id, int(image->use_decode));
    append(id, params.type);
    switch (params.type) {
        case FZ_IMAGE_JPEG:
            append(id, params.u.jpeg.color_transform);
            break;
        case FZ_IMAGE_FAX:
            append(id, params.u.fax);
            break;
        case FZ_IMAGE_FLATE:
            append(id, params.u.flate);
            break;
        case FZ_IMAGE_LZW:
            append(id, params.u.lzw);
            break;
        default:
            break;
    }
    append_colour_space(ctx, id, image->colorspace);
    unsigned char* data = nullptr;
    const std::size_t length = fz_buffer_storage(ctx, compressed->buffer, &data);
    append(id, length);
    id.append(reinterpret_cast<const char*>(data), length);
    return id;
}

// The space the decoded samples are in: an indexed image's base, none for an image mask.
fz_colorspace* decoded_space(fz_context* ctx, const fz_image* image) {
    return image->imagemask ? nullptr : without_index(ctx, image->colorspace);
}

fz_pixmap* decode_alone(fz_context* ctx, fz_image* image) {
    return fz_get_pixmap_from_image(ctx, image, nullptr, nullptr, nullptr, nullptr);
}

}  // namespace

SharedDecodes::Entry* SharedDecodes::entry_for(std::string identity, bool& decode_it) {
    const std::lock_guard lock(mutex_);
    for (Entry& entry : entries_)
        if (entry.identity == identity) {
            decode_it = false;
            return &entry;
        }
    entries_.emplace_back().identity = std::move(identity);
    decode_it = true;
    return &entries_.back();
}

SharedDecodes::Entry* SharedDecodes::wait_until_decoded(Entry* entry) {
    std::unique_lock lock(mutex_);
    decoded_.wait(lock, [&] { return entry->state != Entry::State::decoding; });
    return entry->state == Entry::State::ready ? entry : nullptr;
}

void SharedDecodes::publish(Entry* entry, const fz_pixmap* pixmap) noexcept {
    {
        const std::lock_guard lock(mutex_);
        entry->state = Entry::State::failed;
        if (pixmap) try {
                const std::size_t row = std::size_t(pixmap->w) * pixmap->n;
                entry->samples.resize(row * std::size_t(pixmap->h));
                for (int y = 0; y < pixmap->h; ++y)
                    std::memcpy(&entry->samples[std::size_t(y) * row], pixmap->samples + y * pixmap->stride, row);
                entry->width = pixmap->w;
                entry->height = pixmap->h;
                entry->components = pixmap->n;
                entry->alpha = pixmap->alpha;
                entry->stride = int(row);
                entry->state = Entry::State::ready;
            } catch (const std::bad_alloc&) {
                entry->samples = {};
            }
    }
    decoded_.notify_all();
}

fz_pixmap* SharedDecodes::decode(fz_context* ctx, fz_image* image) {
    Entry* entry = nullptr;
    bool decode_it = false;
    try {
        if (std::optional<std::string> identity = identity_of(ctx, image))
            entry = entry_for(std::move(*identity), decode_it);
    } catch (const std::bad_alloc&) {
        entry = nullptr;  // decoded alone
    }
    if (!entry) return decode_alone(ctx, image);

    if (decode_it) {
        fz_pixmap* pixmap = nullptr;
        fz_var(pixmap);
        fz_try(ctx) { pixmap = decode_alone(ctx, image); }
        fz_catch(ctx) {
            publish(entry, nullptr);
            fz_rethrow(ctx);
        }
        publish(entry, pixmap);
        return pixmap;
    }

    const Entry* decoded = wait_until_decoded(entry);
    fz_colorspace* cs = decoded_space(ctx, image);
    if (!decoded || decoded->components != (cs ? fz_colorspace_n(ctx, cs) : 0) + decoded->alpha)
        return decode_alone(ctx, image);
    // The samples stay with this object, which outlives both drawings; they are only read.
    return fz_new_pixmap_with_data(ctx,
                                   cs,
                                   decoded->width,
                                   decoded->height,
                                   nullptr,
                                   decoded->alpha,
                                   decoded->stride,
                                   const_cast<unsigned char*>(decoded->samples.data()));
}

}  // namespace tesmira::engine
