// The archive read back by zlib, which stands for every program that opens it.
#include "console/viewer/zip_writer.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <string>

namespace kes {
namespace {

std::uint32_t Le(const std::string& s, size_t at, int bytes) {
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(s[at + i]);
    return v;
}

std::string Inflate(std::string_view packed, size_t size) {
    std::string out(size + 1, '\0');
    z_stream z{};
    EXPECT_EQ(inflateInit2(&z, -15), Z_OK); // a raw deflate stream, as zip holds it
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.data()));
    z.avail_in = static_cast<uInt>(packed.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(inflate(&z, Z_FINISH), Z_STREAM_END);
    EXPECT_EQ(z.avail_in, 0u); // nothing after the stream's end
    out.resize(z.total_out);
    inflateEnd(&z);
    return out;
}

// Checks the archive's three records against each other and returns the file's bytes.
std::string Unzip(const std::string& zip, const std::string& name) {
    EXPECT_EQ(Le(zip, 0, 4), 0x04034B50u);
    EXPECT_EQ(Le(zip, 8, 2), 8u); // deflate
    const std::uint32_t crc = Le(zip, 14, 4), packed = Le(zip, 18, 4), size = Le(zip, 22, 4);
    EXPECT_EQ(zip.substr(30, Le(zip, 26, 2)), name);
    const size_t data = 30 + name.size();
    const size_t end = zip.size() - 22;
    EXPECT_EQ(Le(zip, end, 4), 0x06054B50u);
    EXPECT_EQ(Le(zip, end + 10, 2), 1u);
    const size_t dir = Le(zip, end + 16, 4);
    EXPECT_EQ(dir, data + packed);
    EXPECT_EQ(Le(zip, end + 12, 4), end - dir);
    EXPECT_EQ(Le(zip, dir, 4), 0x02014B50u);
    EXPECT_EQ(Le(zip, dir + 16, 4), crc);
    EXPECT_EQ(Le(zip, dir + 20, 4), packed);
    EXPECT_EQ(Le(zip, dir + 24, 4), size);
    EXPECT_EQ(zip.substr(dir + 46, Le(zip, dir + 28, 2)), name);
    const std::string out = Inflate(std::string_view(zip).substr(data, packed), size);
    EXPECT_EQ(out.size(), size);
    EXPECT_EQ(crc, ::crc32(0, reinterpret_cast<const Bytef*>(out.data()), out.size()));
    return out;
}

TEST(ZipWriter, AnyBytesComeBackAndLogsShrink) {
    std::mt19937 rnd(3);
    std::string log;
    for (int i = 0; log.size() < 3'000'000; ++i)
        log += "12:00:" + std::to_string(i % 60) + " Kestrova sync folder \"Kalender\" item " +
               std::to_string(i) + " state \xE4nderung ok\r\n";
    std::string big; // 200 MB, a log's size that support sees
    while (big.size() < 200'000'000)
        big += log;
    std::string noise(200'000, '\0');
    for (char& c : noise)
        c = static_cast<char>(rnd());
    const struct {
        std::string bytes;
        size_t pieces; // written in pieces of this size
    } cases[] = {
        {"", 1},
        {"a", 1},
        {"abcabcabcabcabcabcabcabc", 1},
        {std::string(100'000, 'z'), 7}, // matches of the longest length, across the window
        {log, 65'536},
        {log, 1'000'003},
        {noise, 4096}, // nothing to match: every literal code
        {noise + log + noise, 333},
        {big, 1 << 20},
    };
    for (const auto& c : cases) {
        ZipWriter zip("Kestrova_debug.log", 0x6000, 0x5A21);
        for (size_t at = 0; at < c.bytes.size(); at += c.pieces)
            zip.Write(std::string_view(c.bytes).substr(at, c.pieces));
        const std::string archive = zip.Finish();
        EXPECT_TRUE(Unzip(archive, "Kestrova_debug.log") == c.bytes) << c.bytes.size();
        EXPECT_EQ(Le(archive, 10, 2), 0x6000u);
        EXPECT_EQ(Le(archive, 12, 2), 0x5A21u);
        if (&c.bytes == &cases[4].bytes) {
            // About 1/23 with dynamic codes; fixed codes reach only about 1/15, and a search
            // cut short (a window or chain that loses positions) about 1/9.
            EXPECT_LT(archive.size(), log.size() / 20) << "a log of repeated lines";
        }
    }
    EXPECT_EQ(Crc32(0, "123456789"), 0xCBF43926u);
}

} // namespace
} // namespace kes
