#include "pdf/page_images.hpp"

#include <qpdf/Buffer.hh>
#include <qpdf/Pl_Buffer.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include <algorithm>
#include <memory>
#include <set>
#include <string>

#include "pdf/image_headers.hpp"

namespace tesmira::pdf {
namespace {

constexpr int MAX_NESTING = 64;  // forms in forms; MuPDF draws no deeper either

int components_of(QPDFObjectHandle space) {
    if (space.isArray() && space.getArrayNItems() > 0) {
        const std::string family = space.getArrayItem(0).isName() ? space.getArrayItem(0).getName() : "";
        if (family == "/ICCBased" && space.getArrayNItems() > 1 && space.getArrayItem(1).isStream()) {
            QPDFObjectHandle n = space.getArrayItem(1).getDict().getKey("/N");
            return n.isInteger() ? int(std::clamp<long long>(n.getIntValue(), 1, 32)) : 4;
        }
        if (family == "/Indexed" && space.getArrayNItems() > 1) return components_of(space.getArrayItem(1));
        if (family == "/DeviceN" && space.getArrayNItems() > 1 && space.getArrayItem(1).isArray())
            return std::clamp(space.getArrayItem(1).getArrayNItems(), 1, 32);
        if (family == "/Separation" || family == "/CalGray") return 1;
        if (family == "/CalRGB" || family == "/Lab") return 3;
        if (family == "/Pattern") return 4;
        space = space.getArrayItem(0);
    }
    if (space.isName()) {
        const std::string name = space.getName();
        if (name == "/DeviceGray" || name == "/G") return 1;
        if (name == "/DeviceRGB" || name == "/RGB") return 3;
    }
    return 4;  // CMYK, or unknown: the most a process space takes
}

long long dictionary_number(QPDFObjectHandle dict, const char* key, const char* abbreviation) {
    QPDFObjectHandle value = dict.getKey(key);
    if (!value.isNumber() && abbreviation) value = dict.getKey(abbreviation);
    if (value.isInteger()) return std::max<long long>(0, value.getIntValue());
    if (value.isReal()) return std::max<long long>(0, (long long)value.getNumericValue());
    return 0;
}

std::string last_filter(QPDFObjectHandle dict) {
    QPDFObjectHandle filter = dict.getKey("/Filter");
    if (!filter.isName() && dict.hasKey("/F")) filter = dict.getKey("/F");
    if (filter.isArray() && filter.getArrayNItems() > 0) filter = filter.getArrayItem(filter.getArrayNItems() - 1);
    return filter.isName() ? filter.getName() : "";
}

std::string bytes_of(const std::shared_ptr<Buffer>& buffer) {
    return std::string(reinterpret_cast<const char*>(buffer->getBuffer()), buffer->getSize());
}

// The bytes the last filter decodes: the stream's data through the filters before it, as far
// as they decode (a damaged end does not hide a header at the start).
std::string encoded_by_last_filter(QPDFObjectHandle stream) {
    QPDFObjectHandle dict = stream.getDict();
    QPDFObjectHandle filters = dict.getKey("/Filter");
    if (!filters.isArray() || filters.getArrayNItems() < 2) return bytes_of(stream.getRawStreamData());
    QPDFObjectHandle earlier = QPDFObjectHandle::newArray();
    for (int i = 0; i + 1 < filters.getArrayNItems(); ++i) earlier.appendItem(filters.getArrayItem(i));
    QPDFObjectHandle parameters = dict.getKey("/DecodeParms");
    QPDFObjectHandle earlier_parameters = QPDFObjectHandle::newNull();
    if (parameters.isArray()) {
        earlier_parameters = QPDFObjectHandle::newArray();
        for (int i = 0; i + 1 < parameters.getArrayNItems() && i + 1 < filters.getArrayNItems(); ++i)
            earlier_parameters.appendItem(parameters.getArrayItem(i));
    }
    const std::string raw = bytes_of(stream.getRawStreamData());
    QPDFObjectHandle copy = QPDFObjectHandle::newStream(stream.getOwningQPDF(), raw);
    copy.replaceStreamData(raw, earlier, earlier_parameters);
    Pl_Buffer decoded("image header");
    try {
        copy.pipeStreamData(&decoded, nullptr, 0, qpdf_dl_generalized, true);
    } catch (const std::exception&) {
        decoded.finish();
    }
    return bytes_of(decoded.getBufferSharedPointer());
}

// The image of `dict` whose data (encoded through its last filter only) is `data`.
DeclaredImage declared(QPDFObjectHandle dict, const std::string& data) {
    DeclaredImage image;
    image.width = dictionary_number(dict, "/Width", "/W");
    image.height = dictionary_number(dict, "/Height", "/H");
    QPDFObjectHandle mask = dict.hasKey("/ImageMask") ? dict.getKey("/ImageMask") : dict.getKey("/IM");
    const bool stencil = mask.isBool() && mask.getBoolValue();
    image.components =
        stencil ? 1 : components_of(dict.hasKey("/ColorSpace") ? dict.getKey("/ColorSpace") : dict.getKey("/CS"));
    const std::string filter = last_filter(dict);
    std::optional<HeaderSize> header;
    if (filter == "/JPXDecode") {
        image.wavelet = true;
        header = jpeg2000_size(data);
    } else if (filter == "/DCTDecode" || filter == "/DCT") {
        image.jpeg = true;
        header = jpeg_size(data);
    } else if (filter == "/JBIG2Decode") {
        header = jbig2_size(data);
    }
    if (header) {
        image.width = std::max(image.width, header->width);
        image.height = std::max(image.height, header->height);
        image.components = std::max(image.components, header->components);
    }
    return image;
}

class Inventory {
public:
    std::vector<DeclaredImage> images;

    void content(QPDFObjectHandle contents, QPDFObjectHandle resources, int depth) {
        if (depth > MAX_NESTING) return;
        inline_images(contents);
        this->resources(resources, depth);
    }

private:
    std::set<QPDFObjGen> seen_;

    bool first_time(QPDFObjectHandle object) { return !object.isIndirect() || seen_.insert(object.getObjGen()).second; }

    void image(QPDFObjectHandle stream) {
        if (!stream.isStream() || !first_time(stream)) return;
        QPDFObjectHandle dict = stream.getDict();
        const std::string filter = last_filter(dict);
        const bool headed = filter == "/JPXDecode" || filter == "/DCTDecode" || filter == "/JBIG2Decode";
        images.push_back(declared(dict, headed ? encoded_by_last_filter(stream) : std::string()));
        image(dict.getKey("/SMask"));
        image(dict.getKey("/Mask"));  // a stencil mask; an array of colour key ranges is no image
    }

    void form(QPDFObjectHandle stream, QPDFObjectHandle inherited, int depth) {
        if (!stream.isStream() || !first_time(stream)) return;
        QPDFObjectHandle own = stream.getDict().getKey("/Resources");
        content(stream, own.isDictionary() ? own : inherited, depth + 1);
    }

    void resources(QPDFObjectHandle resources, int depth) {
        if (!resources.isDictionary()) return;
        QPDFObjectHandle xobjects = resources.getKey("/XObject");
        if (xobjects.isDictionary())
            for (auto [name, object] : xobjects.ditems()) {
                if (!object.isStream()) continue;
                QPDFObjectHandle subtype = object.getDict().getKey("/Subtype");
                if (subtype.isName() && subtype.getName() == "/Image")
                    image(object);
                else
                    form(object, resources, depth);
            }
        QPDFObjectHandle patterns = resources.getKey("/Pattern");
        if (patterns.isDictionary())
            for (auto [name, pattern] : patterns.ditems()) form(pattern, resources, depth);
        QPDFObjectHandle states = resources.getKey("/ExtGState");
        if (states.isDictionary())
            for (auto [name, state] : states.ditems()) {
                QPDFObjectHandle mask = state.isDictionary() ? state.getKey("/SMask") : QPDFObjectHandle();
                if (mask.isDictionary()) form(mask.getKey("/G"), resources, depth);
            }
        QPDFObjectHandle fonts = resources.getKey("/Font");
        if (fonts.isDictionary())
            for (auto [name, font] : fonts.ditems()) type3(font, depth);
    }

    void type3(QPDFObjectHandle font, int depth) {
        if (!font.isDictionary() || !first_time(font)) return;
        QPDFObjectHandle subtype = font.getKey("/Subtype");
        if (!subtype.isName() || subtype.getName() != "/Type3") return;
        QPDFObjectHandle glyph_resources = font.getKey("/Resources");
        QPDFObjectHandle procs = font.getKey("/CharProcs");
        if (procs.isDictionary())
            for (auto [name, proc] : procs.ditems())
                if (proc.isStream() && first_time(proc)) inline_images(proc);
        resources(glyph_resources, depth + 1);
    }

    // Inline images, read only where the content holds "BI" at all.
    void inline_images(QPDFObjectHandle contents) {
        if (!has_inline_image(contents)) return;
        InlineImages callbacks(images);
        try {
            QPDFObjectHandle::parseContentStream(contents, &callbacks);
        } catch (const std::exception&) {
            // The images up to the damage are noted; MuPDF stops there too, or skips on.
        }
    }

    static bool has_inline_image(QPDFObjectHandle contents) {
        std::vector<QPDFObjectHandle> streams;
        if (contents.isStream()) streams.push_back(contents);
        if (contents.isArray())
            for (int i = 0; i < contents.getArrayNItems(); ++i) streams.push_back(contents.getArrayItem(i));
        for (QPDFObjectHandle& stream : streams) {
            if (!stream.isStream()) continue;
            Pl_Buffer decoded("content");
            try {
                stream.pipeStreamData(&decoded, nullptr, 0, qpdf_dl_generalized, true);
            } catch (const std::exception&) {
                decoded.finish();
            }
            if (bytes_of(decoded.getBufferSharedPointer()).find("BI") != std::string::npos) return true;
        }
        return false;
    }

    // The dictionary of each inline image comes as the objects between BI and ID.
    class InlineImages : public QPDFObjectHandle::ParserCallbacks {
    public:
        explicit InlineImages(std::vector<DeclaredImage>& images) : images_(images) {}
        void handleObject(QPDFObjectHandle object) override {
            if (object.isOperator()) {
                const std::string op = object.getOperatorValue();
                collecting_ = op == "BI";
                if (collecting_) entries_.clear();
                if (op == "ID") dictionary_ = dictionary();
                return;
            }
            if (object.isInlineImage()) {
                images_.push_back(declared(dictionary_, object.getInlineImageValue()));
                return;
            }
            if (collecting_) entries_.push_back(object);
        }
        void handleEOF() override {}

    private:
        QPDFObjectHandle dictionary() {
            QPDFObjectHandle dict = QPDFObjectHandle::newDictionary();
            for (std::size_t i = 0; i + 1 < entries_.size(); i += 2)
                if (entries_[i].isName()) dict.replaceKey(entries_[i].getName(), entries_[i + 1]);
            return dict;
        }
        std::vector<DeclaredImage>& images_;
        std::vector<QPDFObjectHandle> entries_;
        QPDFObjectHandle dictionary_ = QPDFObjectHandle::newDictionary();
        bool collecting_ = false;
    };

public:
    void annotations(QPDFObjectHandle page, QPDFObjectHandle page_resources) {
        QPDFObjectHandle annots = page.getKey("/Annots");
        if (!annots.isArray()) return;
        for (int i = 0; i < annots.getArrayNItems(); ++i) {
            QPDFObjectHandle annot = annots.getArrayItem(i);
            QPDFObjectHandle appearance = annot.isDictionary() ? annot.getKey("/AP") : QPDFObjectHandle();
            QPDFObjectHandle normal = appearance.isDictionary() ? appearance.getKey("/N") : QPDFObjectHandle();
            if (normal.isStream()) form(normal, page_resources, 0);
            if (normal.isDictionary())
                for (auto [state, stream] : normal.ditems()) form(stream, page_resources, 0);
        }
    }
};

}  // namespace

std::vector<DeclaredImage> declared_images(QPDFPageObjectHelper& page) {
    Inventory inventory;
    QPDFObjectHandle resources = page.getAttribute("/Resources", false);
    QPDFObjectHandle object = page.getObjectHandle();
    inventory.content(object.getKey("/Contents"), resources, 0);
    inventory.annotations(object, resources);
    return inventory.images;
}

}  // namespace tesmira::pdf
