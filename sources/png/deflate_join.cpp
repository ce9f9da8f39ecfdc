#include "png/deflate_join.hpp"

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <stdexcept>

namespace tesmira::png {
namespace {

[[noreturn]] void malformed(const char* what) { throw std::runtime_error(std::string("deflate stream: ") + what); }

// Bits in the order deflate packs them: from the least significant bit of each byte on.
class BitReader {
public:
    explicit BitReader(const std::string& data)
        : data_(reinterpret_cast<const unsigned char*>(data.data())), size_(data.size()), end_(data.size() * 8) {}
    std::size_t position() const { return position_; }
    // The next `count` bits (at most 25) without taking them; zeros past the end.
    unsigned peek(int count) const {
        const std::size_t byte = position_ >> 3;
        std::uint32_t word = 0;
        if (std::endian::native == std::endian::little && byte + 4 <= size_)
            std::memcpy(&word, data_ + byte, 4);
        else
            for (std::size_t i = 0; i < 4 && byte + i < size_; ++i) word |= std::uint32_t(data_[byte + i]) << (8 * i);
        return unsigned(word >> (position_ & 7)) & ((1u << count) - 1);
    }
    void skip(int count) {
        if (std::size_t(count) > end_ - position_) malformed("ends inside a block");
        position_ += std::size_t(count);
    }
    unsigned bits(int count) {
        const unsigned value = peek(count);
        skip(count);
        return value;
    }
    void skip_to_byte() { position_ = (position_ + 7) & ~std::size_t(7); }
    void skip_bytes(std::size_t count) {
        if (count > (end_ - position_) / 8) malformed("stored block runs past the end");
        position_ += 8 * count;
    }

private:
    const unsigned char* data_;
    std::size_t size_, end_;
    std::size_t position_ = 0;
};

constexpr int MAX_CODE_BITS = 15;
constexpr int MAX_SYMBOLS = 288;
constexpr int TABLE_BITS = 10;  // codes up to this long are decoded in one look-up

// A canonical Huffman code. Codes of up to TABLE_BITS bits are found in a table indexed by the
// next bits of the stream; longer ones, which are rare, one bit at a time.
class HuffmanCode {
public:
    HuffmanCode(const unsigned char* lengths, int symbols) {
        for (int s = 0; s < symbols; ++s) ++count_[lengths[s]];
        count_[0] = 0;
        int left = 1;  // codes still free at the current length
        for (int length = 1; length <= MAX_CODE_BITS; ++length) {
            left = 2 * left - count_[length];
            if (left < 0) malformed("over-subscribed code");
        }
        std::array<int, MAX_CODE_BITS + 2> offset{};
        std::array<unsigned, MAX_CODE_BITS + 1> next_code{};
        for (int length = 1; length <= MAX_CODE_BITS; ++length) {
            offset[length + 1] = offset[length] + count_[length];
            next_code[length] = (next_code[length - 1] + unsigned(count_[length - 1])) << 1;
        }
        for (int s = 0; s < symbols; ++s) {
            const int length = lengths[s];
            if (!length) continue;
            symbol_[std::size_t(offset[length]++)] = static_cast<short>(s);
            if (length > TABLE_BITS) continue;
            // The stream holds a code from its most significant bit on, so the table is
            // indexed by the code's bits reversed, followed by any bits.
            unsigned code = next_code[length]++, reversed = 0;
            for (int i = 0; i < length; ++i, code >>= 1) reversed = (reversed << 1) | (code & 1u);
            for (unsigned index = reversed; index < table_.size(); index += 1u << length)
                table_[index] = {static_cast<short>(s), static_cast<unsigned char>(length)};
        }
    }

    int decode(BitReader& in) const {
        const Entry entry = table_[in.peek(TABLE_BITS)];
        if (entry.length) {
            in.skip(entry.length);
            return entry.symbol;
        }
        int code = 0, first = 0, index = 0;
        for (int length = 1; length <= MAX_CODE_BITS; ++length) {
            code |= int(in.bits(1));
            const int count = count_[length];
            if (code < first + count) return symbol_[std::size_t(index + code - first)];
            index += count;
            first = (first + count) << 1;
            code <<= 1;
        }
        malformed("invalid code");
    }

private:
    struct Entry {
        short symbol = 0;
        unsigned char length = 0;  // 0: no code of up to TABLE_BITS bits starts so
    };
    std::array<int, MAX_CODE_BITS + 1> count_{};
    std::array<short, MAX_SYMBOLS> symbol_{};
    std::array<Entry, 1u << TABLE_BITS> table_{};
};

constexpr std::array<int, 29> LENGTH_EXTRA_BITS = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                   2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::array<int, 30> DISTANCE_EXTRA_BITS = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                                     6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr int END_OF_BLOCK = 256;

// Steps over the codes of one compressed block, up to and including its end-of-block code.
void skip_codes(BitReader& in, const HuffmanCode& literals, const HuffmanCode& distances) {
    for (;;) {
        const int symbol = literals.decode(in);
        if (symbol < END_OF_BLOCK) continue;
        if (symbol == END_OF_BLOCK) return;
        const std::size_t length = std::size_t(symbol - END_OF_BLOCK - 1);
        if (length >= LENGTH_EXTRA_BITS.size()) malformed("invalid length code");
        in.bits(LENGTH_EXTRA_BITS[length]);
        const std::size_t distance = std::size_t(distances.decode(in));
        if (distance >= DISTANCE_EXTRA_BITS.size()) malformed("invalid distance code");
        in.bits(DISTANCE_EXTRA_BITS[distance]);
    }
}

void skip_fixed_block(BitReader& in) {
    static const auto codes = [] {
        std::array<unsigned char, MAX_SYMBOLS> lengths{};
        for (int s = 0; s < MAX_SYMBOLS; ++s) lengths[std::size_t(s)] = s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
        std::array<unsigned char, 30> distance_lengths;
        distance_lengths.fill(5);
        return std::pair{HuffmanCode(lengths.data(), MAX_SYMBOLS), HuffmanCode(distance_lengths.data(), 30)};
    }();
    skip_codes(in, codes.first, codes.second);
}

void skip_dynamic_block(BitReader& in) {
    static constexpr std::array<int, 19> ORDER = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    const int literal_count = int(in.bits(5)) + 257;
    const int distance_count = int(in.bits(5)) + 1;
    const int length_code_count = int(in.bits(4)) + 4;
    std::array<unsigned char, 19> length_code_lengths{};
    for (int i = 0; i < length_code_count; ++i) length_code_lengths[std::size_t(ORDER[std::size_t(i)])] = in.bits(3);
    const HuffmanCode length_code(length_code_lengths.data(), 19);

    std::array<unsigned char, MAX_SYMBOLS + 32> lengths{};
    const int total = literal_count + distance_count;
    for (int i = 0; i < total;) {
        const int symbol = length_code.decode(in);
        if (symbol < 16) {
            lengths[std::size_t(i++)] = static_cast<unsigned char>(symbol);
            continue;
        }
        unsigned char repeated = 0;
        int times = 0;
        if (symbol == 16) {
            if (i == 0) malformed("repeat without a previous length");
            repeated = lengths[std::size_t(i - 1)];
            times = 3 + int(in.bits(2));
        } else {
            times = symbol == 17 ? 3 + int(in.bits(3)) : 11 + int(in.bits(7));
        }
        if (i + times > total) malformed("too many code lengths");
        while (times--) lengths[std::size_t(i++)] = repeated;
    }
    if (lengths[END_OF_BLOCK] == 0) malformed("no end-of-block code");
    skip_codes(
        in, HuffmanCode(lengths.data(), literal_count), HuffmanCode(lengths.data() + literal_count, distance_count));
}

struct FinalBlock {
    std::size_t start = 0, end = 0;  // bit positions of its header and just after its last code
};

FinalBlock find_final_block(const std::string& stream) {
    BitReader in(stream);
    for (;;) {
        const std::size_t start = in.position();
        const bool last = in.bits(1) != 0;
        switch (in.bits(2)) {
            case 0: {
                in.skip_to_byte();
                const unsigned length = in.bits(16);
                if (in.bits(16) != (~length & 0xFFFFu)) malformed("stored block length mismatch");
                in.skip_bytes(length);
                break;
            }
            case 1:
                skip_fixed_block(in);
                break;
            case 2:
                skip_dynamic_block(in);
                break;
            default:
                malformed("invalid block type");
        }
        if (last) return {start, in.position()};
    }
}

}  // namespace

void make_joinable(std::string& stream) {
    const FinalBlock final_block = find_final_block(stream);
    stream[final_block.start / 8] &= static_cast<char>(~(1u << (final_block.start % 8)));
    std::size_t kept = final_block.end / 8;
    const unsigned used = final_block.end % 8;  // bits of the last byte that belong to the block
    if (used) stream[kept++] &= static_cast<char>((1u << used) - 1);
    stream.resize(kept);
    // The empty stored block: three zero header bits, which fit in the last byte when at least
    // three of its bits are free, then zero bits to the byte boundary, then LEN 0 and NLEN.
    if (used == 0 || used > 5) stream.push_back('\0');
    stream.append("\x00\x00\xFF\xFF", 4);
}

}  // namespace tesmira::png
