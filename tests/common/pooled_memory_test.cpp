// The pool of page-sized buffers: arrays of a page's size come from it and go back to it,
// blocks are kept for the next page within the limit, and beyond it given back at once.
#include <gtest/gtest.h>

#include <opencv2/core.hpp>

#include <cstdint>
#include <thread>
#include <vector>

#include "common/allocator.hpp"

using tesmira::pooled_memory;

namespace {

constexpr std::size_t MIB = std::size_t(1) << 20;

class PooledMemory : public ::testing::Test {
protected:
    void SetUp() override {
        tesmira::reuse_freed_canvases();
        tesmira::limit_pooled_memory(0);  // nothing kept from an earlier test
        tesmira::limit_pooled_memory(std::size_t(1) << 30);
    }
};

TEST_F(PooledMemory, PageSizedArraysComeFromThePoolAndGoBack) {
    const std::uint8_t* first = nullptr;
    {
        cv::Mat canvas(3608, 2581, CV_8UC3);  // a 300-dpi A4 page with its margin
        first = canvas.data;
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(canvas.data) % (2 * MIB), 0u) << "whole huge pages";
        EXPECT_EQ(pooled_memory().in_use, 28 * MIB);  // 27.9 MB in 2 MiB units
        const cv::Mat small(100, 100, CV_8UC3);
        EXPECT_EQ(pooled_memory().in_use, 28 * MIB) << "a small array is the heap's";
    }
    EXPECT_EQ(pooled_memory().in_use, 0u);
    EXPECT_EQ(pooled_memory().kept, 28 * MIB);
    // The next page's canvas, of the same size or a little smaller, takes the same block.
    const cv::Mat again(3600, 2581, CV_8UC3);
    EXPECT_EQ(again.data, first);
    EXPECT_EQ(pooled_memory().kept, 0u);
    // A much smaller array does not take a large block.
    const cv::Mat mask(1100, 1000, CV_8U);
    EXPECT_EQ(pooled_memory().in_use, 28 * MIB + 2 * MIB);
}

TEST_F(PooledMemory, KeepsWithinItsLimitAndStillHandsOutALargerBlock) {
    tesmira::limit_pooled_memory(10 * MIB);
    {
        const cv::Mat page(4000, 4000, CV_8UC3);  // 46 MiB, beyond the limit: still handed out
        EXPECT_EQ(pooled_memory().in_use, 46 * MIB);
        const std::shared_ptr<unsigned char> plates = tesmira::large_block(5 * MIB);
        EXPECT_EQ(pooled_memory().in_use, 52 * MIB);
    }
    EXPECT_EQ(pooled_memory().in_use, 0u);
    EXPECT_LE(pooled_memory().kept, 10 * MIB);
    tesmira::reset_pooled_peak();
    EXPECT_EQ(pooled_memory().peak, 0u);
}

TEST_F(PooledMemory, ServesThreadsAtOnce) {
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([t] {
            for (int round = 0; round < 20; ++round) {
                cv::Mat page(1000 + 100 * t, 1500, CV_8UC3, cv::Scalar::all(t));
                ASSERT_EQ(page.at<cv::Vec3b>(page.rows - 1, page.cols - 1)[0], t);
            }
        });
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(pooled_memory().in_use, 0u);
}

}  // namespace
