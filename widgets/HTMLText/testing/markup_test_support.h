#pragma once
// The markup tests' layout on the recording surface and the placed texts it produced.
#include "widgets/HTMLText/markup.h"
#include "widgets/HTMLText/testing/recording_canvas.h"

#include <string>
#include <string_view>
#include <vector>

namespace kes {

struct Layout {
    RecordingCanvas cv;
    MarkupOutputs out;
    bool result = false;
};

inline void Lay(Layout& l, std::string_view text, MarkupParams p = {},
                Rect rect = {0, 0, 201, 100}) {
    l.result = DrawMarkup(l.cv, text, rect, p, l.out);
}

// The drawn texts as "text@left,top".
inline std::vector<std::string> Placed(const RecordingCanvas& cv) {
    std::vector<std::string> out;
    for (const DrawOp& op : cv.Texts())
        out.push_back(op.text + "@" + std::to_string(op.rect.left) + "," +
                      std::to_string(op.rect.top));
    return out;
}

} // namespace kes
