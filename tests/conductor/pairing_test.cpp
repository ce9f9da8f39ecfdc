#include <gtest/gtest.h>

#include "common/errors.hpp"
#include "conductor/pairing.hpp"
#include "fixtures/refusal.hpp"

namespace fs = std::filesystem;
using tesmira::conductor::match_files;

namespace {

std::string refusal(const std::vector<fs::path>& before, const std::vector<fs::path>& after) {
    return tesmira::fixtures::refusal([&] { match_files(before, after); });
}

std::vector<fs::path> numbered(int count, const std::string& folder) {
    std::vector<fs::path> paths;
    for (int i = 0; i < count; ++i) paths.push_back(folder + "/" + std::to_string(i) + ".pdf");
    return paths;
}

}  // namespace

TEST(Pairing, PairsByNameInCodePointOrder) {
    auto pairs = match_files({"/x/b.pdf", "/x/a.pdf"}, {"/y/a.pdf", "/y/b.pdf"});
    ASSERT_EQ(pairs.size(), 2u);
    EXPECT_EQ(pairs[0], std::make_pair(fs::path("/x/a.pdf"), fs::path("/y/a.pdf")));
    EXPECT_EQ(pairs[1], std::make_pair(fs::path("/x/b.pdf"), fs::path("/y/b.pdf")));

    // One file on each side pairs whatever the names.
    pairs = match_files({"/a/first.pdf"}, {"/b/second.pdf"});
    EXPECT_EQ(pairs.front(), std::make_pair(fs::path("/a/first.pdf"), fs::path("/b/second.pdf")));

    // Decomposed and precomposed forms are one name; code point order puts B before a and 10 before 2.
    pairs = match_files({"/x/\u304B\u3099.pdf", "/x/a.pdf", "/x/B.pdf", "/x/10.pdf", "/x/2.pdf"},
                        {"/y/\u304C.pdf", "/y/a.pdf", "/y/B.pdf", "/y/10.pdf", "/y/2.pdf"});
    std::vector<std::string> names;
    for (const auto& pair : pairs) names.push_back(pair.second.filename().string());
    EXPECT_EQ(names, (std::vector<std::string>{"10.pdf", "2.pdf", "B.pdf", "a.pdf", "\u304C.pdf"}));

    // Relative paths are made absolute against the working folder.
    pairs = match_files({"rel/a.pdf"}, {"rel/b.pdf"});
    EXPECT_EQ(pairs.front().first, fs::current_path() / "rel/a.pdf");
    EXPECT_NO_THROW(match_files(numbered(100, "/x"), numbered(100, "/y")));
}

TEST(Pairing, RefusalsInTheirOrder) {
    struct Case {
        std::vector<fs::path> before, after;
        std::string message;
    } cases[] = {
        {{}, {"/y/a.pdf"}, "変更前のPDFは1〜100ファイルにしてください。"},
        {{}, {}, "変更前のPDFは1〜100ファイルにしてください。"},
        {numbered(101, "/x"), {}, "変更前のPDFは1〜100ファイルにしてください。"},
        {{"/x/a.pdf"}, numbered(101, "/y"), "変更後のPDFは1〜100ファイルにしてください。"},
        {{"/x/a.pdf.bak"}, {"/y/a.pdf"}, "PDF以外のファイルが含まれています。"},
        {{"/x/a.png"}, {"/y/a.pdf"}, "PDF以外のファイルが含まれています。"},
        {{"/x/nodot"}, {"/y/a.pdf"}, "PDF以外のファイルが含まれています。"},
        {{"/x/.pdf"}, {"/y/a.pdf"}, "PDF以外のファイルが含まれています。"},
        {{"/x/REPORT.PDF"}, {"/y/a.pdf"}, tesmira::fixtures::NO_REFUSAL},
        {{"/x/a.pdf", "/z/a.pdf"}, {"/y/a.pdf"}, "変更前に同名ファイルが重複しています: a.pdf"},
        {{"/x/表紙.pdf"}, {"/y/表紙.pdf", "/z/表紙.pdf"}, "変更後に同名ファイルが重複しています: 表紙.pdf"},
        {{"/x/A.pdf", "/x/c.pdf"},
         {"/y/a.pdf", "/y/c.pdf"},
         "同名の相手が見つかりません。\n変更前だけ: A.pdf\n変更後だけ: a.pdf"},
        {{"/x/z.pdf", "/x/m.pdf", "/x/k.pdf"},
         {"/y/k.pdf", "/y/q.pdf"},
         "同名の相手が見つかりません。\n変更前だけ: m.pdf、z.pdf\n変更後だけ: q.pdf"},
        {{"/x/z.pdf", "/x/m.pdf"},
         {"/y/m.pdf", "/y/z.pdf", "/y/n.pdf"},
         "同名の相手が見つかりません。\n変更後だけ: n.pdf"},
    };
    for (const Case& c : cases) EXPECT_EQ(refusal(c.before, c.after), c.message);
}

// The document name is the last component that names something: a trailing "/" or "/." and
// inner "." components are no components, while ".." is one. The pairs carry that form.
TEST(Pairing, TrailingSlashesAndDotsAreNoComponents) {
    const auto pairing = [](const std::vector<fs::path>& before, const std::vector<fs::path>& after) {
        try {
            std::string text;
            for (const auto& [old_path, new_path] : match_files(before, after))
                text += (text.empty() ? "" : ", ") + old_path.string() + " > " + new_path.string();
            return text;
        } catch (const tesmira::UserError& error) {
            return std::string(error.what());
        }
    };
    const std::string here = fs::current_path().string();
    const struct {
        std::vector<fs::path> before, after;
        std::string outcome;
    } cases[] = {
        {{"/x/z.pdf/"}, {"/y/other.pdf"}, "/x/z.pdf > /y/other.pdf"},
        {{"/x/z.pdf/", "/x/a.pdf"}, {"/y/./z.pdf/.", "/y//a.pdf"}, "/x/a.pdf > /y/a.pdf, /x/z.pdf > /y/z.pdf"},
        {{"B/z.pdf/", "B/a.pdf"},
         {"C/a.pdf/.", "./C/z.pdf"},
         here + "/B/a.pdf > " + here + "/C/a.pdf, " + here + "/B/z.pdf > " + here + "/C/z.pdf"},
        {{"/x/REPORT.PDF/."}, {"/y/b.pdf"}, "/x/REPORT.PDF > /y/b.pdf"},
        {{"/x/z.pdf", "/x/./z.pdf/"}, {"/y/z.pdf"}, "変更前に同名ファイルが重複しています: z.pdf"},
        {{"/x/z.pdf/.."}, {"/y/z.pdf"}, "PDF以外のファイルが含まれています。"},
        {{"/x/a.pdf", "/x/z.pdf/"}, {"/y/a.pdf", "/y/z.pdf/.."}, "PDF以外のファイルが含まれています。"},
    };
    for (const auto& c : cases) EXPECT_EQ(pairing(c.before, c.after), c.outcome) << c.before.front();
}
