#include "console/viewer/zip_writer.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace kes {

namespace {

constexpr int kWindow = 32768, kMinMatch = 3, kMaxMatch = 258, kHashSize = 1 << 15;
// Candidates looked at per position: logs match at once, a longer search gains them little.
constexpr int kChain = 32;
// Bytes kept ahead of the position being encoded, so a match can run its whole length.
constexpr int kLookahead = kMaxMatch + kMinMatch;

const std::array<std::uint32_t, 256>& CrcTable() {
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    return table;
}

std::uint32_t Reverse(std::uint32_t code, int length) {
    std::uint32_t r = 0;
    for (int i = 0; i < length; ++i, code >>= 1)
        r = (r << 1) | (code & 1);
    return r;
}

// The fixed literal/length codes (RFC 1951, 3.2.6), bit-reversed for an LSB-first stream.
struct FixedCode {
    std::uint16_t code;
    std::uint8_t length;
};
const std::array<FixedCode, 288>& FixedCodes() {
    static const std::array<FixedCode, 288> table = [] {
        std::array<FixedCode, 288> t{};
        for (int s = 0; s < 288; ++s) {
            std::uint32_t code;
            int length;
            if (s < 144) {
                code = 0x30 + s;
                length = 8;
            } else if (s < 256) {
                code = 0x190 + (s - 144);
                length = 9;
            } else if (s < 280) {
                code = s - 256;
                length = 7;
            } else {
                code = 0xC0 + (s - 280);
                length = 8;
            }
            t[s] = {static_cast<std::uint16_t>(Reverse(code, length)),
                    static_cast<std::uint8_t>(length)};
        }
        return t;
    }();
    return table;
}

constexpr int kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                 31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr int kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                  2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr int kDistanceBase[30] = {1,    2,    3,    4,    5,    7,     9,     13,    17,  25,
                                   33,   49,   65,   97,   129,  193,   257,   385,   513, 769,
                                   1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr int kDistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                    6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

void PutLe(std::string& out, std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i, v >>= 8)
        out += static_cast<char>(v & 0xFF);
}

} // namespace

std::uint32_t Crc32(std::uint32_t crc, std::string_view data) {
    const auto& t = CrcTable();
    crc = ~crc;
    for (const char ch : data)
        crc = t[(crc ^ static_cast<unsigned char>(ch)) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

Deflater::Deflater() : window_(2 * kWindow), head_(kHashSize, -1), prev_(kWindow, -1) {
    // One block with the fixed codes holds everything, not the last one (BFINAL 0, BTYPE 01).
    PutBits(0, 1);
    PutBits(1, 2);
}

void Deflater::PutBits(std::uint32_t value, int count) {
    bits_ |= static_cast<std::uint64_t>(value) << bitCount_;
    bitCount_ += count;
    while (bitCount_ >= 8) {
        out_ += static_cast<char>(bits_ & 0xFF);
        bits_ >>= 8;
        bitCount_ -= 8;
    }
}

void Deflater::PutSymbol(int symbol) {
    const FixedCode& c = FixedCodes()[static_cast<std::size_t>(symbol)];
    PutBits(c.code, c.length);
}

void Deflater::PutMatch(int length, int distance) {
    int l = 28;
    while (kLengthBase[l] > length)
        --l;
    PutSymbol(257 + l);
    PutBits(static_cast<std::uint32_t>(length - kLengthBase[l]), kLengthExtra[l]);
    int d = 29;
    while (kDistanceBase[d] > distance)
        --d;
    // Distance codes are five bits each, also sent from their highest bit.
    PutBits(Reverse(static_cast<std::uint32_t>(d), 5), 5);
    PutBits(static_cast<std::uint32_t>(distance - kDistanceBase[d]), kDistanceExtra[d]);
}

void Deflater::Insert(int pos) {
    const int h = ((window_[pos] << 10) ^ (window_[pos + 1] << 5) ^ window_[pos + 2]) &
                  (kHashSize - 1);
    prev_[pos & (kWindow - 1)] = head_[h];
    head_[h] = pos;
}

void Deflater::Encode(bool all) {
    while (pos_ < end_ && (all || end_ - pos_ >= kLookahead)) {
        const int p = pos_;
        const int available = std::min(kMaxMatch, end_ - p);
        int best = 0, distance = 0;
        if (available >= kMinMatch) {
            const int h = ((window_[p] << 10) ^ (window_[p + 1] << 5) ^ window_[p + 2]) &
                          (kHashSize - 1);
            int candidate = head_[h];
            prev_[p & (kWindow - 1)] = candidate;
            head_[h] = p;
            for (int chain = kChain; candidate >= 0 && candidate > p - kWindow && chain > 0;
                 --chain) {
                if (window_[candidate + best] == window_[p + best]) {
                    int n = 0;
                    while (n < available && window_[candidate + n] == window_[p + n])
                        ++n;
                    if (n > best) {
                        best = n;
                        distance = p - candidate;
                        if (n == available)
                            break;
                    }
                }
                candidate = prev_[candidate & (kWindow - 1)];
            }
        }
        if (best >= kMinMatch) {
            PutMatch(best, distance);
            for (int q = p + 1; q < p + best; ++q)
                if (end_ - q >= kMinMatch)
                    Insert(q);
            pos_ = p + best;
        } else {
            PutSymbol(window_[p]);
            pos_ = p + 1;
        }
    }
}

void Deflater::Slide() {
    // The older half goes; positions move down with the bytes, those that fall off are none.
    std::memmove(window_.data(), window_.data() + kWindow, kWindow);
    pos_ -= kWindow;
    end_ -= kWindow;
    for (int& v : head_)
        v = v >= kWindow ? v - kWindow : -1;
    for (int& v : prev_)
        v = v >= kWindow ? v - kWindow : -1;
}

void Deflater::Write(std::string_view data) {
    while (!data.empty()) {
        if (end_ == 2 * kWindow)
            Slide();
        const std::size_t n = std::min(data.size(), static_cast<std::size_t>(2 * kWindow - end_));
        std::memcpy(window_.data() + end_, data.data(), n);
        end_ += static_cast<int>(n);
        data.remove_prefix(n);
        Encode(false);
    }
}

void Deflater::Finish() {
    Encode(true);
    PutSymbol(256);
    // An empty last block, then the bits up to a whole byte.
    PutBits(1, 1);
    PutBits(1, 2);
    PutSymbol(256);
    if (bitCount_ > 0)
        PutBits(0, 8 - bitCount_);
}

void ZipWriter::Write(std::string_view data) {
    crc_ = Crc32(crc_, data);
    size_ += data.size();
    deflater_.Write(data);
}

std::string ZipWriter::Finish() {
    deflater_.Finish();
    const std::string& data = deflater_.Out();
    const auto size = static_cast<std::uint32_t>(size_);
    const auto packed = static_cast<std::uint32_t>(data.size());
    const auto nameLength = static_cast<std::uint32_t>(name_.size());
    std::string zip;
    zip.reserve(data.size() + 2 * name_.size() + 100);
    // The local header, its data.
    PutLe(zip, 0x04034B50, 4);
    PutLe(zip, 20, 2); // version 2.0: deflate
    PutLe(zip, 0, 2);  // no flags
    PutLe(zip, 8, 2);  // deflate
    PutLe(zip, time_, 2);
    PutLe(zip, date_, 2);
    PutLe(zip, crc_, 4);
    PutLe(zip, packed, 4);
    PutLe(zip, size, 4);
    PutLe(zip, nameLength, 2);
    PutLe(zip, 0, 2);
    zip += name_;
    zip += data;
    // The central directory of that one entry, and its end.
    const auto directory = static_cast<std::uint32_t>(zip.size());
    PutLe(zip, 0x02014B50, 4);
    PutLe(zip, 20, 2); // made by: MS-DOS attributes, version 2.0
    PutLe(zip, 20, 2);
    PutLe(zip, 0, 2);
    PutLe(zip, 8, 2);
    PutLe(zip, time_, 2);
    PutLe(zip, date_, 2);
    PutLe(zip, crc_, 4);
    PutLe(zip, packed, 4);
    PutLe(zip, size, 4);
    PutLe(zip, nameLength, 2);
    PutLe(zip, 0, 2);    // extra field
    PutLe(zip, 0, 2);    // comment
    PutLe(zip, 0, 2);    // disk
    PutLe(zip, 1, 2);    // a text file
    PutLe(zip, 0x20, 4); // FILE_ATTRIBUTE_ARCHIVE
    PutLe(zip, 0, 4);    // the local header's offset
    zip += name_;
    const auto directorySize = static_cast<std::uint32_t>(zip.size()) - directory;
    PutLe(zip, 0x06054B50, 4);
    PutLe(zip, 0, 2);
    PutLe(zip, 0, 2);
    PutLe(zip, 1, 2);
    PutLe(zip, 1, 2);
    PutLe(zip, directorySize, 4);
    PutLe(zip, directory, 4);
    PutLe(zip, 0, 2);
    std::string().swap(deflater_.Out());
    return zip;
}

} // namespace kes
