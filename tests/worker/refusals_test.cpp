#include <gtest/gtest.h>

#include <functional>

#include "common/files.hpp"
#include "fixtures/pdf_builder.hpp"
#include "worker_process.hpp"

namespace fs = std::filesystem;
namespace fx = tesmira::fixtures;
using namespace tesmira::worker_tests;

namespace {

class WorkerRefusals : public WorkerTest {};

// The inputs of one case, each in a folder of its own.
struct Inputs {
    fs::path folder;

    std::string pdf(const std::string& name, int pages, int variant = 0, double width = 100,
                    double height = 100) const {
        fs::create_directories((folder / name).parent_path());
        write_sample_pdf(folder / name, pages, variant, width, height);
        return (folder / name).string();
    }
    std::string document(const std::string& name, const fx::Document& document) const {
        fs::create_directories((folder / name).parent_path());
        fx::write_pdf(document, folder / name);
        return (folder / name).string();
    }
    std::string file(const std::string& name, const std::string& bytes) const {
        fs::create_directories((folder / name).parent_path());
        tesmira::write_text_file(folder / name, bytes);
        return (folder / name).string();
    }
    std::string truncated(const std::string& name) const {
        const std::string path = pdf(name, 1);
        fs::resize_file(path, fs::file_size(path) / 2);
        return path;
    }
    std::string encrypted(const std::string& name, fx::Encryption kind) const {
        fx::Document locked = fx::many_pages(1, fx::Page{.media = {0, 0, 100, 100}});
        locked.encryption = kind;
        return document(name, locked);
    }
};

struct Case {
    const char* what;
    // The lists of old and new files and the settings; the output root is added unless given.
    std::function<std::vector<std::string>(const Inputs&)> arguments;
    std::string message;
    bool then_library_text = false;  // the message goes on with the PDF or file library's own text
};

std::vector<std::string> lists(const std::vector<std::string>& before, const std::vector<std::string>& after,
                               const std::string& settings = FAST_SETTINGS) {
    std::vector<std::string> arguments = {"--before"};
    arguments.insert(arguments.end(), before.begin(), before.end());
    arguments.push_back("--after");
    arguments.insert(arguments.end(), after.begin(), after.end());
    arguments.insert(arguments.end(), {"--settings-json", settings});
    return arguments;
}

const std::string PAGE_COUNTS = "新旧PDFのページ数が異なります。同じページ数・順番のPDFを選択してください。";

const Case CASES[] = {
    {"truncated PDF", [](const Inputs& in) { return lists({in.truncated("a.pdf")}, {in.pdf("b.pdf", 1)}); }, "", true},
    {"not a PDF",
     [](const Inputs& in) { return lists({in.pdf("a.pdf", 1)}, {in.file("b.pdf", "plain text\n")}); },
     "",
     true},
    {"missing file",
     [](const Inputs& in) { return lists({in.pdf("a.pdf", 1)}, {(in.folder / "gone.pdf").string()}); },
     "",
     true},
    {"encrypted, opens without password",
     [](const Inputs& in) {
         return lists({in.encrypted("a.pdf", fx::Encryption::empty_user_password)}, {in.pdf("b.pdf", 1)});
     },
     "パスワード付きPDFには対応していません。"},
    {"encrypted with password",
     [](const Inputs& in) {
         return lists({in.pdf("a.pdf", 1)}, {in.encrypted("b.pdf", fx::Encryption::user_password)});
     },
     "パスワード付きPDFには対応していません。"},
    {"51 pages",
     [](const Inputs& in) { return lists({in.pdf("a.pdf", 51)}, {in.pdf("b.pdf", 51)}); },
     "PDFは1〜50ページにしてください。"},
    {"page counts differ",
     [](const Inputs& in) { return lists({in.pdf("a.pdf", 3)}, {in.pdf("b.pdf", 2)}); },
     PAGE_COUNTS},
    {"trim sizes differ",
     [](const Inputs& in) { return lists({in.pdf("a.pdf", 2)}, {in.pdf("b.pdf", 2, 0, 100, 101)}); },
     "1ページ: 新旧の仕上がりサイズが異なります。自動拡大・縮小はしません。"},
    {"trim sizes differ on page 2",
     [](const Inputs& in) {
         fx::Document changed = fx::many_pages(2, fx::Page{.media = {0, 0, 100, 100}});
         changed.pages[1].trim = fx::Rect{0, 0, 100, 99};
         return lists({in.pdf("a.pdf", 2)}, {in.document("b.pdf", changed)});
     },
     "2ページ: 新旧の仕上がりサイズが異なります。自動拡大・縮小はしません。"},
    {"page over the pixel limit at 300 dpi",
     [](const Inputs& in) {
         return lists({in.pdf("a.pdf", 1, 0, 2880, 2880)}, {in.pdf("b.pdf", 1, 1, 2880, 2880)}, "{}");
     },
     "1ページ: 1016.0×1016.0mm・300dpiでは約14400万画素です。上限1億4000万画素を超えるため、解像度を下げてください。"},
    {"output root is a file",
     [](const Inputs& in) {
         std::vector<std::string> arguments = lists({in.pdf("a.pdf", 1)}, {in.pdf("b.pdf", 1)});
         arguments.insert(arguments.end(), {"--output-root", in.file("Downloads", "not a folder")});
         return arguments;
     },
     "ダウンロードフォルダーが見つかりません。"},
    {"output root missing, inputs too",
     [](const Inputs& in) {
         std::vector<std::string> arguments =
             lists({(in.folder / "gone-a.pdf").string()}, {(in.folder / "gone-b.pdf").string()});
         arguments.insert(arguments.end(), {"--output-root", (in.folder / "nowhere").string()});
         return arguments;
     },
     "ダウンロードフォルダーが見つかりません。"},
    {"101 old files",
     [](const Inputs& in) {
         std::vector<std::string> before;
         for (int i = 0; i < 101; ++i) before.push_back((in.folder / (std::to_string(i) + ".pdf")).string());
         return lists(before, {in.pdf("0.pdf", 1)});
     },
     "変更前のPDFは1〜100ファイルにしてください。"},
    {"not named .pdf",
     [](const Inputs& in) { return lists({in.file("a.png", "")}, {in.pdf("a.pdf", 1)}); },
     "PDF以外のファイルが含まれています。"},
    {"duplicate names",
     [](const Inputs& in) {
         return lists({in.pdf("x/a.pdf", 1), in.pdf("y/a.pdf", 1)}, {in.pdf("new/a.pdf", 1), in.pdf("new/b.pdf", 1)});
     },
     "変更前に同名ファイルが重複しています: a.pdf"},
    {"names without partner",
     [](const Inputs& in) {
         return lists({in.pdf("old/a.pdf", 1), in.pdf("old/b.pdf", 1)},
                      {in.pdf("new/a.pdf", 1), in.pdf("new/c.pdf", 1)});
     },
     "同名の相手が見つかりません。\n変更前だけ: b.pdf\n変更後だけ: c.pdf"},
    // Several pairs: every pair is checked before "start", and the old file is named.
    {"second pair's page counts differ",
     [](const Inputs& in) {
         return lists({in.pdf("old/a.pdf", 1), in.pdf("old/b.pdf", 2)},
                      {in.pdf("new/a.pdf", 1), in.pdf("new/b.pdf", 3)});
     },
     "b.pdf: " + PAGE_COUNTS},
    {"second pair's new file is not a PDF",
     [](const Inputs& in) {
         return lists({in.pdf("old/a.pdf", 1), in.pdf("old/b.pdf", 1)},
                      {in.pdf("new/a.pdf", 1), in.file("new/b.pdf", "%PDF-1.7\nbroken")});
     },
     "b.pdf: ",
     true},
    {"a file over 60 MiB among several",
     [](const Inputs& in) {
         const std::string big = in.pdf("new/b.pdf", 1);
         fs::resize_file(big, 60 * 1024 * 1024 + 1);  // sparse: costs no disk
         return lists({in.pdf("old/a.pdf", 1), in.pdf("old/b.pdf", 1)}, {in.pdf("new/a.pdf", 1), big});
     },
     "各PDFは60MB以内にしてください: b.pdf"},
    {"a missing file among several",
     [](const Inputs& in) {
         return lists({in.pdf("old/a.pdf", 1), in.pdf("old/b.pdf", 1)},
                      {(in.folder / "new/a.pdf").string(), in.pdf("new/b.pdf", 1)});
     },
     "各PDFは60MB以内にしてください: a.pdf"},
    {"36 files of exactly 60 MiB",
     [](const Inputs& in) {
         std::vector<std::string> before, after;
         for (int i = 0; i < 18; ++i)
             for (auto* side : {&before, &after}) {
                 const std::string path = in.pdf((side == &before ? "old/" : "new/") + std::to_string(i) + ".pdf", 1);
                 fs::resize_file(path, 60 * 1024 * 1024);
                 side->push_back(path);
             }
         return lists(before, after);
     },
     "新旧PDFの合計は2GB以内にしてください。分けて検版してください。"},
};

// Messages that a refusal of the PDF library must not be confused with.
bool is_user_message(const std::string& text) {
    for (const char* own : {"ページ", "PDFは", "パスワード", "フォルダー"})
        if (text.find(own) != std::string::npos) return true;
    return false;
}

}  // namespace

// Each refusal: status 1, one "error" line and nothing before it, the output root as it was.
TEST_F(WorkerRefusals, RefusedRunsLeaveNothingBehind) {
    tesmira::write_text_file(box.output() / "既存.txt", "kept");
    int number = 0;
    for (const Case& c : CASES) {
        SCOPED_TRACE(c.what);
        const Inputs inputs{box.input("case" + std::to_string(++number))};
        fs::create_directory(inputs.folder);
        std::vector<std::string> arguments = c.arguments(inputs);
        if (std::find(arguments.begin(), arguments.end(), "--output-root") == arguments.end())
            arguments.insert(arguments.end(), {"--output-root", box.output().string()});

        const Outcome run = box.run(arguments);
        EXPECT_EQ(run.status, 1) << run.err;
        ASSERT_EQ(run.names(), std::vector<std::string>{"error"}) << run.out;
        const std::string message = run.last().at("message");
        if (c.then_library_text) {
            ASSERT_EQ(message.rfind(c.message, 0), 0u) << message;
            const std::string library_text = message.substr(c.message.size());
            EXPECT_FALSE(library_text.empty());
            EXPECT_FALSE(is_user_message(library_text)) << message;
        } else {
            EXPECT_EQ(message, c.message);
        }
        EXPECT_EQ(entries(box.output()), std::set<std::string>{"既存.txt"});
        EXPECT_EQ(tesmira::read_text_file(box.output() / "既存.txt"), "kept");
        EXPECT_EQ(entries(box.temporary()), std::set<std::string>{});
    }
    // The file given as the output root is untouched too.
    int files_as_root = 0;
    for (const auto& entry : fs::recursive_directory_iterator(box.inputs()))
        if (entry.path().filename() == "Downloads") {
            ++files_as_root;
            EXPECT_EQ(tesmira::read_text_file(entry.path()), "not a folder");
        }
    EXPECT_EQ(files_as_root, 1);
}

// An empty path is the working folder made absolute, whose name is no PDF's.
// Fails at present: the worker reports "filesystem error: cannot make absolute path" instead.
TEST_F(WorkerRefusals, EmptyPathIsNoPdf) {
    write_sample_pdf(box.input("a.pdf"), 1);
    for (const auto& [before, after] : {std::pair<std::string, std::string>{"", box.input("a.pdf")},
                                        std::pair<std::string, std::string>{box.input("a.pdf"), ""}}) {
        const Outcome run = box.run({"--before", before, "--after", after, "--output-root", box.output().string()});
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out, "{\"event\": \"error\", \"message\": \"PDF以外のファイルが含まれています。\"}\n");
    }
    EXPECT_TRUE(entries(box.output()).empty());
}
