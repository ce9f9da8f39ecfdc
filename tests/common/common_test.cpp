#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <stdexcept>
#include <system_error>
#include <vector>

#include "common/copy_names.hpp"
#include "common/errors.hpp"
#include "common/files.hpp"
#include "common/json_reading.hpp"
#include "common/rounding.hpp"
#include "common/tokyo_clock.hpp"
#include "common/unicode.hpp"

using namespace tesmira;

TEST(Rounding, HalfToEvenOnTheExactBinaryValue) {
    struct Case {
        double value;
        int decimals;
        const char* text;
    } cases[] = {
        {0.5, 0, "0"},
        {1.5, 0, "2"},
        {2.5, 0, "2"},
        {14000.5, 0, "14000"},
        {2.675, 2, "2.67"},  // 2.675 is stored just below the tie
        {210.000144, 1, "210.0"},
        {3000.149, 1, "3000.1"},
        {-0.25, 1, "-0.2"},
        {std::nan(""), 1, "nan"},
        {std::numeric_limits<double>::infinity(), 1, "inf"},
        {-std::numeric_limits<double>::infinity(), 1, "-inf"},
    };
    for (const Case& c : cases) EXPECT_EQ(format_fixed(c.value, c.decimals), c.text) << c.value;
    EXPECT_EQ(round_half_even(297.0000833, 3), 297.0);
    EXPECT_EQ(round_half_even(0.12345, 4), 0.1235);  // stored just above the tie
    EXPECT_EQ(round_to_int(612.5), 612);
    EXPECT_EQ(round_to_int(33.333), 33);
    EXPECT_EQ(round_to_int(-2.5), -2);
}

TEST(TokyoClock, IsoFormDropsAZeroFractionAndCarriesTheOffset) {
    using namespace std::chrono;
    // 2026-12-09T01:11:12Z is 10:11:12 in Tokyo.
    sys_time<microseconds> instant = sys_days{year{2026} / 12 / 9} + hours{1} + minutes{11} + seconds{12};
    TokyoTime t = to_tokyo(instant);
    EXPECT_EQ(iso_format(t), "2026-12-09T10:11:12+09:00");
    EXPECT_EQ(iso_format(to_tokyo(instant + microseconds{345678})), "2026-12-09T10:11:12.345678+09:00");
    EXPECT_EQ(iso_format(to_tokyo(instant + microseconds{5})), "2026-12-09T10:11:12.000005+09:00");
    EXPECT_EQ(format_time(t, "%Y/%m/%d %H:%M:%S"), "2026/12/09 10:11:12");
    // Crossing midnight in Tokyo while it is still the previous day in UTC.
    EXPECT_EQ(format_time(to_tokyo(sys_days{year{2026} / 12 / 31} + hours{15}), "%Y%m%d_%H%M%S"), "20270101_000000");
}

TEST(Unicode, CategoryCIsRemovedAndOtherSeparatorsStay) {
    EXPECT_EQ(remove_category_c("a\tb\nc\rd\u200Be\uFEFFf\u202Eg\uE000h"), "abcdefgh");
    EXPECT_EQ(remove_category_c("a\u2028b\u3000c"), "a\u2028b\u3000c");
    // A byte that is not UTF-8 counts as a lone surrogate, which is category C.
    EXPECT_EQ(remove_category_c("a\xff"
                                "b"),
              "ab");
    EXPECT_EQ(encode_utf8(decode_utf8("x\xff\xfe"
                                      "y")),
              "x\xff\xfe"
              "y");
}

TEST(Unicode, NfcCasefoldAndCuts) {
    EXPECT_EQ(nfc("e\u0301"), "\u00e9");
    EXPECT_EQ(nfc("\u30cf\u309a"), "\u30d1");  // ハ + combining ゜ = パ
    EXPECT_EQ(casefold("Report.PDF"), "report.pdf");
    EXPECT_EQ(casefold("Stra\u00dfe"), "strasse");
    EXPECT_EQ(cut_utf8("あいう", 7), "あい");  // 3-byte characters are never split
    EXPECT_EQ(cut_utf8("あいう", 9), "あいう");
    EXPECT_EQ(cut_utf8("abc", 0), "");
}

TEST(JsonReading, NestingBeyondTheLimitIsRefusedBeforeItCanOverflow) {
    const auto nested = [](int depth, const std::string& inside = "") {
        return std::string(std::size_t(depth), '[') + inside + std::string(std::size_t(depth), ']');
    };
    EXPECT_EQ(parse_json(nested(MAX_JSON_DEPTH, "1")).dump(), nested(MAX_JSON_DEPTH, "1"));
    EXPECT_THROW(parse_json(nested(MAX_JSON_DEPTH + 1)), JsonTooDeep);
    EXPECT_TRUE(parse_json(nested(MAX_JSON_DEPTH + 1), false).is_discarded());
    // A record growing past a deep member copied it, recursively, and overflowed the stack.
    EXPECT_THROW(parse_json(R"({"deep": )" + nested(100000) + R"(, "next": 1})"), JsonTooDeep);
    EXPECT_THROW(parse_json(R"({"dpi": 1)"), Json::parse_error);
    EXPECT_TRUE(parse_json(R"({"dpi": 1)", false).is_discarded());
    EXPECT_EQ(parse_json(R"({"b": 1, "a": [true, {"c": null}]})").dump(), R"({"b":1,"a":[true,{"c":null}]})");
}

TEST(JsonReading, ReadsAndRefusesExactlyAsThePlainParse) {
    std::string records = "[";
    for (int i = 0; i < 2000; ++i) records += (i ? "," : "") + std::string(R"({"page": )") + std::to_string(i) + "}";
    records += "]";
    // Valid texts give the same value; invalid ones the same refusal, with or without exceptions.
    const std::vector<std::string> texts = {records,
                                            R"({"pad": [{"a": {"b": []}}, {}], "s": {"dpi": 200}})",
                                            R"("text")",
                                            "12.5",
                                            "null",
                                            R"("\u00e9")",
                                            "",
                                            "   ",
                                            R"({"a": 1} {"b": 2})",
                                            R"({"a": 1}])",
                                            "[1,]",
                                            R"({"a" 1})",
                                            "[1] // note",
                                            R"("\ud800")",
                                            "[1e999]"};
    for (const std::string& text : texts) {
        SCOPED_TRACE(text.substr(0, 40));
        const Json plain = Json::parse(text, nullptr, false);
        const Json read = parse_json(text, false);
        EXPECT_EQ(read.is_discarded(), plain.is_discarded());
        if (!plain.is_discarded()) EXPECT_EQ(read.dump(), plain.dump());
        std::string plain_error, read_error;
        try {
            (void)Json::parse(text);
        } catch (const Json::exception& e) {
            plain_error = e.what();
        }
        try {
            (void)parse_json(text);
        } catch (const Json::exception& e) {
            read_error = e.what();
        }
        EXPECT_EQ(read_error, plain_error);
    }
}

TEST(Files, PublishingNeverReplacesAnExistingName) {
    namespace fs = std::filesystem;
    tesmira::TemporaryFolder temp("tesmira-files-test-");
    const fs::path partial = temp.path() / ".partial", final_name = temp.path() / "final";
    fs::create_directory(partial);
    tesmira::write_text_file(partial / "result.pdf", "pdf");
    fs::create_directory(final_name);  // empty: a plain rename would replace it silently
    try {
        tesmira::rename_no_replace(partial, final_name);
        ADD_FAILURE() << "renamed over an existing folder";
    } catch (const fs::filesystem_error& error) {
        EXPECT_EQ(error.code(), std::errc::file_exists);
    }
    EXPECT_TRUE(fs::exists(partial / "result.pdf"));
    fs::remove(final_name);
    tesmira::rename_no_replace(partial, final_name);
    EXPECT_TRUE(fs::exists(final_name / "result.pdf"));

    const fs::path folder = temp.path();
    temp.remove();
    EXPECT_FALSE(fs::exists(folder));
}

// A failure that names a private copy names the file it was made from; the rest of the
// message and every failure that names no copy stay as they were.
TEST(CopyNames, MessagesNameTheOriginalsInsteadOfTheCopies) {
    namespace fs = std::filesystem;
    CopyNames copies;
    copies.add("/tmp/t-1/after/a.pdf", "/home/u/新/a.pdf");
    copies.add("/tmp/t-1/after/a.pdf.pdf", "/home/u/新/a.pdf.pdf");
    copies.add("/tmp/t-1/before/a.pdf", "/archive/versions/0123.pdf");
    const auto outcome = [&](const std::function<void()>& failure) -> std::string {
        try {
            copies.run(failure);
        } catch (const UserError& error) {
            return std::string("refusal: ") + error.what();
        } catch (const AlreadyExistsError& error) {
            return std::string("exists: ") + error.what();
        } catch (const std::exception& error) {
            return std::string("library: ") + error.what();
        } catch (const TerminationRequested&) {
            return "termination";
        }
        return "done";
    };
    const struct {
        std::function<void()> failure;
        std::string outcome;
    } cases[] = {
        {[] { throw std::runtime_error("/tmp/t-1/after/a.pdf: unable to find trailer dictionary"); },
         "library: /home/u/新/a.pdf: unable to find trailer dictionary"},
        {[] { throw std::runtime_error("/tmp/t-1/after/a.pdf.pdf (offset 9): bad"); },
         "library: /home/u/新/a.pdf.pdf (offset 9): bad"},
        {[] { throw UserError("a.pdf: /tmp/t-1/before/a.pdf: damaged"); },
         "refusal: a.pdf: /archive/versions/0123.pdf: damaged"},
        {[] {
             throw fs::filesystem_error("cannot read",
                                        "/tmp/t-1/before/a.pdf",
                                        "/tmp/t-1/after/a.pdf",
                                        std::make_error_code(std::errc::io_error));
         },
         "library: filesystem error: cannot read: Input/output error [/archive/versions/0123.pdf] [/home/u/新/a.pdf]"},
        {[] { throw std::runtime_error("/tmp/t-1/after/result.png: cannot write"); },
         "library: /tmp/t-1/after/result.png: cannot write"},
        {[] { throw AlreadyExistsError("保存先が既に存在します。もう一度実行してください。"); },
         "exists: 保存先が既に存在します。もう一度実行してください。"},
        {[] { throw TerminationRequested(); }, "termination"},
        {[] {}, "done"},
    };
    for (const auto& c : cases) EXPECT_EQ(outcome(c.failure), c.outcome);
    EXPECT_EQ(copies.run([] { return 7; }), 7);
}
