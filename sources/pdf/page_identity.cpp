#include "pdf/page_identity.hpp"

#include <openssl/evp.h>
#include <qpdf/Buffer.hh>
#include <qpdf/Pipeline.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <future>
#include <map>
#include <memory>
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
    void write(unsigned char const* data, size_t length) override { sha_.add(data, length); }
    void finish() override {}

private:
    Sha256& sha_;
};

// Streams of at least this many raw bytes (images, mostly) are digested ahead, in parallel.
constexpr long long LARGE_STREAM = 256 * 1024;

// The digests of streams' raw bytes. Those of a document's large streams are taken on threads of
// their own as soon as it is opened, qpdf reading their bytes on this thread, so that the walk
// finds them done; the others where the walk meets them.
class StreamDigests {
public:
    explicit StreamDigests(QPDF& qpdf) {
        for (QPDFObjectHandle object : qpdf.getAllObjects()) {
            if (!object.isStream()) continue;
            QPDFObjectHandle length = object.getDict().getKey("/Length");
            if (!length.isInteger() || length.getIntValue() < LARGE_STREAM) continue;
            ahead_.emplace(object.getObjGen(),
                           std::async(std::launch::async, [bytes = object.getRawStreamData()]() mutable {
                               Sha256 sha;
                               sha.add(bytes->getBuffer(), bytes->getSize());
                               bytes.reset();  // the bytes go as soon as they are digested
                               return sha.digest();
                           }).share());
        }
    }

    PageDigest of(QPDFObjectHandle stream) {
        if (const auto ahead = ahead_.find(stream.getObjGen()); ahead != ahead_.end()) return ahead->second.get();
        Sha256 sha;
        DigestPipeline bytes(sha);
        if (!stream.pipeStreamData(&bytes, nullptr, 0, qpdf_dl_none)) throw std::runtime_error("unreadable stream");
        return sha.digest();
    }

private:
    std::map<QPDFObjGen, std::shared_future<PageDigest>> ahead_;
};

// Whether decoded content draws in CMYK: a k or K operator outside strings and comments, or
// "CMYK" in a colour space named inline. A token cut between two writes counts as ended, and
// an inline image's samples are read as content: both can only find more.
class InkScan : public Pipeline {
public:
    InkScan() : Pipeline("ink scan", nullptr) {}
    void write(unsigned char const* data, size_t length) override {
        for (size_t i = 0; i < length; ++i) {
            const char c = char(data[i]);
            if (!skipped(c)) {
                if ((c == 'k' || c == 'K') && !regular(last_[2]) && (i + 1 == length || !regular(char(data[i + 1]))))
                    found_ = true;
                if (c == 'K' && last_[0] == 'C' && last_[1] == 'M' && last_[2] == 'Y') found_ = true;
            }
            last_ = {last_[1], last_[2], c};
        }
    }
    void finish() override {}
    bool found() const { return found_; }

private:
    // Not white space and no delimiter: part of a token.
    static bool regular(char c) {
        return !std::isspace(static_cast<unsigned char>(c)) && !std::strchr("()<>[]{}/%", c);
    }

    // Whether `c` is within a string or a comment, following them as they open and close.
    bool skipped(char c) {
        if (comment_) {
            comment_ = c != '\n' && c != '\r';
            return true;
        }
        if (strings_ > 0) {
            if (escaped_)
                escaped_ = false;
            else if (c == '\\')
                escaped_ = true;
            else if (c == '(')
                ++strings_;
            else if (c == ')')
                --strings_;
            return true;
        }
        if (c == '(') strings_ = 1;
        if (c == '%') comment_ = true;
        return c == '(' || c == '%';
    }

    bool found_ = false, comment_ = false, escaped_ = false;
    int strings_ = 0;  // the depth of nested parentheses
    std::array<char, 3> last_{' ', ' ', ' '};
};

// What a page's graph says of its inks, before it is drawn: whether it names a CMYK, Separation
// or DeviceN colour space anywhere, or its content draws in CMYK. A page without any of it
// prints as it looks; one with it may print differently (the engine decides when it draws).
bool names_inks(const std::string& name) {
    return name == "/DeviceCMYK" || name == "/CMYK" || name == "/Separation" || name == "/DeviceN";
}

// Streams that hold content: page contents, forms (also appearances and soft masks), tiling
// patterns and Type 3 glyphs; not images, fonts, functions, colour profiles or metadata.
bool holds_content(QPDFObjectHandle dictionary) {
    if (dictionary.getKey("/Subtype").isNameAndEquals("/Form") || dictionary.hasKey("/PatternType")) return true;
    for (const char* key : {"/Subtype", "/Type", "/Length1", "/Length2", "/Length3", "/FunctionType", "/N"})
        if (dictionary.hasKey(key)) return false;
    return true;
}

// The digests of one document's objects, and what they say of their inks. An object's digest
// is kept for every later use when it refers back to nothing above itself on the way down, so
// that shared resources are digested once.
class GraphDigests {
public:
    explicit GraphDigests(QPDF& qpdf) : streams_(qpdf) {}

    struct Digest {
        PageDigest digest{};
        bool inks = false;  // see names_inks
    };

    // The digest of `object`'s value; `object` may be direct or indirect.
    Digest of(QPDFObjectHandle object) {
        Sha256 sha;
        Walk walk;
        add_value(sha, object, walk, 0);
        return {sha.digest(), walk.inks};
    }

private:
    static constexpr std::size_t NOTHING = SIZE_MAX;

    // What the walk below one object found: the lowest object on the path it refers back to,
    // and its inks.
    struct Walk {
        std::size_t lowest = NOTHING;
        bool inks = false;
    };

    // The digest of an indirect object, or where it stands among those being digested.
    void add_reference(Sha256& sha, QPDFObjectHandle object, Walk& walk, int depth) {
        const QPDFObjGen id = object.getObjGen();
        if (const auto kept = kept_.find(id); kept != kept_.end()) {
            sha.add_tag('R');
            sha.add(kept->second.digest.data(), kept->second.digest.size());
            walk.inks = walk.inks || kept->second.inks;
            return;
        }
        if (const auto on_path = std::find(path_.begin(), path_.end(), id); on_path != path_.end()) {
            const std::size_t index = std::size_t(on_path - path_.begin());
            sha.add_tag('B');  // back by so many steps, whatever its number
            sha.add_number(path_.size() - index);
            walk.lowest = std::min(walk.lowest, index);
            return;
        }
        if (++objects_ > MAX_DIGEST_OBJECTS) throw TooLarge();
        const std::size_t own = path_.size();
        path_.push_back(id);
        Sha256 inner;
        Walk below;
        add_value(inner, object, below, depth + 1, true);
        path_.pop_back();
        const Digest digest{inner.digest(), below.inks};
        if (below.lowest >= own)
            kept_.emplace(id, digest);
        else
            walk.lowest = std::min(walk.lowest, below.lowest);
        walk.inks = walk.inks || below.inks;
        sha.add_tag('R');
        sha.add(digest.digest.data(), digest.digest.size());
    }

    void add_value(Sha256& sha, QPDFObjectHandle object, Walk& walk, int depth, bool resolved = false) {
        if (depth > MAX_DIGEST_DEPTH) throw TooLarge();
        if (!resolved && object.isIndirect()) return add_reference(sha, object, walk, depth);
        if (object.isStream()) {
            sha.add_tag('S');
            add_dictionary(sha, object.getDict(), walk, depth);
            sha.add_tag('D');
            const PageDigest bytes = streams_.of(object);
            sha.add(bytes.data(), bytes.size());
            if (!walk.inks && holds_content(object.getDict())) walk.inks = draws_in_cmyk(object);
        } else if (object.isDictionary()) {
            add_dictionary(sha, object, walk, depth);
        } else if (object.isArray()) {
            sha.add_tag('a');
            sha.add_number(std::uint64_t(object.getArrayNItems()));
            for (QPDFObjectHandle item : object.aitems()) add_value(sha, item, walk, depth + 1);
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
            walk.inks = walk.inks || names_inks(object.getName());
        } else if (object.isString()) {
            sha.add_tag('s');
            sha.add(object.getStringValue());
        } else {
            throw std::runtime_error("an object of no known type");
        }
    }

    // Keys in their sorted order; /Parent left out.
    void add_dictionary(Sha256& sha, QPDFObjectHandle dictionary, Walk& walk, int depth) {
        sha.add_tag('d');
        for (const auto& [key, value] : dictionary.ditems()) {
            if (key == "/Parent") continue;
            sha.add(key);
            add_value(sha, value, walk, depth + 1);
        }
        sha.add_tag('e');
    }

    // Content that cannot be decoded counts as drawing in CMYK: the hint errs on the side of more memory.
    static bool draws_in_cmyk(QPDFObjectHandle stream) {
        InkScan scan;
        bool filtered = false;
        return !stream.pipeStreamData(&scan, &filtered, 0, qpdf_dl_generalized, true) || !filtered || scan.found();
    }

    StreamDigests streams_;
    std::map<QPDFObjGen, Digest> kept_;
    std::vector<QPDFObjGen> path_;  // the indirect objects being digested, outermost first
    long long objects_ = 0;
};

constexpr const char* INHERITED[] = {"/Resources", "/MediaBox", "/CropBox", "/Rotate"};
constexpr const char* DOCUMENT_WIDE[] = {"/OCProperties", "/AcroForm", "/OutputIntents"};

std::vector<PageProof> proofs_of(QPDF& qpdf) {
    GraphDigests graph(qpdf);
    QPDFObjectHandle root = qpdf.getRoot();
    Sha256 document;
    for (const char* key : DOCUMENT_WIDE) {
        document.add(key);
        const PageDigest value = graph.of(root.getKey(key)).digest;
        document.add(value.data(), value.size());
    }
    const PageDigest document_digest = document.digest();

    std::vector<PageProof> pages;
    for (QPDFPageObjectHelper& page : QPDFPageDocumentHelper(qpdf).getAllPages()) {
        Sha256 sha;
        sha.add(document_digest.data(), document_digest.size());
        const GraphDigests::Digest own = graph.of(page.getObjectHandle());
        sha.add(own.digest.data(), own.digest.size());
        bool inks = own.inks;
        for (const char* key : INHERITED) {
            sha.add(key);
            const GraphDigests::Digest value = graph.of(page.getAttribute(key, false));
            sha.add(value.digest.data(), value.digest.size());
            inks = inks || value.inks;
        }
        pages.push_back({sha.digest(), inks});
    }
    return pages;
}

}  // namespace

std::vector<PageProof> page_proofs(const std::filesystem::path& pdf) {
    try {
        Reader reader = open_reader(pdf);
        if (!reader.qpdf) return {};
        std::vector<PageProof> pages = proofs_of(*reader.qpdf);
        if (reader.qpdf->anyWarnings()) return {};
        return pages;
    } catch (const TooLarge&) {
        return {};
    } catch (const std::exception&) {
        return {};
    }
}

std::vector<PagePair> page_pairs(const std::filesystem::path& before, const std::filesystem::path& after) {
    const auto [old_pages, new_pages] =
        at_once([&] { return page_proofs(before); }, [&] { return page_proofs(after); });
    std::vector<PagePair> pairs(std::min(old_pages.size(), new_pages.size()));
    for (std::size_t i = 0; i < pairs.size(); ++i)
        pairs[i] = {old_pages[i].digest == new_pages[i].digest, old_pages[i].inks || new_pages[i].inks};
    return pairs;
}

}  // namespace tesmira::pdf
