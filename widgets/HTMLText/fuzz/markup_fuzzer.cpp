// DrawMarkup on any bytes, in its three call modes (measure the whole text, hit-test the
// visible part, draw), with and without word wrap, pictures and images.
#include "widgets/HTMLText/PictureContainer.h"
#include "widgets/HTMLText/markup.h"
#include "widgets/HTMLText/testing/recording_canvas.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kes;
    if (size < 1)
        return 0;
    const std::uint8_t flags = data[0];
    std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

    static TestImageList images(4, 16, 16);
    static TPictureContainer* container = [] {
        auto* c = new TPictureContainer;
        TPictureItem& item = c->Items().Add();
        item.Name = "PIC";
        // A tiny GIF: header, screen 8 x 8, one frame.
        static const std::uint8_t gif[] = {
            'G', 'I', 'F', '8', '9',  'a',  8, 0, 8,  0,    0x80, 0, 0,    0, 0,
            0,   255, 255, 255, 0x21, 0xF9, 4, 0, 10, 0,    0,    0, 0x2C, 0, 0,
            0,   0,   8,   0,   8,    0,    0, 2, 2,  0x44, 1,    0, 0x3B};
        try {
            item.Picture().LoadFromBytes(gif);
        } catch (...) {
        }
        return c;
    }();

    MarkupParams p;
    p.WordWrap = !(flags & 1);
    p.Hover = flags & 2;
    p.BlinkPhase = flags & 4;
    p.HoverAnchor = (flags >> 3) & 3;
    p.FocusAnchor = static_cast<int>((flags >> 5) & 3) - 1;
    p.HoverColor = (flags & 0x80) ? 0x00FFEEDD : clNone;
    p.HoverFontColor = (flags & 0x40) ? 0x00112233 : clNone;
    p.Images = (flags & 0x10) ? &images : nullptr;
    p.PictureContainer = container;
    p.X = 20 + (flags & 0x3F);
    p.Y = 5 + (flags >> 4);
    const Rect rect{(flags & 8) ? 0 : 3, 0, 40 + (flags & 0x7F), 60};

    const bool modes[3][2] = {{true, true}, {false, true}, {false, false}};
    for (const auto& mode : modes) {
        RecordingCanvas cv;
        cv.brush = 0x00FFFFFF;
        THTMLPictureCache cache;
        MarkupParams q = p;
        q.PictureCache = &cache;
        q.MeasureOnly = mode[0];
        q.HitTest = mode[1];
        MarkupOutputs out;
        bool hit = DrawMarkup(cv, text, rect, q, out);
        // Invariants that hold for any markup.
        if (hit && (q.MeasureOnly || !q.HitTest))
            std::abort();
        if (out.Height <= 0 || out.Width < 0 || !(cv.font == FontSpec{}) || cv.brush != 0x00FFFFFF)
            std::abort();
        if (q.MeasureOnly && !cv.ops.empty())
            std::abort();
    }
    (void)StripMarkup(text);
    return 0;
}
