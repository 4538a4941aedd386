// Feeds arbitrary bytes to the GIF frame scanner and the picture's frame bookkeeping. The
// scanner must never read past the data; undecodable frames only raise PictureError.
#include "widgets/HTMLText/PictureContainer.h"
#include "widgets/HTMLText/gif_frames.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Copy into a buffer of exactly this size so that ASan catches a read past its end.
    std::vector<std::uint8_t> bytes(data, data + size);
    std::span<const std::uint8_t> d(bytes);
    auto frames = kes::ScanGifFrames(d);
    for (const auto& f : frames)
        if (f.marker + 9 >= d.size() || d[f.marker] != 0x21 || d[f.marker + 8] != 0x2C)
            std::abort();
    for (int n = 0; n <= static_cast<int>(frames.size()) + 1; ++n) {
        auto reduced = kes::ReducedGifCopy(d, frames, n);
        if (reduced.size() > d.size())
            std::abort();
    }
    kes::THTMLPicture pic;
    try {
        pic.LoadFromBytes(d);
    } catch (const kes::PictureError&) {
    }
    int count = pic.GetFrameCount();
    if (count != (kes::IsGifData(d) ? static_cast<int>(frames.size()) : -1))
        std::abort();
    for (int i = 0; i < 6; ++i)
        pic.Step();
    try {
        pic.FramePrev();
    } catch (const kes::PictureError&) {
    }
    return 0;
}
