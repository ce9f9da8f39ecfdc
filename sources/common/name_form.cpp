#include "common/name_form.hpp"

#include <vector>

#include "common/unicode.hpp"

namespace tesmira {
namespace {

constexpr char HEX[] = "0123456789abcdef";

// One piece of a name on its way to text: a character kept as it is, or bytes written "\xNN".
struct Piece {
    char32_t character = 0;
    std::string escaped_bytes;  // empty for a kept character
};

bool breaks_lines(char32_t c) { return c < 0x20 || (c >= 0x7F && c < 0xA0) || c == 0x2028 || c == 0x2029; }

std::vector<Piece> pieces_of(std::string_view bytes, bool line_safe) {
    std::vector<Piece> pieces;
    for (char32_t c : decode_utf8(bytes)) {
        if (is_undecodable_byte(c))
            pieces.push_back({0, std::string(1, char(c - 0xDC00))});
        else if (line_safe && breaks_lines(c))
            pieces.push_back({0, encode_utf8(std::u32string(1, c))});
        else
            pieces.push_back({c, {}});
    }
    return pieces;
}

// A backslash needs doubling only where it would otherwise be read as the start of "\\" or
// "\xNN".
bool starts_escape(const std::vector<Piece>& pieces, std::size_t i) {
    if (i >= pieces.size()) return false;
    const Piece& next = pieces[i];
    return !next.escaped_bytes.empty() || next.character == U'\\' || next.character == U'x';
}

std::string written(std::string_view bytes, bool line_safe) {
    const std::vector<Piece> pieces = pieces_of(bytes, line_safe);
    std::string text;
    text.reserve(bytes.size());
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        const Piece& piece = pieces[i];
        if (!piece.escaped_bytes.empty()) {
            for (unsigned char byte : piece.escaped_bytes) {
                text += "\\x";
                text += HEX[byte >> 4];
                text += HEX[byte & 0xF];
            }
        } else {
            text += encode_utf8(std::u32string(1, piece.character));
            if (piece.character == U'\\' && starts_escape(pieces, i + 1)) text += '\\';
        }
    }
    return text;
}

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::string written_name(std::string_view bytes) { return written(bytes, false); }

std::string line_safe_name(std::string_view bytes) { return written(bytes, true); }

std::string shown_name(std::string_view bytes) {
    std::u32string points = decode_utf8(bytes);
    for (char32_t& c : points)
        if (is_undecodable_byte(c)) c = U'\uFFFD';
    return encode_utf8(points);
}

std::string name_bytes(std::string_view written) {
    std::string bytes;
    bytes.reserve(written.size());
    for (std::size_t i = 0; i < written.size(); ++i) {
        if (written[i] == '\\' && i + 1 < written.size() && written[i + 1] == '\\') {
            bytes += '\\';
            ++i;
        } else if (written[i] == '\\' && i + 3 < written.size() && written[i + 1] == 'x' &&
                   hex_value(written[i + 2]) >= 0 && hex_value(written[i + 3]) >= 0) {
            bytes += char(hex_value(written[i + 2]) * 16 + hex_value(written[i + 3]));
            i += 3;
        } else {
            bytes += written[i];
        }
    }
    return bytes;
}

}  // namespace tesmira
