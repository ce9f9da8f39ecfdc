#include "common/random_id.hpp"

#include <sys/random.h>

#include <cerrno>
#include <cstdio>
#include <system_error>

#include "common/tokyo_clock.hpp"

namespace tesmira {
namespace {

constexpr std::string_view STAMPED_FOLDER = "てすみら検版_";

}  // namespace

bool is_hex32(const std::string& text) {
    if (text.size() != 32) return false;
    for (char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    return true;
}

std::string uuid4_hex() {
    unsigned char bytes[16];
    for (std::size_t got = 0; got < sizeof bytes;) {
        const ssize_t n = getrandom(bytes + got, sizeof bytes - got, 0);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw std::system_error(errno, std::generic_category(), "getrandom");
        }
        got += std::size_t(n);
    }
    bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0F) | 0x40);  // version 4
    bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant
    std::string hex;
    char digits[3];
    for (unsigned char b : bytes) {
        std::snprintf(digits, sizeof digits, "%02x", b);
        hex += digits;
    }
    return hex;
}

std::string name_stamp() { return format_time(tokyo_now(), "%Y%m%d_%H%M%S") + "_" + uuid4_hex().substr(0, 8); }

std::string stamped_folder_name() { return std::string(STAMPED_FOLDER) + name_stamp(); }

bool is_stamped_folder_name(std::string_view name) {
    if (!name.starts_with(STAMPED_FOLDER)) return false;
    const std::string_view stamp = name.substr(STAMPED_FOLDER.size());
    const std::string_view shape = "dddddddd_dddddd_hhhhhhhh";
    if (stamp.size() != shape.size()) return false;
    for (std::size_t i = 0; i < shape.size(); ++i) {
        const char c = stamp[i];
        const bool digit = c >= '0' && c <= '9';
        if (shape[i] == '_' ? c != '_' : shape[i] == 'd' ? !digit : !(digit || (c >= 'a' && c <= 'f'))) return false;
    }
    return true;
}

}  // namespace tesmira
