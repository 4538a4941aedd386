#pragma once
// A zip archive of one file, made in memory: the support mail's copy of a big log. Logs repeat
// themselves line after line, so deflate makes them many times smaller, enough to pass mail
// servers' size limits; every Windows opens such an archive.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace kes {

std::uint32_t Crc32(std::uint32_t crc, std::string_view data);

// Collects one file's bytes and makes the archive. Sizes count in 32 bits: at most 4 GB less one
// byte go in.
class ZipWriter {
public:
    // `name` is the file's name inside the archive (ASCII); the time and date in MS-DOS form.
    ZipWriter(std::string name, std::uint16_t dosTime, std::uint16_t dosDate);
    ~ZipWriter();
    ZipWriter(const ZipWriter&) = delete;
    ZipWriter& operator=(const ZipWriter&) = delete;
    void Write(std::string_view data);
    // The archive's bytes.
    std::string Finish();

private:
    struct Stream;
    void Deflate(std::string_view data, bool finish);

    std::string name_;
    std::uint16_t time_, date_;
    std::unique_ptr<Stream> stream_;
    std::string packed_;
    std::uint32_t crc_ = 0;
    std::uint64_t size_ = 0;
};

} // namespace kes
