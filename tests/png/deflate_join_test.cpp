#include <gtest/gtest.h>
#include <libdeflate.h>
#include <zlib.h>

#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "png/deflate_join.hpp"

using tesmira::png::make_joinable;

namespace {

// A complete raw deflate stream of `data` as libdeflate writes it at `level`.
std::string deflated(const std::string& data, int level) {
    std::unique_ptr<libdeflate_compressor, decltype(&libdeflate_free_compressor)> compressor(
        libdeflate_alloc_compressor(level), libdeflate_free_compressor);
    std::string out(libdeflate_deflate_compress_bound(compressor.get(), data.size()), '\0');
    out.resize(libdeflate_deflate_compress(compressor.get(), data.data(), data.size(), out.data(), out.size()));
    return out;
}

// Inflates a raw deflate stream with zlib; fails the test unless it ends exactly at the data's end.
std::string inflated(const std::string& stream, std::size_t expected_size) {
    z_stream z{};
    EXPECT_EQ(inflateInit2(&z, -15), Z_OK);
    std::string out(expected_size + 1, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(stream.data()));
    z.avail_in = uInt(stream.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = uInt(out.size());
    EXPECT_EQ(inflate(&z, Z_FINISH), Z_STREAM_END);
    EXPECT_EQ(z.avail_in, 0u) << "bytes after the final block";
    out.resize(out.size() - z.avail_out);
    inflateEnd(&z);
    return out;
}

// Data of the kinds that give stored, fixed-code and dynamic-code blocks.
std::string sample(const std::string& kind, std::size_t size, std::mt19937& random) {
    std::string data(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        if (kind == "noise")
            data[i] = char(random());
        else if (kind == "rows")  // filtered image rows: mostly zeros, a few values
            data[i] = random() % 16 == 0 ? char(random() % 7) : '\0';
        else  // text
            data[i] = "the quick brown fox jumps over a lazy dog "[random() % 42];
    }
    return data;
}

}  // namespace

// Streams made one by one, each but the last made joinable, inflate as one stream to the data
// joined: for every kind of block and every bit position at which a final block can end.
TEST(DeflateJoin, JoinedStreamsInflateToTheJoinedData) {
    const struct {
        const char* kind;
        int level;
        std::vector<std::size_t> sizes;
    } cases[] = {
        {"noise", 6, {100, 70000, 3}},      // stored blocks
        {"text", 6, {1, 2, 5, 9, 13}},      // fixed codes
        {"rows", 6, {500000, 31, 400000}},  // dynamic codes, several blocks per stream
        {"text", 12, {20000, 20001, 20002}},
        {"rows", 1, {12345, 54321}},
        {"noise", 0, {1000, 0, 1000}},  // no compression, and an empty stream between
    };
    std::mt19937 random(12);
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.kind) + " at level " + std::to_string(c.level));
        std::string joined_data, joined_stream;
        for (std::size_t i = 0; i < c.sizes.size(); ++i) {
            const std::string data = sample(c.kind, c.sizes[i], random);
            std::string stream = deflated(data, c.level);
            if (i + 1 < c.sizes.size()) make_joinable(stream);
            joined_data += data;
            joined_stream += stream;
        }
        EXPECT_EQ(inflated(joined_stream, joined_data.size()), joined_data);
    }
    // Many short streams end their final block at every bit position of a byte.
    std::string joined_data, joined_stream;
    for (std::size_t size = 1; size <= 300; ++size) {
        const std::string data = sample(size % 2 ? "text" : "rows", size, random);
        std::string stream = deflated(data, 6);
        make_joinable(stream);
        joined_data += data;
        joined_stream += stream;
    }
    joined_stream += deflated("", 6);
    EXPECT_EQ(inflated(joined_stream, joined_data.size()), joined_data);
}

TEST(DeflateJoin, RefusesWhatIsNoCompleteStream) {
    std::mt19937 random(3);
    const std::string whole = deflated(sample("rows", 100000, random), 6);
    const std::string cases[] = {
        "",
        whole.substr(0, whole.size() / 2),       // ends inside a block
        std::string(1, '\x07'),                  // final block of the reserved type
        std::string("\x01\x05\x00\x00\x00", 5),  // stored block whose length and its complement disagree
    };
    for (std::string stream : cases) EXPECT_THROW(make_joinable(stream), std::runtime_error) << stream.size();
}
