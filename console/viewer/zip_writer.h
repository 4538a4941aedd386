#pragma once
// A zip archive of one file, made in memory: the support mail's copy of a big log. Logs repeat
// themselves line after line, so deflate (here with its fixed codes) makes them several times
// smaller, enough to pass mail servers' size limits; every Windows opens such an archive.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kes {

std::uint32_t Crc32(std::uint32_t crc, std::string_view data);

// Deflate (RFC 1951) with the fixed Huffman codes and a 32 KB window.
class Deflater {
public:
    Deflater();
    void Write(std::string_view data);
    // Ends the stream; what it made is in Out().
    void Finish();
    std::string& Out() { return out_; }

private:
    void Encode(bool all);
    void Slide();
    void Insert(int pos);
    void PutBits(std::uint32_t value, int count);
    void PutSymbol(int symbol);
    void PutMatch(int length, int distance);

    std::vector<unsigned char> window_;
    std::vector<int> head_, prev_;
    int pos_ = 0, end_ = 0;
    std::uint64_t bits_ = 0;
    int bitCount_ = 0;
    std::string out_;
};

// Collects one file's bytes and makes the archive. Sizes count in 32 bits: at most 4 GB less one
// byte go in.
class ZipWriter {
public:
    // `name` is the file's name inside the archive (ASCII); the time and date in MS-DOS form.
    ZipWriter(std::string name, std::uint16_t dosTime, std::uint16_t dosDate)
        : name_(std::move(name)), time_(dosTime), date_(dosDate) {}
    void Write(std::string_view data);
    // The archive's bytes.
    std::string Finish();

private:
    std::string name_;
    std::uint16_t time_, date_;
    Deflater deflater_;
    std::uint32_t crc_ = 0;
    std::uint64_t size_ = 0;
};

} // namespace kes
