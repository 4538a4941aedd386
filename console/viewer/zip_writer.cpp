#include "console/viewer/zip_writer.h"

#include <zlib.h>

#include <algorithm>
#include <limits>
#include <stdexcept>

namespace kes {
namespace {

// zlib counts in uInt: anything longer goes in slices.
constexpr std::size_t kSlice = std::numeric_limits<uInt>::max() / 2;

void PutLe(std::string& out, std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out += static_cast<char>(v >> (8 * i) & 0xFF);
}

} // namespace

std::uint32_t Crc32(std::uint32_t crc, std::string_view data) {
    uLong c = crc;
    for (std::size_t at = 0; at < data.size(); at += kSlice) {
        const std::size_t n = std::min(kSlice, data.size() - at);
        c = ::crc32(c, reinterpret_cast<const Bytef*>(data.data() + at), static_cast<uInt>(n));
    }
    return static_cast<std::uint32_t>(c);
}

struct ZipWriter::Stream {
    z_stream z{};
    Stream() {
        // A raw deflate stream (no zlib header), as zip holds it; the default level, which
        // keeps a 200 MB log within a few seconds.
        if (deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8,
                         Z_DEFAULT_STRATEGY) != Z_OK)
            throw std::bad_alloc();
    }
    ~Stream() { deflateEnd(&z); }
};

ZipWriter::ZipWriter(std::string name, std::uint16_t dosTime, std::uint16_t dosDate)
    : name_(std::move(name)), time_(dosTime), date_(dosDate), stream_(std::make_unique<Stream>()) {}

ZipWriter::~ZipWriter() = default;

void ZipWriter::Deflate(std::string_view data, bool finish) {
    z_stream& z = stream_->z;
    std::size_t at = 0;
    do {
        const std::size_t n = std::min(kSlice, data.size() - at);
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data() + at));
        z.avail_in = static_cast<uInt>(n);
        at += n;
        const int flush = finish && at == data.size() ? Z_FINISH : Z_NO_FLUSH;
        int rc;
        do {
            // Room for what this slice can become at worst, so one call mostly does.
            const std::size_t old = packed_.size();
            const std::size_t room = std::max<std::size_t>(deflateBound(&z, z.avail_in), 4096);
            packed_.resize(old + room);
            z.next_out = reinterpret_cast<Bytef*>(packed_.data() + old);
            z.avail_out = static_cast<uInt>(room);
            rc = deflate(&z, flush);
            packed_.resize(old + room - z.avail_out);
            if (rc == Z_STREAM_ERROR)
                throw std::runtime_error("deflate");
        } while (z.avail_in > 0 || (flush == Z_FINISH && rc != Z_STREAM_END));
    } while (at < data.size());
}

void ZipWriter::Write(std::string_view data) {
    crc_ = Crc32(crc_, data);
    size_ += data.size();
    Deflate(data, false);
}

std::string ZipWriter::Finish() {
    Deflate({}, true);
    const auto size = static_cast<std::uint32_t>(size_);
    const auto packed = static_cast<std::uint32_t>(packed_.size());
    const auto nameLength = static_cast<std::uint32_t>(name_.size());
    std::string zip;
    zip.reserve(packed_.size() + 2 * name_.size() + 100);
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
    zip += packed_;
    std::string().swap(packed_);
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
    return zip;
}

} // namespace kes
