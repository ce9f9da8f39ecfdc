#include "pdf/page_identity.hpp"

#include <openssl/evp.h>
#include <qpdf/Pipeline.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "common/at_once.hpp"
#include "pdf/reader.hpp"

namespace tesmira::pdf {
namespace {

// Beyond these limits a file proves nothing; nothing else goes wrong.
struct TooLarge {};

class Sha256 {
public:
    Sha256() : context_(EVP_MD_CTX_new(), EVP_MD_CTX_free) {
        if (!context_ || EVP_DigestInit_ex(context_.get(), EVP_sha256(), nullptr) != 1)
            throw std::runtime_error("SHA-256 is not available");
    }
    void add(const void* data, std::size_t size) { EVP_DigestUpdate(context_.get(), data, size); }
    void add(std::string_view text) {
        add_number(text.size());
        add(text.data(), text.size());
    }
    void add_tag(char tag) { add(&tag, 1); }
    void add_number(std::uint64_t value) { add(&value, sizeof value); }
    PageDigest digest() {
        PageDigest out{};
        unsigned int length = 0;
        EVP_DigestFinal_ex(context_.get(), out.data(), &length);
        return out;
    }

private:
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context_;
};

// A stream's raw bytes, as qpdf pipes them, into a digest.
class DigestPipeline : public Pipeline {
public:
    explicit DigestPipeline(Sha256& sha) : Pipeline("digest", nullptr), sha_(sha) {}
    void write(unsigned char const* data, size_t length) override {
        sha_.add(data, length);
        size_ += length;
    }
    void finish() override {}
    std::uint64_t size() const { return size_; }

private:
    Sha256& sha_;
    std::uint64_t size_ = 0;
};

// The digests of one document's objects. An object's digest is kept for every later use when
// it refers back to nothing above itself on the way down, so that shared resources are
// digested once.
class GraphDigests {
public:
    // The digest of `object`'s value; `object` may be direct or indirect.
    PageDigest of(QPDFObjectHandle object) {
        Sha256 sha;
        std::size_t lowest = NOTHING;
        add_value(sha, object, lowest, 0);
        return sha.digest();
    }

private:
    static constexpr std::size_t NOTHING = SIZE_MAX;

    // The digest of an indirect object, or where it stands among those being digested.
    void add_reference(Sha256& sha, QPDFObjectHandle object, std::size_t& lowest, int depth) {
        const QPDFObjGen id = object.getObjGen();
        if (const auto kept = kept_.find(id); kept != kept_.end()) {
            sha.add_tag('R');
            sha.add(kept->second.data(), kept->second.size());
            return;
        }
        if (const auto on_path = std::find(path_.begin(), path_.end(), id); on_path != path_.end()) {
            const std::size_t index = std::size_t(on_path - path_.begin());
            sha.add_tag('B');  // back by so many steps, whatever its number
            sha.add_number(path_.size() - index);
            lowest = std::min(lowest, index);
            return;
        }
        if (++objects_ > MAX_DIGEST_OBJECTS) throw TooLarge();
        const std::size_t own = path_.size();
        path_.push_back(id);
        Sha256 inner;
        std::size_t inner_lowest = NOTHING;
        add_value(inner, object, inner_lowest, depth + 1, true);
        path_.pop_back();
        const PageDigest digest = inner.digest();
        if (inner_lowest >= own)
            kept_.emplace(id, digest);
        else
            lowest = std::min(lowest, inner_lowest);
        sha.add_tag('R');
        sha.add(digest.data(), digest.size());
    }

    void add_value(Sha256& sha, QPDFObjectHandle object, std::size_t& lowest, int depth, bool resolved = false) {
        if (depth > MAX_DIGEST_DEPTH) throw TooLarge();
        if (!resolved && object.isIndirect()) return add_reference(sha, object, lowest, depth);
        if (object.isStream()) {
            sha.add_tag('S');
            add_dictionary(sha, object.getDict(), lowest, depth);
            sha.add_tag('D');
            DigestPipeline bytes(sha);
            if (!object.pipeStreamData(&bytes, nullptr, 0, qpdf_dl_none, true))
                throw std::runtime_error("unreadable stream");
            sha.add_number(bytes.size());
        } else if (object.isDictionary()) {
            add_dictionary(sha, object, lowest, depth);
        } else if (object.isArray()) {
            sha.add_tag('a');
            sha.add_number(std::uint64_t(object.getArrayNItems()));
            for (QPDFObjectHandle item : object.aitems()) add_value(sha, item, lowest, depth + 1);
        } else if (object.isNull()) {
            sha.add_tag('n');
        } else if (object.isBool()) {
            sha.add_tag(object.getBoolValue() ? 't' : 'f');
        } else if (object.isInteger()) {
            sha.add_tag('i');
            sha.add_number(std::uint64_t(object.getIntValue()));
        } else if (object.isReal()) {
            sha.add_tag('r');
            sha.add(object.getRealValue());
        } else if (object.isName()) {
            sha.add_tag('/');
            sha.add(object.getName());
        } else if (object.isString()) {
            sha.add_tag('s');
            sha.add(object.getStringValue());
        } else {
            throw std::runtime_error("an object of no known type");
        }
    }

    // Keys in their sorted order; /Parent left out.
    void add_dictionary(Sha256& sha, QPDFObjectHandle dictionary, std::size_t& lowest, int depth) {
        sha.add_tag('d');
        for (const auto& [key, value] : dictionary.ditems()) {
            if (key == "/Parent") continue;
            sha.add(key);
            add_value(sha, value, lowest, depth + 1);
        }
        sha.add_tag('e');
    }

    std::map<QPDFObjGen, PageDigest> kept_;
    std::vector<QPDFObjGen> path_;  // the indirect objects being digested, outermost first
    long long objects_ = 0;
};

constexpr const char* INHERITED[] = {"/Resources", "/MediaBox", "/CropBox", "/Rotate"};
constexpr const char* DOCUMENT_WIDE[] = {"/OCProperties", "/AcroForm", "/OutputIntents"};

std::vector<PageDigest> digests_of(QPDF& qpdf) {
    GraphDigests graph;
    QPDFObjectHandle root = qpdf.getRoot();
    Sha256 document;
    for (const char* key : DOCUMENT_WIDE) {
        document.add(key);
        const PageDigest value = graph.of(root.getKey(key));
        document.add(value.data(), value.size());
    }
    const PageDigest document_digest = document.digest();

    std::vector<PageDigest> pages;
    for (QPDFPageObjectHelper& page : QPDFPageDocumentHelper(qpdf).getAllPages()) {
        Sha256 sha;
        sha.add(document_digest.data(), document_digest.size());
        const PageDigest own = graph.of(page.getObjectHandle());
        sha.add(own.data(), own.size());
        for (const char* key : INHERITED) {
            sha.add(key);
            const PageDigest value = graph.of(page.getAttribute(key, false));
            sha.add(value.data(), value.size());
        }
        pages.push_back(sha.digest());
    }
    return pages;
}

}  // namespace

std::vector<PageDigest> page_digests(const std::filesystem::path& pdf) {
    try {
        Reader reader = open_reader(pdf);
        if (!reader.qpdf) return {};
        std::vector<PageDigest> pages = digests_of(*reader.qpdf);
        if (reader.qpdf->anyWarnings()) return {};
        return pages;
    } catch (const TooLarge&) {
        return {};
    } catch (const std::exception&) {
        return {};
    }
}

std::vector<bool> identical_pages(const std::filesystem::path& before, const std::filesystem::path& after) {
    const auto [old_pages, new_pages] =
        at_once([&] { return page_digests(before); }, [&] { return page_digests(after); });
    std::vector<bool> identical(std::min(old_pages.size(), new_pages.size()));
    for (std::size_t i = 0; i < identical.size(); ++i) identical[i] = old_pages[i] == new_pages[i];
    return identical;
}

}  // namespace tesmira::pdf
