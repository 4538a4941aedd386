#include "widgets/HTMLText/gif_frames.h"

namespace kes {
namespace {

std::uint16_t Le16(std::span<const std::uint8_t> data, std::size_t at) {
    std::uint16_t lo = at < data.size() ? data[at] : 0;
    std::uint16_t hi = at + 1 < data.size() ? data[at + 1] : 0;
    return static_cast<std::uint16_t>(lo | (hi << 8));
}

} // namespace

bool IsGifData(std::span<const std::uint8_t> data) {
    return data.size() > 4 && data[0] == 'G' && data[1] == 'I' && data[2] == 'F' && data[3] == '8';
}

std::vector<GifFrameInfo> ScanGifFrames(std::span<const std::uint8_t> data) {
    std::vector<GifFrameInfo> frames;
    // A marker needs at least one byte after the descriptor's 0x2C at i + 8.
    for (std::size_t i = 0; i + 9 < data.size(); ++i) {
        if (data[i] != 0x21 || data[i + 1] != 0xF9 || data[i + 2] != 0x04 || data[i + 8] != 0x2C)
            continue;
        GifFrameInfo f;
        f.marker = i;
        f.delay = Le16(data, i + 4);
        f.left = Le16(data, i + 9);
        f.top = Le16(data, i + 11);
        f.width = Le16(data, i + 13);
        f.height = Le16(data, i + 15);
        frames.push_back(f);
    }
    return frames;
}

std::uint16_t GifScreenWidth(std::span<const std::uint8_t> data) {
    return Le16(data, 6);
}
std::uint16_t GifScreenHeight(std::span<const std::uint8_t> data) {
    return Le16(data, 8);
}

std::vector<std::uint8_t> ReducedGifCopy(std::span<const std::uint8_t> data,
                                         const std::vector<GifFrameInfo>& frames, int frame) {
    if (frames.empty())
        return {data.begin(), data.end()};
    std::vector<std::uint8_t> out(data.begin(), data.begin() + frames.front().marker);
    if (frame >= 1 && static_cast<std::size_t>(frame) <= frames.size())
        out.insert(out.end(), data.begin() + frames[frame - 1].marker, data.end());
    return out;
}

} // namespace kes
