#include <gtest/gtest.h>

#include "common/errors.hpp"
#include "conductor/settings.hpp"
#include "fixtures/refusal.hpp"

using tesmira::Json;
using tesmira::conductor::DEFAULTS;
using tesmira::conductor::normalized_settings;

namespace {

std::string refusal(const Json& values) {
    return tesmira::fixtures::refusal([&] { normalized_settings(values); });
}

}  // namespace

TEST(Settings, DefaultsFillInAndUnknownKeysGo) {
    EXPECT_EQ(normalized_settings(Json::object()).dump(),
              R"({"dpi":300,"tolerance":1,"opacity":10,"border":2,"stamp":true,"tiny_markers":false,"grain":false})");
    const Json mixed = normalized_settings(Json::parse(R"({"grain": true, "dpi": 200, "extra": 1})"));
    EXPECT_EQ(mixed.dump(),
              R"({"dpi":200,"tolerance":1,"opacity":10,"border":2,"stamp":true,"tiny_markers":false,"grain":true})");
    EXPECT_EQ(normalized_settings(mixed), mixed);
    EXPECT_EQ(normalized_settings(Json::parse(R"({"dpi": 300.0})"))["dpi"].dump(), "300.0");
    EXPECT_EQ(DEFAULTS().size(), 7u);
}

TEST(Settings, RefusalsInTheirOrder) {
    struct Case {
        const char* json;
        const char* message;
    } cases[] = {
        {"[1]", "設定の形式が不正です。"},
        {"12", "設定の形式が不正です。"},
        {"\"text\"", "設定の形式が不正です。"},
        {"null", "設定の形式が不正です。"},
        {R"({"tolerance": 255, "border": 1})", tesmira::fixtures::NO_REFUSAL},
        {R"({"border": 6, "opacity": 0})", tesmira::fixtures::NO_REFUSAL},
        {R"({"tolerance": 256})", "設定が範囲外です: tolerance"},
        {R"({"tolerance": -1})", "設定が範囲外です: tolerance"},
        {R"({"tolerance": true})", "設定が範囲外です: tolerance"},
        {R"({"tolerance": 1.0})", "設定が範囲外です: tolerance"},
        {R"({"opacity": 101})", "設定が範囲外です: opacity"},
        {R"({"border": 0})", "設定が範囲外です: border"},
        {R"({"border": 7})", "設定が範囲外です: border"},
        {R"({"dpi": 150})", "解像度を確認してください。"},
        {R"({"dpi": "300"})", "解像度を確認してください。"},
        {R"({"dpi": true})", "解像度を確認してください。"},
        {R"({"stamp": 1})", "設定が不正です: stamp"},
        {R"({"grain": "true"})", "設定が不正です: grain"},
        {R"({"tiny_markers": null})", "設定が不正です: tiny_markers"},
        {R"({"dpi": 1, "tolerance": -1})", "設定が範囲外です: tolerance"},
        {R"({"opacity": 101, "border": 0})", "設定が範囲外です: opacity"},
        {R"({"dpi": 1, "stamp": 0})", "解像度を確認してください。"},
    };
    for (const Case& c : cases) EXPECT_EQ(refusal(Json::parse(c.json)), c.message) << c.json;
}
