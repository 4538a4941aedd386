#pragma once
// Small picture files built in memory for the tests: GIF (with frames), BMP and PNG.
#include <cstdint>
#include <vector>

namespace kes::testdata {

struct GifFrameSpec {
    std::uint16_t left, top, width, height;
    std::uint16_t delay; // hundredths of a second
    std::uint8_t colour; // index into the palette: 0 red, 1 green, 2 blue, 3 white
};

// A GIF89a with a four-colour palette and one graphic control extension per frame, every frame
// filled with its colour.
std::vector<std::uint8_t> MakeGif(std::uint16_t screenW, std::uint16_t screenH,
                                  const std::vector<GifFrameSpec>& frames);

// A 24-bit bottom-up BMP and an 8-bit RGB PNG (stored deflate), filled with one colour.
std::vector<std::uint8_t> MakeBmp(int w, int h, std::uint8_t r, std::uint8_t g, std::uint8_t b);
std::vector<std::uint8_t> MakePng(int w, int h, std::uint8_t r, std::uint8_t g, std::uint8_t b);

} // namespace kes::testdata
