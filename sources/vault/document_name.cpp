#include "vault/document_name.hpp"

#include <openssl/evp.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <system_error>
#include <vector>

#include "common/errors.hpp"
#include "common/unicode.hpp"

namespace tesmira::vault {
namespace {

bool ends_with_pdf(const std::string& name) {
    if (name.size() < 4) return false;
    std::string tail = name.substr(name.size() - 4);
    for (char& c : tail)
        if (c >= 'A' && c <= 'Z') c = char(c + 32);
    return tail == ".pdf";
}

}  // namespace

std::string canonical_name(const std::filesystem::path& path) {
    const std::string name = nfc(path.filename().string());
    bool control = false;
    for (char32_t c : decode_utf8(name)) control = control || is_category_c(c);
    if (!ends_with_pdf(casefold(name)) || control)
        throw UserError("保存版の原稿名は制御文字を含まないPDF名にしてください。");
    return name;
}

std::string digest(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::filesystem::filesystem_error("cannot open", path, std::error_code(errno, std::generic_category()));
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1)
        throw std::runtime_error("SHA-256 is not available");
    std::vector<char> chunk(1 << 20);
    while (in) {
        in.read(chunk.data(), std::streamsize(chunk.size()));
        if (in.gcount() > 0) EVP_DigestUpdate(context.get(), chunk.data(), std::size_t(in.gcount()));
    }
    if (in.bad())
        throw std::filesystem::filesystem_error("cannot read", path, std::error_code(errno, std::generic_category()));
    unsigned char hash[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestFinal_ex(context.get(), hash, &length);
    std::string hex;
    char digits[3];
    for (unsigned int i = 0; i < length; ++i) {
        std::snprintf(digits, sizeof digits, "%02x", hash[i]);
        hex += digits;
    }
    return hex;
}

}  // namespace tesmira::vault
