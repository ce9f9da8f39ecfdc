// Pages proven to draw alike: the same pages written otherwise are proven, and every difference
// that changes a drawing, also outside the page's own dictionary, keeps them apart.
#include <gtest/gtest.h>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFWriter.hh>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "fixtures/temp_folder.hpp"
#include "pdf/page_identity.hpp"

using tesmira::fixtures::TempFolder;
using tesmira::pdf::page_pairs;
using tesmira::pdf::page_proofs;

namespace {

std::vector<bool> identical_pages(const std::filesystem::path& before, const std::filesystem::path& after) {
    std::vector<bool> identical;
    for (const tesmira::pdf::PagePair& pair : page_pairs(before, after)) identical.push_back(pair.identical);
    return identical;
}

// A PDF written object by object as given, so that a test chooses the numbers, the order of
// the objects in the file and of the keys in each dictionary; the cross-reference table is
// computed. "{N}" in a body stands for the reference to the object the test calls N.
struct RawPdf {
    std::map<int, std::string> objects;  // the test's names for the objects, and their bodies
    std::map<int, int> numbers;          // the number each is written under (its name when absent)
    std::vector<int> order;              // the order in the file (the names' order when empty)

    int number(int name) const { return numbers.count(name) ? numbers.at(name) : name; }

    std::string body(std::string text) const {
        for (const auto& [name, _] : objects) {
            const std::string mark = "{" + std::to_string(name) + "}";
            for (std::size_t at; (at = text.find(mark)) != std::string::npos;)
                text.replace(at, mark.size(), std::to_string(number(name)) + " 0 R");
        }
        return text;
    }

    std::string bytes() const {
        std::vector<int> names = order;
        if (names.empty())
            for (const auto& [name, _] : objects) names.push_back(name);
        std::string file = "%PDF-1.7\n";
        int highest = 0;
        std::map<int, std::size_t> offsets;
        for (const int name : names) {
            offsets[number(name)] = file.size();
            highest = std::max(highest, number(name));
            std::string text = body(objects.at(name));
            const std::size_t stream = text.find("stream\n");
            if (stream != std::string::npos) {  // "<< ... >>stream\nDATA" gets its /Length
                const std::string data = text.substr(stream + 7);
                text = text.substr(0, stream - 2) + " /Length " + std::to_string(data.size()) + " >>\nstream\n" + data +
                       "\nendstream";
            }
            file += std::to_string(number(name)) + " 0 obj\n" + text + "\nendobj\n";
        }
        const std::size_t xref = file.size();
        file += "xref\n0 " + std::to_string(highest + 1) + "\n0000000000 65535 f \n";
        for (int n = 1; n <= highest; ++n) {
            char line[32];
            if (offsets.count(n))
                std::snprintf(line, sizeof line, "%010zu 00000 n \n", offsets.at(n));
            else
                std::snprintf(line, sizeof line, "0000000000 00000 f \n");
            file += line;
        }
        file += "trailer\n<< /Size " + std::to_string(highest + 1) + " /Root " + std::to_string(number(1)) +
                " 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
        return file;
    }
};

// Two pages inheriting their media box, rotation and (the first) resources from the page
// tree, sharing a font, the first with an annotation pointing back at it, in a document with a
// layer.
RawPdf two_pages() {
    RawPdf pdf;
    pdf.objects = {
        {1, "<< /Type /Catalog /Pages {2} /OCProperties {9} >>"},
        {2, "<< /Type /Pages /Kids [{3} {4}] /Count 2 /MediaBox [0 0 200 200] /Rotate 0 /Resources {5} >>"},
        {3, "<< /Type /Page /Parent {2} /Contents {6} /Annots [{8}] >>"},
        {4, "<< /Type /Page /Parent {2} /Contents {7} /Resources << /Font << /F1 {10} >> /ProcSet [/PDF /Text] >> >>"},
        {5, "<< /Font << /F1 {10} >> /ExtGState << /G {11} >> >>"},
        {6, "<< >>stream\nq /G gs BT /F1 12 Tf 20 20 Td (One) Tj ET Q"},
        {7, "<< >>stream\nBT /F1 12 Tf 20 50 Td (Two) Tj ET"},
        {8, "<< /Type /Annot /Subtype /Square /Rect [10 10 50 50] /P {3} /C [1 0 0] >>"},
        {9, "<< /OCGs [{12}] /D << /ON [{12}] >> >>"},
        {10, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"},
        {11, "<< /Type /ExtGState /CA 1 >>"},
        {12, "<< /Type /OCG /Name (Layer) >>"},
    };
    return pdf;
}

RawPdf changed(int name, const std::string& from, const std::string& to) {
    RawPdf pdf = two_pages();
    std::string& body = pdf.objects.at(name);
    const std::size_t at = body.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) body.replace(at, from.size(), to);
    return pdf;
}

void write(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// The same document as qpdf writes it with object streams, which hold the dictionaries inside
// compressed streams of their own; the streams' own data as it was.
void write_with_object_streams(const std::filesystem::path& from, const std::filesystem::path& to) {
    QPDF pdf;
    pdf.processFile(from.c_str());
    QPDFWriter writer(pdf, to.c_str());
    writer.setObjectStreamMode(qpdf_o_generate);
    writer.setStreamDataMode(qpdf_s_preserve);
    writer.write();
}

TEST(PageIdentity, TheSamePagesWrittenOtherwiseAreProven) {
    TempFolder folder;
    const auto old_pdf = folder.path() / "old.pdf";
    write(old_pdf, two_pages().bytes());

    RawPdf renumbered = two_pages();
    for (int name = 1; name <= 12; ++name) renumbered.numbers[name] = 40 - 3 * name;
    renumbered.order = {12, 7, 3, 9, 1, 4, 11, 5, 2, 10, 8, 6};
    RawPdf reordered = two_pages();
    reordered.objects[5] = "<< /ExtGState << /G {11} >> /Font << /F1 {10} >> >>";
    reordered.objects[4] =
        "<< /Resources << /ProcSet [/PDF /Text] /Font << /F1 {10} >> >> /Contents {7} /Parent {2} /Type /Page >>";
    // The pages one level further down the tree: /Parent leads elsewhere, nothing else changes.
    RawPdf deeper = two_pages();
    deeper.objects[2] = "<< /Type /Pages /Kids [{13}] /Count 2 /MediaBox [0 0 200 200] /Rotate 0 /Resources {5} >>";
    deeper.objects[13] = "<< /Type /Pages /Parent {2} /Kids [{3} {4}] /Count 2 >>";
    deeper.objects[3] = "<< /Type /Page /Parent {13} /Contents {6} /Annots [{8}] >>";
    deeper.objects[4] =
        "<< /Type /Page /Parent {13} /Contents {7} /Resources << /Font << /F1 {10} >> /ProcSet [/PDF /Text] >> >>";

    const struct {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"the same bytes", two_pages().bytes()},
        {"renumbered and in another order", renumbered.bytes()},
        {"dictionaries in another key order", reordered.bytes()},
        {"the page tree one level deeper", deeper.bytes()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto new_pdf = folder.path() / "new.pdf";
        write(new_pdf, c.bytes);
        EXPECT_EQ(identical_pages(old_pdf, new_pdf), std::vector<bool>({true, true}));
        const auto with_streams = folder.path() / "object_streams.pdf";
        write_with_object_streams(new_pdf, with_streams);
        EXPECT_EQ(identical_pages(old_pdf, with_streams), std::vector<bool>({true, true})) << "with object streams";
        std::filesystem::remove(with_streams);
    }
}

TEST(PageIdentity, EveryDifferenceThatDrawsKeepsThePagesApart) {
    TempFolder folder;
    const auto old_pdf = folder.path() / "old.pdf";
    write(old_pdf, two_pages().bytes());
    const struct {
        const char* name;
        RawPdf pdf;
        std::vector<bool> identical;
    } cases[] = {
        {"the second page's content", changed(7, "(Two)", "(Tvo)"), {true, false}},
        {"the shared font", changed(10, "/Helvetica", "/Times-Roman"), {false, false}},
        {"the resources the first page inherits", changed(11, "/CA 1", "/CA 0.5"), {false, true}},
        {"the layers shown", changed(9, "/ON", "/OFF"), {false, false}},
        {"the first page's annotation", changed(8, "/C [1 0 0]", "/C [0 0 1]"), {false, true}},
        {"the inherited media box", changed(2, "/MediaBox [0 0 200 200]", "/MediaBox [0 0 200 210]"), {false, false}},
        {"the inherited rotation", changed(2, "/Rotate 0", "/Rotate 90"), {false, false}},
        {"a media box of the second page's own",
         changed(4, "/Type /Page", "/Type /Page /MediaBox [0 0 200 200]"),
         {true, false}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto new_pdf = folder.path() / "new.pdf";
        write(new_pdf, c.pdf.bytes());
        EXPECT_EQ(identical_pages(old_pdf, new_pdf), c.identical);
    }
}

// Whatever qpdf had to repair, the renderer may have repaired otherwise: such a file proves nothing.
TEST(PageIdentity, ADamagedFileProvesNothing) {
    TempFolder folder;
    const auto old_pdf = folder.path() / "old.pdf", damaged = folder.path() / "damaged.pdf";
    write(old_pdf, two_pages().bytes());
    std::string bytes = two_pages().bytes();
    const std::size_t offset = bytes.find("startxref\n") + 10;
    bytes.replace(offset, bytes.find('\n', offset) - offset, "99999");  // no cross-reference table there
    write(damaged, bytes);
    EXPECT_EQ(page_proofs(old_pdf).size(), 2u);
    EXPECT_TRUE(page_proofs(damaged).empty());
    EXPECT_TRUE(identical_pages(old_pdf, damaged).empty());
    write(damaged, "not a PDF at all");
    EXPECT_TRUE(identical_pages(old_pdf, damaged).empty());
}

// Whether a page names inks, for its memory: any CMYK, Separation or DeviceN colour space in its
// graph, or content drawing in CMYK, also in a form; RGB and grey pages name none.
TEST(PageIdentity, TellsWhichPagesNameInks) {
    TempFolder folder;
    const auto pdf = folder.path() / "pages.pdf";
    const struct {
        const char* name;
        RawPdf pdf;
        bool inks;
    } cases[] = {
        {"RGB and grey content", changed(7, "BT", "0.5 g 1 0 0 rg 10 10 20 20 re f BT"), false},
        {"a CMYK fill", changed(7, "BT", "0 0 0 1 k 10 10 20 20 re f BT"), true},
        {"a CMYK stroke", changed(7, "BT", "0 0 1 0 K 10 10 m 20 20 l S BT"), true},
        {"an inline CMYK image",
         changed(7, "BT", "q BI /W 1 /H 1 /CS /CMYK /BPC 8 ID \xff\x00\x00\x00\nEI Q BT"),
         true},
        {"a spot colour space in the resources",
         changed(4, "/ProcSet", "/ColorSpace << /S [/Separation /Spot /DeviceCMYK {10}] >> /ProcSet"),
         true},
        {"CMYK inside a form",
         [] {
             RawPdf pdf = changed(4, "/ProcSet", "/XObject << /X {13} >> /ProcSet");
             pdf.objects[13] = "<< /Type /XObject /Subtype /Form /BBox [0 0 10 10] >>stream\n0 1 0 0 k 0 0 5 5 re f";
             return pdf;
         }(),
         true},
        {"a word ending in k in its text", changed(7, "(Two)", "(Two k)"), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        write(pdf, c.pdf.bytes());
        const auto proofs = page_proofs(pdf);
        ASSERT_EQ(proofs.size(), 2u);
        EXPECT_FALSE(proofs[0].inks);
        EXPECT_EQ(proofs[1].inks, c.inks);
        EXPECT_EQ(page_pairs(pdf, pdf)[1].inks, c.inks);
    }
}

}  // namespace
