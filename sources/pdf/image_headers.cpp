#include "pdf/image_headers.hpp"

#include <algorithm>
#include <cstdint>

namespace tesmira::pdf {
namespace {

// Big-endian unsigned integers at `at`, or nothing past the end.
std::optional<std::uint64_t> big_endian(std::string_view data, std::size_t at, int bytes) {
    if (at + std::size_t(bytes) > data.size() || at + std::size_t(bytes) < at) return std::nullopt;
    std::uint64_t value = 0;
    for (int i = 0; i < bytes; ++i) value = value << 8 | static_cast<unsigned char>(data[at + std::size_t(i)]);
    return value;
}

HeaderSize larger(HeaderSize a, const HeaderSize& b) {
    if (b.width * b.height > a.width * a.height) a.width = b.width, a.height = b.height;
    a.components = std::max(a.components, b.components);
    return a;
}

// SIZ: Lsiz, Rsiz, Xsiz, Ysiz, XOsiz, YOsiz, XTsiz, YTsiz, XTOsiz, YTOsiz, Csiz.
std::optional<HeaderSize> codestream_size(std::string_view data) {
    if (big_endian(data, 0, 2) != 0xFF4F || big_endian(data, 2, 2) != 0xFF51) return std::nullopt;
    const auto x = big_endian(data, 8, 4), y = big_endian(data, 12, 4);
    const auto x0 = big_endian(data, 16, 4), y0 = big_endian(data, 20, 4), c = big_endian(data, 40, 2);
    if (!x || !y || !x0 || !y0 || !c) return std::nullopt;
    return HeaderSize{(long long)(*x > *x0 ? *x - *x0 : 0), (long long)(*y > *y0 ? *y - *y0 : 0), int(*c)};
}

// The boxes of a JP2 file, or of a superbox's contents: ihdr (height, width, components)
// inside jp2h, and the codestream of jp2c.
std::optional<HeaderSize> boxes_size(std::string_view data, int depth) {
    std::optional<HeaderSize> found;
    for (std::size_t at = 0; at + 8 <= data.size() && depth < 4;) {
        std::uint64_t length = *big_endian(data, at, 4);
        const std::string_view type = data.substr(at + 4, 4);
        std::size_t header = 8;
        if (length == 1) {  // a 64-bit length follows
            const auto extended = big_endian(data, at + 8, 8);
            if (!extended) break;
            length = *extended;
            header = 16;
        } else if (length == 0) {
            length = data.size() - at;  // to the end
        }
        if (length < header || length > data.size() - at) length = data.size() - at;
        const std::string_view contents = data.substr(at + header, std::size_t(length) - header);
        std::optional<HeaderSize> size;
        if (type == "jp2h")
            size = boxes_size(contents, depth + 1);
        else if (type == "ihdr" && contents.size() >= 10)
            size = HeaderSize{(long long)*big_endian(contents, 4, 4),
                              (long long)*big_endian(contents, 0, 4),
                              int(*big_endian(contents, 8, 2))};
        else if (type == "jp2c")
            size = codestream_size(contents);
        if (size) found = found ? larger(*found, *size) : *size;
        at += std::size_t(length);
    }
    return found;
}

}  // namespace

std::optional<HeaderSize> jpeg2000_size(std::string_view data) {
    if (std::optional<HeaderSize> size = codestream_size(data)) return size;
    if (data.size() >= 12 && data.substr(4, 4) == "jP  ") return boxes_size(data, 0);
    return std::nullopt;
}

std::optional<HeaderSize> jpeg_size(std::string_view data) {
    if (big_endian(data, 0, 2) != 0xFFD8) return std::nullopt;
    for (std::size_t at = 2; at + 4 <= data.size();) {
        if (static_cast<unsigned char>(data[at]) != 0xFF) return std::nullopt;
        const int marker = static_cast<unsigned char>(data[at + 1]);
        if (marker == 0xFF) {  // fill byte
            ++at;
            continue;
        }
        if (marker == 0xD8 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
            at += 2;
            continue;
        }
        const std::uint64_t length = *big_endian(data, at + 2, 2);
        const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame) {  // P, Y, X, Nf
            const auto y = big_endian(data, at + 5, 2), x = big_endian(data, at + 7, 2),
                       n = big_endian(data, at + 9, 1);
            if (!y || !x || !n) return std::nullopt;
            return HeaderSize{(long long)*x, (long long)*y, int(*n)};
        }
        if (marker == 0xD9 || marker == 0xDA || length < 2) return std::nullopt;  // no frame before the scan
        at += 2 + std::size_t(length);
    }
    return std::nullopt;
}

std::optional<HeaderSize> jbig2_size(std::string_view data) {
    std::optional<HeaderSize> found;
    for (std::size_t at = 0; at + 11 <= data.size();) {
        // Segment header: number (4), flags (1), referred-to segments, page (1 or 4), data length (4).
        const std::uint64_t number = *big_endian(data, at, 4);
        const int flags = static_cast<unsigned char>(data[at + 4]);
        const int type = flags & 0x3F;
        std::size_t p = at + 5;
        const int first = static_cast<unsigned char>(data[p]);
        std::uint64_t referred = std::uint64_t(first >> 5);
        if (referred == 7) {  // the long form: a count of 29 bits, then retention bits
            const auto count = big_endian(data, p, 4);
            if (!count) break;
            referred = *count & 0x1FFFFFFF;
            p += 4 + std::size_t((referred + 8) / 8);
        } else {
            p += 1;
        }
        const std::size_t reference_bytes = number <= 256 ? 1 : number <= 65536 ? 2 : 4;
        p += std::size_t(referred) * reference_bytes;
        p += (flags & 0x40) ? 4 : 1;  // page association
        const auto length = big_endian(data, p, 4);
        if (!length) break;
        p += 4;
        // Page information (48) and the region segments (immediate, lossless and intermediate
        // text, halftone, generic and refinement regions) begin with a width and a height.
        const bool sized = type == 48 || type == 4 || type == 6 || type == 7 || type == 20 || type == 22 ||
                           type == 23 || type == 36 || type == 38 || type == 39 || type == 40 || type == 42 ||
                           type == 43;
        if (sized) {
            const auto width = big_endian(data, p, 4), height = big_endian(data, p + 4, 4);
            if (!width || !height) break;
            const HeaderSize size{(long long)*width, *height == 0xFFFFFFFF ? 0 : (long long)*height, 1};
            found = found ? larger(*found, size) : size;
        }
        if (*length == 0xFFFFFFFF) break;  // a generic region of unknown length: nothing follows to read
        if (*length > data.size() - p) break;
        at = p + std::size_t(*length);
    }
    return found;
}

}  // namespace tesmira::pdf
