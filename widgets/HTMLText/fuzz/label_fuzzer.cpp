// The label's portable core driven by any bytes: each byte pair is one step of a user or a
// program, in any order: markup set, properties changed, the pointer moved, buttons pressed,
// keys, timer ticks, paints, sizes, and picture containers and image lists made and freed while
// the label names them. ASan and UBSan stop at the first fault; a few invariants are checked.
#include "widgets/HTMLText/HTMLText.h"
#include "widgets/HTMLText/testing/recording_canvas.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace kes;

// A window for the core: a client rectangle, a pointer, a focus; repaints come later, as a
// window's do, when the input asks for a paint.
class FuzzLabel : public THTMLStaticTextCore {
public:
    explicit FuzzLabel(TComponent* sender) : THTMLStaticTextCore(sender) {}
    Rect client{0, 0, 100, 40};
    bool focused = false, enabled = true, hc = false, pointer = true;
    int px = 0, py = 0;

    void Paint(bool full) {
        RecordingCanvas cv;
        cv.ShareFonts(Fonts());
        cv.device = client;
        DoPaint(cv, full);
        if (!cv.font.SameHandle(Font))
            std::abort(); // the surface's font is the label's again after the text
    }

protected:
    Rect ClientRect() const override { return client; }
    void SetClientSize(int w, int h) override {
        client.right = client.left + w;
        client.bottom = client.top + h;
    }
    void Invalidate(const Rect*) override {}
    void Measure(const std::function<void(Canvas&)>& f) override {
        RecordingCanvas cv;
        cv.ShareFonts(Fonts());
        f(cv);
    }
    bool Focused() const override { return focused; }
    bool Enabled() const override { return enabled; }
    bool PointerPos(int& x, int& y) const override {
        x = px, y = py;
        return pointer;
    }
    bool HighContrast() const override { return hc; }
    void CursorChanged() override {}
    void CancelHint() override {}
    void StartTimer() override {}
    void StopTimer() override {}
    void Repaint(bool) override {}
};

// Pieces the markup is built from, so that steps meet anchors, images and lists often.
const char* const kPieces[] = {
    "<A href=\"x\">",
    "</A>",
    "<A href=\"http://h.invalid/\">",
    "<BR>",
    "word ",
    "w",
    "<IMG src=\"PIC\">",
    "<IMG src=\"IDX:0\" ALT=\"IDX:1\">",
    "<BLINK>",
    "</BLINK>",
    "&amp;",
    "&nbsp;",
    "<FONT size=\"5\">",
    "</FONT>",
    "<UL><LI>",
    "</UL>",
    "<P align=\"center\">",
    "</P>",
    "<Z>",
    "</Z>",
    "<SUB>",
    "</SUB>",
    "<HR>",
    "<IND x=\"50\">",
    "<SHAD>",
    "<B>",
    "</B>",
    "<IMG src=\"FILE://none.gif\">",
    "<",
    "&",
    "\r\n",
    "<BODY bgcolor=\"clRed\">",
};

// Two frames of 8 x 8, 100 ms each.
const std::uint8_t kGif[] = {
    'G', 'I', 'F',  '8',  '9', 'a',  8,  0, 8,    0,    0x80, 0,    0,  0, 0,   0, 255,
    255, 255, 0x21, 0xF9, 4,   0,    10, 0, 0,    0,    0x2C, 0,    0,  0, 0,   8, 0,
    8,   0,   0,    2,    2,   0x44, 1,  0, 0x21, 0xF9, 4,    0,    10, 0, 0,   0, 0x2C,
    0,   0,   0,    0,    8,   0,    8,  0, 0,    2,    2,    0x44, 1,  0, 0x3B};

std::unique_ptr<TPictureContainer> MakeContainer() {
    auto c = std::make_unique<TPictureContainer>();
    TPictureItem& item = c->Items().Add();
    item.Name = "PIC";
    try {
        item.Picture().LoadFromBytes(kGif);
    } catch (...) {
    }
    return c;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TComponent sender(nullptr);
    std::unique_ptr<TPictureContainer> container;
    std::unique_ptr<TestImageList> images;
    auto label = std::make_unique<FuzzLabel>(&sender);
    int opened = 0;
    label->OpenTarget = [&](const std::string&) { ++opened; };
    label->OnAnchorClick = label->OnAnchorKeypress = [&](TComponent*, const std::string&) {};
    std::vector<std::string> lines;

    for (std::size_t i = 0; i + 1 < size; i += 2) {
        const std::uint8_t op = data[i], v = data[i + 1];
        const int x = (v * 7) % 130 - 10, y = (v * 13) % 70 - 10;
        switch (op % 20) {
        case 0: // a piece of markup more, or the text replaced
            if (v == 0xFF)
                lines.clear();
            else
                lines.emplace_back(kPieces[v % (sizeof kPieces / sizeof *kPieces)]);
            label->SetHTMLText(lines);
            break;
        case 1:
            label->px = x, label->py = y;
            label->MouseMove(x, y, v & 7);
            break;
        case 2:
            label->MouseDown(x, y, static_cast<TMouseButton>(v % 3), (v & 4) ? ssDouble : 0u);
            break;
        case 3:
            label->MouseUp(x, y, static_cast<TMouseButton>(v % 3));
            break;
        case 4:
            label->DblClick(x, y);
            break;
        case 5: {
            int key = 36 + v % 6;
            label->KeyDown(key);
            break;
        }
        case 6:
            label->KeyPress(v & 1 ? '\r' : ' ');
            break;
        case 7:
            label->TimerTick();
            break;
        case 8:
            label->Paint(v & 1);
            break;
        case 9: // a container made and named, or freed while named
            if (container && (v & 1))
                container.reset();
            else {
                container = MakeContainer();
                label->SetPictureContainer(container.get());
            }
            if (!container && label->PictureContainer())
                std::abort();
            break;
        case 10:
            if (images && (v & 1))
                images.reset();
            else {
                images = std::make_unique<TestImageList>(2, 8 + v % 8, 8);
                label->SetImages(images.get());
            }
            if (!images && label->Images())
                std::abort();
            break;
        case 11:
            label->focused = v & 1;
            label->FocusChanged(label->focused);
            break;
        case 12:
            if (v & 1)
                label->MouseEnter();
            else
                label->MouseLeave();
            break;
        case 13:
            label->client = {0, 0, v % 160, (v * 3) % 90};
            break;
        case 14: {
            (void)label->AnchorRects(v % 5);
            bool on = false;
            (void)label->HintText(x, y, on);
            (void)label->AnchorAt(x, y);
            label->ActivateAnchor(v % 5);
            (void)label->GetText();
            break;
        }
        case 15:
            if (v & 1)
                label->BeginUpdate();
            else
                label->EndUpdate();
            break;
        case 16:
            switch (v % 8) {
            case 0:
                label->SetHover(!label->Hover());
                break;
            case 1:
                label->SetMiniScroll(!label->MiniScroll());
                break;
            case 2:
                label->SetVAlignment(static_cast<TVAlignment>(v / 8 % 3));
                break;
            case 3:
                label->SetAutoSizeP(!label->AutoSizing());
                break;
            case 4:
                label->SetAutoSizeType(static_cast<TAutoSizeType>(v / 8 % 3));
                break;
            case 5:
                label->SetEllipsis(!label->Ellipsis());
                break;
            case 6:
                label->SetVOffset(v / 8 * 4 - 8);
                break;
            case 7:
                label->SetEnableBlink(!label->EnableBlink());
                break;
            }
            break;
        case 17:
            switch (v % 6) {
            case 0:
                label->SetBevelInner(static_cast<TBevelCut>(v / 6 % 4));
                break;
            case 1:
                label->SetBevelOuter(static_cast<TBevelCut>(v / 6 % 4));
                break;
            case 2:
                label->SetBevelWidth(v / 6 % 5);
                break;
            case 3:
                label->SetBorderWidth(v / 6 % 6);
                break;
            case 4:
                label->SetBorderStyle(v & 8 ? bsSingle : bsNone);
                break;
            case 5:
                label->Align = static_cast<TAlign>(v / 6 % 6);
                break;
            }
            break;
        case 18:
            label->HoverColor = v & 1 ? 0x00FFFF : clNone;
            label->HoverFontColor = v & 2 ? 0x0000FF : clNone;
            label->AnchorHint = v & 4;
            label->AutoScroll = v & 8;
            label->enabled = !(v & 16);
            label->hc = v & 32;
            label->pointer = !(v & 64);
            break;
        case 19: // the label itself goes and comes back, the container and list staying
            label = std::make_unique<FuzzLabel>(&sender);
            label->SetHTMLText(lines);
            label->SetPictureContainer(container.get());
            label->SetImages(images.get());
            break;
        }
        // The bookkeeping stays in range whatever happened.
        if (label->FocusedAnchor() < -1 || label->HoveredAnchor() < -1 ||
            label->client.Height() > 65535 + 200)
            std::abort();
    }
    return 0;
}
