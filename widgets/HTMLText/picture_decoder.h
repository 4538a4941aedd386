#pragma once
// The seams between the portable picture classes and the platform: a decoder that turns file
// bytes into a picture object, and the drawing surface that renders such an object.
#include <cstdint>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>

namespace kes {

// HIMETRIC units in an inch, and the resolution that pixel sizes in markup and picture files
// are meant at.
constexpr int kHimetricPerInch = 2540;
constexpr int kDesignPpi = 96;

// Raised for pictures that cannot be decoded, with the message the user may see.
class PictureError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A decoded picture. Its size is in hundredths of a millimetre (HIMETRIC), as the platform's
// picture objects report it; callers turn it into pixels with a resolution of their choice.
class DecodedPicture {
public:
    virtual ~DecodedPicture() = default;
    virtual int HimetricWidth() const = 0;
    virtual int HimetricHeight() const = 0;
};

class PictureDecoder {
public:
    virtual ~PictureDecoder() = default;
    // Decodes the bytes (for a GIF: its first image). Raises PictureError, never returns null.
    virtual std::unique_ptr<DecodedPicture> Decode(std::span<const std::uint8_t> bytes) = 0;
};

// The platform's decoder: OleLoadPicture on Windows. On the host, where the portable classes
// are only tested, it is a fake that reads sizes from GIF, PNG and BMP headers.
PictureDecoder& DefaultPictureDecoder();

// What pictures need from a drawing surface.
struct PictureRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    friend bool operator==(const PictureRect&, const PictureRect&) = default;
};

class PictureSurface {
public:
    virtual ~PictureSurface() = default;
    virtual int PixelsPerInchX() const = 0;
    virtual int PixelsPerInchY() const = 0;
    // Renders the whole picture stretched into the rectangle (device pixels).
    virtual void RenderPicture(const DecodedPicture& picture, const PictureRect& rect) = 0;
};

// Pixel size of a HIMETRIC length at the given resolution, rounded.
int HimetricToPixels(int himetric, int ppi);

} // namespace kes
