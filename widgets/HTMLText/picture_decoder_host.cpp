// The host has no picture decoder: the portable classes are shipped on Windows only and tested
// here. This fake knows only sizes, read from the headers of GIF (the first image), PNG and
// BMP; anything else is rejected the way the platform decoder rejects it.
#include "widgets/HTMLText/PictureContainer.h"
#include "widgets/HTMLText/gif_frames.h"

#include <limits>

namespace kes {
namespace {

[[noreturn]] void Undecodable() {
    throw PictureError("Could not load image. Invalid format");
}

// Header sizes are up to 32 bits; a size whose HIMETRIC length does not fit an int is no
// picture the platform could load either.
int HimetricOf(std::int64_t pixels) {
    const std::int64_t himetric = pixels * kHimetricPerInch / kDesignPpi;
    if (himetric < std::numeric_limits<int>::min() || himetric > std::numeric_limits<int>::max())
        Undecodable();
    return static_cast<int>(himetric);
}

class SizeOnlyPicture : public DecodedPicture {
public:
    SizeOnlyPicture(std::int64_t w, std::int64_t h) : w_(HimetricOf(w)), h_(HimetricOf(h)) {}
    int HimetricWidth() const override { return w_; }
    int HimetricHeight() const override { return h_; }

private:
    int w_, h_;
};

std::uint32_t Be32(std::span<const std::uint8_t> d, std::size_t at) {
    return std::uint32_t(d[at]) << 24 | std::uint32_t(d[at + 1]) << 16 |
           std::uint32_t(d[at + 2]) << 8 | d[at + 3];
}

std::int32_t Le32(std::span<const std::uint8_t> d, std::size_t at) {
    return static_cast<std::int32_t>(std::uint32_t(d[at]) | std::uint32_t(d[at + 1]) << 8 |
                                     std::uint32_t(d[at + 2]) << 16 |
                                     std::uint32_t(d[at + 3]) << 24);
}

class HeaderSizeDecoder : public PictureDecoder {
public:
    std::unique_ptr<DecodedPicture> Decode(std::span<const std::uint8_t> d) override {
        if (d.empty())
            Undecodable();
        if (IsGifData(d)) {
            // The first image descriptor after the header and global colour table.
            std::size_t at = 13;
            if (d.size() > 10 && (d[10] & 0x80))
                at += 3u << ((d[10] & 7) + 1);
            while (at < d.size() && d[at] == 0x21) { // skip extensions
                at += 2;
                while (at < d.size() && d[at] != 0)
                    at += d[at] + 1u;
                ++at;
            }
            if (at + 9 < d.size() && d[at] == 0x2C)
                return std::make_unique<SizeOnlyPicture>(d[at + 5] | d[at + 6] << 8,
                                                         d[at + 7] | d[at + 8] << 8);
        } else if (d.size() >= 24 && d[0] == 0x89 && d[1] == 'P' && d[2] == 'N' && d[3] == 'G') {
            return std::make_unique<SizeOnlyPicture>(static_cast<std::int32_t>(Be32(d, 16)),
                                                     static_cast<std::int32_t>(Be32(d, 20)));
        } else if (d.size() >= 26 && d[0] == 'B' && d[1] == 'M') {
            // Negative heights are top-down bitmaps.
            const std::int64_t h = Le32(d, 22);
            return std::make_unique<SizeOnlyPicture>(Le32(d, 18), h < 0 ? -h : h);
        }
        Undecodable();
    }
};

} // namespace

PictureDecoder& DefaultPictureDecoder() {
    static HeaderSizeDecoder decoder;
    return decoder;
}

// Programs built for the host carry no resources.
bool FindRcData(void*, const std::string&, std::vector<std::uint8_t>&) {
    return false;
}
bool FindRcData(void*, int, std::vector<std::uint8_t>&) {
    return false;
}

} // namespace kes
