#include "engine/png_io.hpp"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <zlib.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace tesmira::engine {
namespace {

constexpr int BAND_ROWS = 64;  // rows filtered and deflated together
const unsigned char SIGNATURE[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

void put_u32(std::string& out, std::uint32_t v) {
    out += char(v >> 24);
    out += char(v >> 16);
    out += char(v >> 8);
    out += char(v);
}

void put_chunk(std::string& out, const char* type, const std::string& data) {
    put_u32(out, std::uint32_t(data.size()));
    const std::size_t start = out.size();
    out.append(type, 4);
    out += data;
    const auto* bytes = reinterpret_cast<const Bytef*>(out.data() + start);
    put_u32(out, std::uint32_t(crc32(0, bytes, uInt(out.size() - start))));
}

int paeth(int a, int b, int c) {
    const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    if (pa <= pb && pa <= pc) return a;
    return pb <= pc ? b : c;
}

// One filtered row (filter byte first), choosing the filter with the smallest sum of
// absolute signed values, the usual heuristic of PNG encoders.
void filter_row(const unsigned char* row, const unsigned char* above, std::size_t length, int bpp,
                std::array<std::vector<unsigned char>, 5>& candidates, std::string& out) {
    std::vector<unsigned char> zeros;
    if (!above) {
        zeros.assign(length, 0);
        above = zeros.data();
    }
    for (auto& candidate : candidates) candidate.resize(length);
    const std::size_t b = std::size_t(bpp);
    unsigned char* none = candidates[0].data();
    unsigned char* sub = candidates[1].data();
    unsigned char* up = candidates[2].data();
    unsigned char* average = candidates[3].data();
    unsigned char* paeth_row = candidates[4].data();
    for (std::size_t i = 0; i < b && i < length; ++i) {
        none[i] = row[i];
        sub[i] = row[i];
        up[i] = static_cast<unsigned char>(row[i] - above[i]);
        average[i] = static_cast<unsigned char>(row[i] - above[i] / 2);
        paeth_row[i] = static_cast<unsigned char>(row[i] - above[i]);
    }
    for (std::size_t i = b; i < length; ++i) {
        const int a = row[i - b], up_value = above[i], c = above[i - b];
        none[i] = row[i];
        sub[i] = static_cast<unsigned char>(row[i] - a);
        up[i] = static_cast<unsigned char>(row[i] - up_value);
        average[i] = static_cast<unsigned char>(row[i] - (a + up_value) / 2);
        paeth_row[i] = static_cast<unsigned char>(row[i] - paeth(a, up_value, c));
    }
    long best_sum = -1;
    int best = 0;
    for (int type = 0; type < 5; ++type) {
        const unsigned char* f = candidates[std::size_t(type)].data();
        long sum = 0;
        for (std::size_t i = 0; i < length; ++i) sum += f[i] < 128 ? f[i] : 256 - f[i];
        if (best_sum < 0 || sum < best_sum) {
            best_sum = sum;
            best = type;
        }
    }
    out += char(best);
    out.append(reinterpret_cast<const char*>(candidates[std::size_t(best)].data()), length);
}

struct Band {
    std::string compressed;
    uLong adler = 1;
    uLong raw_length = 0;
};

void deflate_band(const std::string& raw, bool last, Band& band) {
    z_stream stream{};
    // Raw deflate: the bands are joined under one zlib header and one Adler-32.
    if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("zlib: deflateInit2 failed");
    std::unique_ptr<z_stream, int (*)(z_stream*)> guard(&stream, deflateEnd);
    band.compressed.resize(deflateBound(&stream, uLong(raw.size())) + 16);
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(raw.data()));
    stream.avail_in = uInt(raw.size());
    stream.next_out = reinterpret_cast<Bytef*>(band.compressed.data());
    stream.avail_out = uInt(band.compressed.size());
    // A full flush ends every band but the last on a byte boundary without the final bit.
    const int result = deflate(&stream, last ? Z_FINISH : Z_FULL_FLUSH);
    if (result != (last ? Z_STREAM_END : Z_OK)) throw std::runtime_error("zlib: deflate failed");
    band.compressed.resize(band.compressed.size() - stream.avail_out);
    band.adler = adler32(1, reinterpret_cast<const Bytef*>(raw.data()), uInt(raw.size()));
    band.raw_length = uLong(raw.size());
}

std::string zlib_stream(const cv::Mat& image) {
    const int bpp = image.channels();
    const std::size_t length = std::size_t(image.cols) * std::size_t(bpp);
    const int bands = std::max(1, (image.rows + BAND_ROWS - 1) / BAND_ROWS);
    std::vector<Band> results(static_cast<std::size_t>(bands));
    cv::parallel_for_(cv::Range(0, bands), [&](const cv::Range& range) {
        std::array<std::vector<unsigned char>, 5> candidates;
        for (int b = range.start; b < range.end; ++b) {
            std::string raw;
            const int top = b * BAND_ROWS, bottom = std::min(image.rows, top + BAND_ROWS);
            raw.reserve(std::size_t(bottom - top) * (length + 1));
            for (int r = top; r < bottom; ++r)
                filter_row(image.ptr(r), r > 0 ? image.ptr(r - 1) : nullptr, length, bpp, candidates, raw);
            deflate_band(raw, b == bands - 1, results[std::size_t(b)]);
        }
    });
    std::string out = "\x78\x9c";  // zlib header: deflate, 32 KiB window, default level
    uLong adler = 1;
    for (const Band& band : results) {
        out += band.compressed;
        adler = adler32_combine(adler, band.adler, z_off_t(band.raw_length));
    }
    put_u32(out, std::uint32_t(adler));
    return out;
}

std::string file_error(const std::filesystem::path& path) { return path.string() + ": " + std::strerror(errno); }

}  // namespace

void write_png(const std::filesystem::path& path, const cv::Mat& image) {
    CV_Assert(image.depth() == CV_8U && (image.channels() == 1 || image.channels() == 3) && image.rows > 0 &&
              image.cols > 0);
    std::string header;
    put_u32(header, std::uint32_t(image.cols));
    put_u32(header, std::uint32_t(image.rows));
    header += char(8);                                // bit depth
    header += char(image.channels() == 3 ? 2 : 0);    // colour type: RGB or grey
    header += std::string("\0\0\0", 3);               // deflate, adaptive filters, not interlaced
    std::string file(reinterpret_cast<const char*>(SIGNATURE), 8);
    put_chunk(file, "IHDR", header);
    put_chunk(file, "IDAT", zlib_stream(image));
    put_chunk(file, "IEND", "");

    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) throw std::runtime_error(file_error(path));
    out.write(file.data(), std::streamsize(file.size()));
    out.close();
    if (!out) throw std::runtime_error(file_error(path));
}

std::optional<PngHeader> read_png_header(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error(file_error(path));
    unsigned char bytes[8 + 8 + 13] = {};
    in.read(reinterpret_cast<char*>(bytes), sizeof bytes);
    if (in.gcount() != std::streamsize(sizeof bytes) || std::memcmp(bytes, SIGNATURE, 8) != 0 ||
        std::memcmp(bytes + 12, "IHDR", 4) != 0)
        return std::nullopt;
    auto u32 = [&](int at) {
        return (std::uint32_t(bytes[at]) << 24) | (std::uint32_t(bytes[at + 1]) << 16) |
               (std::uint32_t(bytes[at + 2]) << 8) | std::uint32_t(bytes[at + 3]);
    };
    return PngHeader{u32(16), u32(20), bytes[24], bytes[25]};
}

cv::Mat read_image(const std::filesystem::path& path) {
    std::ifstream probe(path, std::ios::binary);
    if (!probe) throw std::runtime_error(file_error(path));
    cv::Mat image = cv::imread(path.string(), cv::IMREAD_UNCHANGED);
    if (image.empty()) throw std::runtime_error(path.string() + ": cannot identify image file");
    if (image.depth() == CV_16U) image.convertTo(image, CV_8U, 1.0 / 257.0);
    return image;
}

cv::Mat read_flattened_rgb(const std::filesystem::path& path) {
    const std::optional<PngHeader> header = read_png_header(path);
    const cv::Mat source = read_image(path);
    // Only a true RGBA image is composited; other kinds of transparency are dropped.
    const bool rgba = source.channels() == 4 && (!header || header->colour_type == 6);
    cv::Mat rgb;
    if (rgba) {
        rgb.create(source.size(), CV_8UC3);
        for (int r = 0; r < source.rows; ++r) {
            const cv::Vec4b* in = source.ptr<cv::Vec4b>(r);
            cv::Vec3b* out = rgb.ptr<cv::Vec3b>(r);
            for (int c = 0; c < source.cols; ++c) {
                const int a = in[c][3];
                for (int ch = 0; ch < 3; ++ch)  // BGRA in, RGB out
                    out[c][ch] = uchar((in[c][2 - ch] * a + 255 * (255 - a) + 127) / 255);
            }
        }
        return rgb;
    }
    switch (source.channels()) {
        case 1: cv::cvtColor(source, rgb, cv::COLOR_GRAY2RGB); break;
        case 3: cv::cvtColor(source, rgb, cv::COLOR_BGR2RGB); break;
        case 4: cv::cvtColor(source, rgb, cv::COLOR_BGRA2RGB); break;
        default: throw std::runtime_error(path.string() + ": unsupported image");
    }
    return rgb;
}

}  // namespace tesmira::engine
