// Pages made to hold the worker: endless drawing and images that declare far more pixels than
// they hold. Each is refused with its own message, or ended by SIGTERM at once, and leaves
// nothing behind.
#include <csignal>

#include "fixtures/hostile_pdfs.hpp"
#include "worker_process.hpp"

namespace fs = std::filesystem;
namespace fx = tesmira::fixtures;
using tesmira::Json;

namespace tesmira::worker_tests {
namespace {

class HostilePages : public WorkerTest {
protected:
    std::vector<std::string> fan_out_run() {
        fx::write_fan_out_pdf(box.input("old/fan.pdf"), 40);
        fx::write_fan_out_pdf(box.input("new/fan.pdf"), 40);
        return comparison({box.input("old/fan.pdf")}, {box.input("new/fan.pdf")});
    }
    void SetUp() override {
        fs::create_directories(box.input("old"));
        fs::create_directories(box.input("new"));
    }
};

}  // namespace

TEST_F(HostilePages, EndlessDrawingIsRefusedNamingThePage) {
    const Outcome run = box.run(fan_out_run());
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_EQ(run.names(), (std::vector<std::string>{"start", "progress", "error"}));
    EXPECT_EQ(run.last()["message"], "1ページ: 描画する要素が多すぎるため比較できません（上限200万）。");
    EXPECT_TRUE(entries(box.output()).empty());
}

TEST_F(HostilePages, SigtermEndsEndlessDrawingAtOnce) {
    // The bound is generous for a busy machine: the page alone would take hours to draw.
    WorkerProcess worker(fan_out_run(), box.temporary(), std::chrono::seconds(60));
    ASSERT_TRUE(worker.wait_for([](const Json& event) { return event.value("event", "") == "progress"; }));
    worker.terminate();
    const Outcome run = worker.finish();
    EXPECT_FALSE(run.timed_out);
    EXPECT_EQ(run.status, 130) << run.err;
    EXPECT_EQ(run.names(), (std::vector<std::string>{"start", "progress"}));
    EXPECT_TRUE(entries(box.output()).empty());
}

TEST_F(HostilePages, ImagesDeclaredHugeAreRefusedBeforeTheyAreDecoded) {
    struct Case {
        const char* name;
        void (*write)(const fs::path&);
    } cases[] = {
        {"JPEG 2000 of 20000 x 20000 x 3", fx::write_jpeg2000_bomb_pdf},
        {"JBIG2 of 4e9 x 4e9", fx::write_jbig2_bomb_pdf},
    };
    for (const Case& c : cases) {
        c.write(box.input("old/bomb.pdf"));
        c.write(box.input("new/bomb.pdf"));
        const Outcome run = box.run(comparison({box.input("old/bomb.pdf")}, {box.input("new/bomb.pdf")}));
        EXPECT_EQ(run.status, 1) << c.name << ": " << run.err;
        EXPECT_EQ(run.last()["message"], "1ページ: 大きすぎる画像があるため比較できません（展開後1GBまで）。")
            << c.name;
    }
}

}  // namespace tesmira::worker_tests
