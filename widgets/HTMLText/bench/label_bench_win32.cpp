// The label under Wine: one mouse move over the console's help paragraph (its hit-test layout)
// and over 10 KB of markup with 100 anchors; and one full paint of the paragraph against one
// DrawTextW of its plain text into the same rectangle, measured in the same run; the paint
// again with the label at 192 DPI (as on a 200 % monitor) against DrawTextW at that DPI.
#include "platform/scoped_win32.h"
#include "platform/stopwatch_win32.h"
#include "platform/utf_win32.h"
#include "widgets/HTMLText/HTMLText_win32.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// The console's six HTMLText strings of HTMLStaticText1.
const std::vector<std::string> kHelp = {
    "<FONT face=\"Tahoma\">If you need, to synchronize categories only with the user of your "
    "choice, you can define the categories you need in ",
    "this section. Please select first the user you want to modify and click the button "
    "\"+\".<br><br>",
    "Um mit jedem Benutzer andere Kategorien abgleichen zu k\xC3\xB6nnen, gehen Sie bitte wie "
    "folgt vor. Suchen Sie aus der rechten Box einen ",
    "Benutzer aus und klicken auf den \"+\" Button. Legen Sie nun die Kategorie fest. Mit "
    "weiteren Nutzern k\xC3\xB6nnen Sie ebenso verfahren.",
    "</FONT>",
    "",
};

double MicrosecondsNow() {
    return kes::MillisecondsNow() * 1000.0;
}

// Microseconds per mouse move, the pointer walking over the label's rectangle.
double HoverUs(HWND label, int w, int h) {
    constexpr int kMoves = 2000;
    const double t0 = MicrosecondsNow();
    for (int i = 0; i < kMoves; ++i) {
        const int x = (i * 7) % w, y = (i * 13) % h;
        SendMessageW(label, WM_MOUSEMOVE, 0, MAKELPARAM(x, y));
    }
    return (MicrosecondsNow() - t0) / kMoves;
}

struct PaintTimes {
    double ratio, paintUs, drawTextUs; // the best round's ratio, and its times per paint
};

// The best of three rounds of the label's full paint against DrawTextW of its plain text in
// Tahoma 8 pt, both at dpi into a w x h target.
PaintTimes PaintRatio(kes::THTMLStaticText& label, int w, int h, int dpi) {
    using namespace kes;
    WindowDC wdc(label.Handle());
    const UniqueMemoryDC mem(CreateCompatibleDC(wdc.Get()));
    const UniqueBitmap bmp(CreateCompatibleBitmap(wdc.Get(), w, h));
    const SelectedObject selected(mem.Get(), bmp.Get());
    const UniqueFont tahoma(CreateFontW(
        -MulDiv(8, dpi, 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
        OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, L"Tahoma"));
    const std::wstring plain = Widen(label.GetText());
    constexpr int kPaints = 300;
    PaintTimes best{1e300, 0, 0};
    for (int round = 0; round < 3; ++round) {
        double t0 = MicrosecondsNow();
        for (int i = 0; i < kPaints; ++i)
            SendMessageW(label.Handle(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(mem.Get()),
                         PRF_CLIENT);
        const double painted = MicrosecondsNow() - t0;
        t0 = MicrosecondsNow();
        for (int i = 0; i < kPaints; ++i) {
            const SelectedObject font(mem.Get(), tahoma.Get());
            RECT r{0, 0, w, h};
            DrawTextW(mem.Get(), plain.c_str(), static_cast<int>(plain.size()), &r,
                      DT_WORDBREAK | DT_NOPREFIX);
        }
        const double drawn = MicrosecondsNow() - t0;
        if (painted / drawn < best.ratio)
            best = {painted / drawn, painted / kPaints, drawn / kPaints};
    }
    return best;
}

} // namespace

int main() {
    using namespace kes;
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"KesLabelBench";
    RegisterClassW(&wc);
    UniqueWindow host(CreateWindowExW(0, L"KesLabelBench", L"bench", WS_POPUP | WS_VISIBLE, 0, 0,
                                      800, 900, nullptr, nullptr, wc.hInstance, nullptr));

    THTMLStaticText help(nullptr, "help", host.Get(), Bounds{24, 152, 545, 81});
    help.SetHTMLText(kHelp);
    UpdateWindow(help.Handle());
    HoverUs(help.Handle(), 545, 81); // warm: fonts made once
    std::printf("label_hover_us: %.1f\n", HoverUs(help.Handle(), 545, 81));

    std::string big = "<FONT face=\"Tahoma\">";
    for (int i = 0; big.size() < 10 * 1024; ++i) {
        big += "Some words of text before the link <A href=\"http://example.invalid/" +
               std::to_string(i) + "\">anchor number " + std::to_string(i) + "</A> and after. ";
        if (i == 99)
            break;
    }
    while (big.size() < 10 * 1024)
        big += "filler words to reach ten kilobytes ";
    big += "</FONT>";
    THTMLStaticText large(nullptr, "large", host.Get(), Bounds{0, 0, 545, 880});
    large.SetHTMLText({big});
    UpdateWindow(large.Handle());
    HoverUs(large.Handle(), 545, 880);
    std::printf("label_hover_us_10kb: %.1f\n", HoverUs(large.Handle(), 545, 880));

    // Painting: the label's full paint against DrawTextW of its plain text, same target.
    const PaintTimes at96 =
        PaintRatio(help, 545, 81, GetDeviceCaps(WindowDC(help.Handle()).Get(), LOGPIXELSY));
    std::printf("label_paint_ratio: %.2f (%.1f us against %.1f us)\n", at96.ratio, at96.paintUs,
                at96.drawTextUs);
    // The same at 192 DPI: what the system sends a window moved to such a monitor.
    THTMLStaticText sharp(nullptr, "sharp", host.Get(), Bounds{0, 0, 1090, 162});
    sharp.SetHTMLText(kHelp);
    SendMessageW(sharp.Handle(), kWmDpiChanged, MAKEWPARAM(192, 192), 0);
    const PaintTimes at192 = PaintRatio(sharp, 1090, 162, 192);
    std::printf("label_paint_ratio_192dpi: %.2f (%.1f us against %.1f us)\n", at192.ratio,
                at192.paintUs, at192.drawTextUs);
    return 0;
}
