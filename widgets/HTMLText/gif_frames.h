#pragma once
// GIF frame bookkeeping over raw file bytes. Nothing here decodes pixels: frames are found by
// their graphic control extension directly followed by an image descriptor, which is enough to
// pick one frame out of an animation and hand it to a decoder that only shows the first image.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace kes {

struct GifFrameInfo {
    std::size_t marker = 0; // offset of the 0x21 that starts the frame's control extension
    std::uint16_t left = 0, top = 0, width = 0, height = 0; // from the image descriptor
    std::uint16_t delay = 0;                                // hundredths of a second
};

// True when the data is longer than 4 bytes and starts with "GIF8".
bool IsGifData(std::span<const std::uint8_t> data);

// Every frame marker in file order. Never reads past the data: descriptor fields cut off by
// the end of the data read as 0 (the decoder then rejects the frame).
std::vector<GifFrameInfo> ScanGifFrames(std::span<const std::uint8_t> data);

// The logical screen size at offsets 6 and 8, 0 for bytes past the end.
std::uint16_t GifScreenWidth(std::span<const std::uint8_t> data);
std::uint16_t GifScreenHeight(std::span<const std::uint8_t> data);

// The bytes before the first marker followed by everything from the marker of frame `frame`
// (counted from 1) to the end, so that the frame becomes the file's first image. A frame that
// does not exist leaves only the bytes before the first marker.
std::vector<std::uint8_t> ReducedGifCopy(std::span<const std::uint8_t> data,
                                         const std::vector<GifFrameInfo>& frames, int frame);

} // namespace kes
