#include "widgets/HTMLText/testing/gif_test_data.h"

#include <algorithm>
#include <string>

namespace kes::testdata {
namespace {

void Le16(std::vector<std::uint8_t>& out, unsigned v) {
    out.push_back(static_cast<std::uint8_t>(v & 0xFF));
    out.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
}

void Le32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    Le16(out, v & 0xFFFF);
    Le16(out, v >> 16);
}

void Be32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int s = 24; s >= 0; s -= 8)
        out.push_back(static_cast<std::uint8_t>((v >> s) & 0xFF));
}

// LZW with a minimum code size of 2 written as literals only: a clear code before every second
// pixel keeps the table below eight entries, so every code stays three bits wide.
std::vector<std::uint8_t> LzwLiterals(std::size_t pixels, std::uint8_t colour) {
    std::vector<std::uint8_t> bytes;
    std::uint32_t acc = 0;
    int bits = 0;
    auto put = [&](unsigned code) {
        acc |= code << bits;
        bits += 3;
        while (bits >= 8) {
            bytes.push_back(static_cast<std::uint8_t>(acc & 0xFF));
            acc >>= 8;
            bits -= 8;
        }
    };
    for (std::size_t i = 0; i < pixels; ++i) {
        if (i % 2 == 0)
            put(4); // clear
        put(colour);
    }
    put(5); // end of information
    if (bits > 0)
        bytes.push_back(static_cast<std::uint8_t>(acc & 0xFF));
    return bytes;
}

} // namespace

std::vector<std::uint8_t> MakeGif(std::uint16_t screenW, std::uint16_t screenH,
                                  const std::vector<GifFrameSpec>& frames) {
    std::vector<std::uint8_t> out{'G', 'I', 'F', '8', '9', 'a'};
    Le16(out, screenW);
    Le16(out, screenH);
    out.insert(out.end(), {0x91, 0, 0}); // global table of 4 colours
    out.insert(out.end(), {0xFF, 0, 0, 0, 0xFF, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF});
    for (const GifFrameSpec& f : frames) {
        out.insert(out.end(), {0x21, 0xF9, 0x04, 0x04});
        Le16(out, f.delay);
        out.insert(out.end(), {0, 0, 0x2C});
        Le16(out, f.left);
        Le16(out, f.top);
        Le16(out, f.width);
        Le16(out, f.height);
        out.push_back(0);
        out.push_back(2); // minimum code size
        std::vector<std::uint8_t> lzw = LzwLiterals(std::size_t(f.width) * f.height, f.colour);
        for (std::size_t at = 0; at < lzw.size(); at += 255) {
            std::size_t n = std::min<std::size_t>(255, lzw.size() - at);
            out.push_back(static_cast<std::uint8_t>(n));
            out.insert(out.end(), lzw.begin() + at, lzw.begin() + at + n);
        }
        out.push_back(0);
    }
    out.push_back(0x3B);
    return out;
}

std::vector<std::uint8_t> MakeBmp(int w, int h, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    const int stride = (w * 3 + 3) & ~3;
    const std::uint32_t pixels = static_cast<std::uint32_t>(stride * h);
    std::vector<std::uint8_t> out{'B', 'M'};
    Le32(out, 54 + pixels);
    Le32(out, 0);
    Le32(out, 54);
    Le32(out, 40);
    Le32(out, static_cast<std::uint32_t>(w));
    Le32(out, static_cast<std::uint32_t>(h));
    Le16(out, 1);
    Le16(out, 24);
    Le32(out, 0);
    Le32(out, pixels);
    Le32(out, 2835);
    Le32(out, 2835);
    Le32(out, 0);
    Le32(out, 0);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x)
            out.insert(out.end(), {b, g, r});
        for (int pad = w * 3; pad < stride; ++pad)
            out.push_back(0);
    }
    return out;
}

namespace {

std::uint32_t Crc32(const std::uint8_t* p, std::size_t n) {
    std::uint32_t crc = 0xFFFFFFFF;
    for (std::size_t i = 0; i < n; ++i) {
        crc ^= p[i];
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

void Chunk(std::vector<std::uint8_t>& out, const char* type, const std::vector<std::uint8_t>& d) {
    Be32(out, static_cast<std::uint32_t>(d.size()));
    std::size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), d.begin(), d.end());
    Be32(out, Crc32(out.data() + start, out.size() - start));
}

} // namespace

std::vector<std::uint8_t> MakePng(int w, int h, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    std::vector<std::uint8_t> out{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    std::vector<std::uint8_t> ihdr;
    Be32(ihdr, static_cast<std::uint32_t>(w));
    Be32(ihdr, static_cast<std::uint32_t>(h));
    ihdr.insert(ihdr.end(), {8, 2, 0, 0, 0}); // 8-bit RGB
    Chunk(out, "IHDR", ihdr);

    std::vector<std::uint8_t> raw;
    for (int y = 0; y < h; ++y) {
        raw.push_back(0); // filter: none
        for (int x = 0; x < w; ++x)
            raw.insert(raw.end(), {r, g, b});
    }
    // zlib stream of stored blocks
    std::vector<std::uint8_t> z{0x78, 0x01};
    for (std::size_t at = 0; at < raw.size() || at == 0; at += 65535) {
        std::size_t n = std::min<std::size_t>(65535, raw.size() - at);
        z.push_back(at + n >= raw.size() ? 1 : 0);
        Le16(z, static_cast<unsigned>(n));
        Le16(z, static_cast<unsigned>(~n & 0xFFFF));
        z.insert(z.end(), raw.begin() + at, raw.begin() + at + n);
        if (raw.empty())
            break;
    }
    std::uint32_t a = 1, s = 0;
    for (std::uint8_t c : raw) {
        a = (a + c) % 65521;
        s = (s + a) % 65521;
    }
    Be32(z, (s << 16) | a);
    Chunk(out, "IDAT", z);
    Chunk(out, "IEND", {});
    return out;
}

} // namespace kes::testdata
