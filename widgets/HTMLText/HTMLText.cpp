#include "widgets/HTMLText/HTMLText.h"

#include "widgets/HTMLText/ascii.h"

#include <algorithm>

namespace kes {

namespace {

constexpr int kArrowSize = 10;     // the mini-scroll arrows' squares, and the text's right margin
constexpr int kScrollStep = 4;     // pixels per arrow click or repeat
constexpr int kAutoGrowth = 65535; // the text is laid out without a limit in that direction
constexpr int kAutoMargin = 6;     // added to the laid-out size when the label sizes itself
constexpr int kBlinkTicks = 5;     // 100 ms ticks per blink phase
constexpr int kVkLeft = 37, kVkUp = 38, kVkRight = 39, kVkDown = 40;
constexpr Rect kNoRect{-1, -1, -1, -1};
// High contrast: the text and background of a window, as the system's own controls use them.
constexpr TColor kContrastText = kSystemColor + 8; // COLOR_WINDOWTEXT
constexpr TColor kContrastBack = clWindow;

bool Grows(TAlign a, TAutoSizeType t, bool vertical) {
    if (vertical)
        return (a == alNone || a == alTop || a == alBottom) && (t == asVertical || t == asBoth);
    return (a == alNone || a == alLeft || a == alRight) && (t == asHorizontal || t == asBoth);
}

void Shrink(Rect& r, int by) {
    r.left += by;
    r.top += by;
    r.right -= by;
    r.bottom -= by;
}

std::string Trimmed(std::string s) {
    for (char& c : s)
        if (c == '\r' || c == '\n')
            c = ' ';
    const std::size_t b = s.find_first_not_of(' ');
    if (b == std::string::npos)
        return {};
    return s.substr(b, s.find_last_not_of(' ') - b + 1);
}

} // namespace

std::vector<AnchorInfo> ListAnchors(std::string_view markup) {
    // Counted as the engine counts them: every tag whose name begins with "A" opens one.
    const std::string s = PreprocessMarkup(markup);
    std::vector<AnchorInfo> out;
    bool open = false;
    std::size_t textStart = 0;
    auto close = [&](std::size_t end) {
        if (open)
            out.back().text =
                Trimmed(ShownText(std::string_view(s).substr(textStart, end - textStart)));
        open = false;
    };
    for (std::size_t i = s.find('<'); i != std::string::npos; i = s.find('<', i + 1)) {
        const std::size_t gt = s.find('>', i);
        const std::string_view tag =
            std::string_view(s).substr(i, gt == std::string::npos ? std::string::npos : gt - i + 1);
        if (tag.size() > 2 && UpperChar(tag[1]) == 'A') {
            close(i);
            AnchorInfo a;
            const std::size_t q1 = tag.find('"');
            const std::size_t q2 = q1 == std::string_view::npos ? q1 : tag.find('"', q1 + 1);
            if (q2 != std::string_view::npos)
                a.href = std::string(tag.substr(q1 + 1, q2 - q1 - 1));
            out.push_back(std::move(a));
            open = true;
            textStart = i + tag.size();
        } else if (tag.size() > 3 && tag[1] == '/' && UpperChar(tag[2]) == 'A') {
            close(i);
        }
        if (gt == std::string::npos)
            break;
    }
    close(s.size());
    return out;
}

bool OpensByPlatform(const std::string& href) {
    return href.find("://") != std::string::npos || PosNoCase("mailto:", href) != 0;
}

THTMLStaticTextCore::THTMLStaticTextCore(TComponent* sender)
    : sender_(sender), cache_(std::make_unique<THTMLPictureCache>()) {}

THTMLStaticTextCore::~THTMLStaticTextCore() {
    cache_->ClearPictures();
}

void THTMLStaticTextCore::Changed() {
    hovered_ = -1;
    focused_ = -1;
    focusedHref_.clear();
    Invalidate(nullptr);
}

void THTMLStaticTextCore::SetHTMLText(const std::vector<std::string>& lines) {
    html_ = lines;
    // Joined once here, not on every mouse move and paint.
    std::string joined;
    for (const std::string& s : html_)
        joined += s;
    const bool changed = joined != joined_;
    joined_ = std::move(joined);
    Changed();
    if (changed)
        TextChanged();
}

void THTMLStaticTextCore::SetAutoSizeP(bool on) {
    Store(autoSizing_, on);
}

void THTMLStaticTextCore::SetImages(ImageList* images) {
    // Only the one named now is watched.
    link_.RemoveFreeNotification(images_);
    link_.FreeNotification(images);
    Store(images_, images);
}

void THTMLStaticTextCore::SetPictureContainer(TPictureContainer* container) {
    link_.RemoveFreeNotification(container_);
    link_.FreeNotification(container);
    container_ = container;
}

void THTMLStaticTextCore::SetURLColor(TColor c) {
    StoreIfChanged(urlColor_, c);
}

void THTMLStaticTextCore::SetHover(bool on) {
    StoreIfChanged(hover_, on);
}

void THTMLStaticTextCore::SetBevelInner(TBevelCut b) {
    Store(bevelInner_, b);
}

void THTMLStaticTextCore::SetBevelOuter(TBevelCut b) {
    Store(bevelOuter_, b);
}

void THTMLStaticTextCore::SetBevelWidth(int w) {
    Store(bevelWidth_, std::max(w, 0));
}

void THTMLStaticTextCore::SetBorderWidth(int w) {
    Store(borderWidth_, std::max(w, 0));
}

void THTMLStaticTextCore::SetBorderStyle(TBorderStyle s) {
    Store(borderStyle_, s);
}

void THTMLStaticTextCore::SetShadowColor(TColor c) {
    Store(shadowColor_, c);
}

void THTMLStaticTextCore::SetShadowOffset(int o) {
    Store(shadowOffset_, o);
}

void THTMLStaticTextCore::SetEllipsis(bool on) {
    StoreIfChanged(ellipsis_, on);
}

void THTMLStaticTextCore::SetVAlignment(TVAlignment v) {
    if (v == vAlignment_)
        return;
    vAlignment_ = v;
    // Scrolled text has no block to align.
    if (v != tvaTop)
        SetMiniScroll(false);
    Invalidate(nullptr);
}

void THTMLStaticTextCore::SetMiniScroll(bool on) {
    if (on == miniScroll_)
        return;
    miniScroll_ = on;
    if (on)
        vAlignment_ = tvaTop;
    else
        vOffset_ = 0;
    Invalidate(nullptr);
}

void THTMLStaticTextCore::SetVOffset(int v) {
    if (!miniScroll_)
        return;
    if (v < 0) {
        vOffset_ = 0;
        return;
    }
    vOffset_ = v;
    Invalidate(nullptr);
}

void THTMLStaticTextCore::SetEnableBlink(bool on) {
    enableBlink_ = on;
    if (loading_)
        return; // Loaded starts it
    if (on) {
        if (!timerRunning_) {
            StartTimer();
            timerRunning_ = true;
        }
        return;
    }
    if (timerRunning_) {
        StopTimer();
        timerRunning_ = false;
    }
    Invalidate(nullptr);
    blinkPhase_ = false;
}

void THTMLStaticTextCore::Loaded() {
    loading_ = false;
    SetEnableBlink(enableBlink_);
}

void THTMLStaticTextCore::Notification(TComponent* AComponent, TOperation Operation) {
    if (Operation != opRemove || !AComponent)
        return;
    bool dropped = false;
    if (images_ && AComponent == static_cast<TComponent*>(images_)) {
        images_ = nullptr;
        dropped = true;
    }
    if (container_ && AComponent == static_cast<TComponent*>(container_)) {
        container_ = nullptr;
        dropped = true;
    }
    if (dropped)
        Invalidate(nullptr);
}

void THTMLStaticTextCore::EndUpdate() {
    if (updateCount_ <= 0)
        return;
    if (--updateCount_ == 0)
        Invalidate(nullptr);
}

std::string THTMLStaticTextCore::GetDisplText() const {
    return joined_;
}

Rect THTMLStaticTextCore::TextRect() const {
    // Inside every frame that DoPaint draws, so the text never covers a bevel or the outline.
    Rect t = ClientRect();
    const int bevel = ScaleLength(bevelWidth_), border = ScaleLength(borderWidth_);
    if (bevelOuter_ != bvNone)
        Shrink(t, bevel);
    Shrink(t, border);
    if (bevelInner_ != bvNone)
        Shrink(t, bevel);
    if (borderStyle_ == bsSingle && borderWidth_ > 0)
        Shrink(t, border); // the outline lies inside the rectangle it is drawn around
    return t;
}

Rect THTMLStaticTextCore::ShownTextRect() const {
    Rect t = TextRect();
    if (miniScroll_)
        t.right -= ScaleLength(kArrowSize);
    return t;
}

Rect THTMLStaticTextCore::LayoutRect(const Rect& t) const {
    // Hit tests lay out as the paint does, or a line wrapped differently would be hit elsewhere.
    Rect r = t;
    if (autoSizing_) {
        if (Grows(Align, autoSizeType_, false))
            r.right += kAutoGrowth;
        if (Grows(Align, autoSizeType_, true))
            r.bottom += kAutoGrowth;
    }
    return r;
}

MarkupParams THTMLStaticTextCore::BaseParams() const {
    MarkupParams p;
    p.PictureContainer = container_;
    p.PictureCache = cache_.get();
    p.Images = images_;
    p.WordWrap = !ellipsis_;
    p.Hover = hover_;
    p.ShadowOffset = ScaleLength(shadowOffset_);
    return p;
}

void THTMLStaticTextCore::PlaceText(Canvas& cv, const std::string& markup, Rect& t, bool drawArrows,
                                    const Rect& kept) {
    if (miniScroll_) {
        const int arrow = ScaleLength(kArrowSize);
        t.top -= vOffset_;
        t.right -= arrow;
        if (drawArrows)
            upArrow_ = downArrow_ = false;
        MarkupParams p = BaseParams();
        p.MeasureOnly = p.HitTest = true;
        MarkupOutputs out;
        DrawMarkup(cv, markup, t, p, out);
        if (drawArrows && out.Height >= kept.Height() + vOffset_) {
            cv.ScrollArrow({kept.right - arrow, kept.bottom - arrow, kept.right, kept.bottom},
                           false);
            downArrow_ = true;
        }
        if (drawArrows && vOffset_ > 0) {
            cv.ScrollArrow({kept.right - arrow, kept.top, kept.right, kept.top + arrow}, true);
            upArrow_ = true;
        }
    }
    if (vAlignment_ == tvaCenter || vAlignment_ == tvaBottom) {
        MarkupParams p = BaseParams();
        p.HitTest = true;
        MarkupOutputs out;
        DrawMarkup(cv, markup, t, p, out);
        // Against the text rectangle as the window has it, not as auto-sizing widened it.
        const int room = kept.Height();
        if (out.Height < room)
            t.top =
                kept.top + (vAlignment_ == tvaCenter ? (room - out.Height) / 2 : room - out.Height);
    }
}

void THTMLStaticTextCore::DoPaint(Canvas& cv, bool full) {
    const bool hc = HighContrast();
    const TColor back = hc ? kContrastBack : Color;
    cv.brush = back;
    cv.font = Font;
    if (hc)
        cv.font.color = kContrastText;
    if (full) {
        Rect r = ClientRect();
        const auto bevel = [&](TBevelCut cut) {
            if (cut == bvNone)
                return;
            const bool lowered = cut == bvLowered;
            cv.Frame3D(r, lowered ? clBtnShadow : clBtnHighlight,
                       lowered ? clBtnHighlight : clBtnShadow, ScaleLength(bevelWidth_));
        };
        bevel(bevelOuter_);
        cv.Frame3D(r, back, back, ScaleLength(borderWidth_));
        bevel(bevelInner_);
        cv.penColor = back;
        cv.penWidth = 0;
        if (borderStyle_ == bsSingle && borderWidth_ > 0) {
            cv.penWidth = ScaleLength(borderWidth_);
            cv.penColor = clBlack;
            cv.Rectangle(r);
        }
    }
    const Rect kept = TextRect();
    Rect t = LayoutRect(kept);
    const std::string markup = GetDisplText();
    MarkupParams p = BaseParams();
    // Both ask the window system (a round trip under Wine): only when the answer can matter.
    p.FocusAnchor = focused_ >= 0 && Focused() ? focused_ : -1;
    if (!MarkupDrawsPoint(markup) || !PointerPos(p.X, p.Y))
        p.X = p.Y = -1;
    PlaceText(cv, markup, t, true, kept);

    // Scrolled text never reaches over the frames above it or the arrows beside it.
    Rect clip = t;
    clip.top = std::max(clip.top, kept.top);
    cv.SetClipRect(&clip);
    MarkupOutputs out;
    if (Enabled()) {
        p.ShadowColor = hc ? clGrayText : shadowColor_;
        p.HoverFontColor = hc && HoverFontColor != clNone ? clHotLight : HoverFontColor;
        p.HoverColor = hc ? clNone : HoverColor;
        p.URLColor = hc ? clHotLight : urlColor_;
        // In high contrast nothing blinks: BLINK text stays shown.
        p.BlinkPhase = hc || blinkPhase_;
        p.HoverAnchor = hovered_;
        DrawMarkup(cv, markup, t, p, out);
    } else {
        const TColor light = hc ? clBtnHighlight : clWhite;
        const TColor grey = hc ? clGrayText : clGray;
        const Rect moved{t.left + 1, t.top + 1, t.right + 1, t.bottom + 1};
        p.HoverFontColor = p.HoverColor = clNone;
        p.X = p.Y = 0;
        p.BlinkPhase = blinkPhase_;
        cv.font.color = light;
        p.URLColor = light;
        MarkupParams first = p;
        first.Images = nullptr;
        DrawMarkup(cv, markup, moved, first, out);
        cv.font.color = grey;
        p.URLColor = grey;
        DrawMarkup(cv, markup, t, p, out);
    }
    cv.SetClipRect(nullptr);
    // The focused href is decided where the focus moves, not here: a key may come first.
    anchorCount_ = out.AnchorCount;
    if (autoSizing_) {
        // The frames around the text, and the text with its margin.
        const Rect c = ClientRect();
        int w = c.Width(), h = c.Height();
        const int margin = ScaleLength(kAutoMargin);
        const int wantH = out.Height + margin + (h - kept.Height());
        const int wantW = out.Width + margin + (w - kept.Width());
        if (Grows(Align, autoSizeType_, true) && wantH != h)
            h = wantH;
        if (Grows(Align, autoSizeType_, false) && wantW != w)
            w = wantW;
        if (w != c.Width() || h != c.Height())
            SetClientSize(w, h);
    }
}

MarkupOutputs THTMLStaticTextCore::HitLayout(int x, int y, int focus, bool whole) {
    const std::string markup = GetDisplText();
    MarkupOutputs out;
    out.AnchorRect = kNoRect;
    Measure([&](Canvas& cv) {
        cv.font = Font;
        const Rect kept = TextRect();
        Rect t = LayoutRect(kept);
        PlaceText(cv, markup, t, false, kept);
        if (whole)
            t.bottom += kAutoGrowth; // the width alone decides the wrapping
        MarkupParams p = BaseParams();
        p.HitTest = true;
        p.RecordAnchors = true;
        p.ShadowColor = clNone;
        p.URLColor = clWhite;
        p.FocusAnchor = focus;
        p.X = x;
        p.Y = y;
        if (!DrawMarkup(cv, markup, t, p, out))
            out.AnchorIndex = -1;
    });
    return out;
}

bool THTMLStaticTextCore::IsAnchor(int x, int y, std::string& Anchor, Rect& r) {
    const MarkupOutputs out = HitLayout(x, y, -1);
    hovered_ = out.AnchorIndex;
    r = out.AnchorRect;
    hitBoxes_.clear();
    if (hovered_ < 0)
        return false;
    Anchor = out.Href;
    for (const AnchorBox& b : out.AnchorBoxes)
        if (b.index == hovered_)
            hitBoxes_.push_back(b.rect);
    return true;
}

std::vector<Rect> THTMLStaticTextCore::AnchorRects(int index) {
    std::vector<Rect> out;
    for (const AnchorBox& b : HitLayout(-1, -1, -1, true).AnchorBoxes)
        if (b.index == index)
            out.push_back(b.rect);
    return out;
}

Rect THTMLStaticTextCore::ShownAnchorRect(int index) {
    const Rect view = ShownTextRect();
    Rect u{0, 0, 0, 0};
    for (const Rect& b : AnchorRects(index)) {
        const Rect c{std::max(b.left, view.left), std::max(b.top, view.top),
                     std::min(b.right, view.right), std::min(b.bottom, view.bottom)};
        if (c.left >= c.right || c.top >= c.bottom)
            continue;
        if (u.left >= u.right)
            u = c;
        else
            u = {std::min(u.left, c.left), std::min(u.top, c.top), std::max(u.right, c.right),
                 std::max(u.bottom, c.bottom)};
    }
    return u;
}

void THTMLStaticTextCore::ScrollIntoView(int index) {
    if (!miniScroll_)
        return;
    const std::vector<Rect> boxes = AnchorRects(index);
    if (boxes.empty())
        return;
    const int top = boxes.front().top, bottom = boxes.back().bottom; // lines come in order
    const Rect view = ShownTextRect();
    int shift = bottom > view.bottom ? bottom - view.bottom : 0;
    if (top - shift < view.top)
        shift = top - view.top; // a link taller than the view shows its first line
    const int v = std::max(vOffset_ + shift, 0);
    if (v != vOffset_) {
        vOffset_ = v;
        Invalidate(nullptr);
    }
}

void THTMLStaticTextCore::InvalidateBoxes(const std::vector<Rect>& boxes) {
    for (const Rect& b : boxes)
        Invalidate(&b);
}

void THTMLStaticTextCore::MouseMove(int x, int y, TShiftState shift) {
    if (OnMouseMove)
        OnMouseMove(sender_, shift, x, y);
    std::string anchor;
    Rect r;
    if (IsAnchor(x, y, anchor, r)) {
        if (r.left == -1)
            Repaint(false);
        focused_ = -1;
        focusedHref_.clear();
        // Another anchor with the same href is another anchor too.
        const bool other = anchor != lastAnchor_ || hovered_ != lastHovered_;
        // Every line of a wrapped anchor changes its look, not only the one under the pointer.
        if (hover_ && (other || r != lastAnchorRect_))
            InvalidateBoxes(lastAnchorBoxes_);
        if (cursor_ == crDefault || other) {
            lastAnchor_ = anchor;
            if (AnchorHint)
                CancelHint();
            cursor_ = crHandPoint;
            CursorChanged();
            if (OnAnchorEnter)
                OnAnchorEnter(sender_, anchor);
            if (hover_)
                InvalidateBoxes(hitBoxes_);
            lastHovered_ = hovered_;
            lastAnchorRect_ = r;
            lastAnchorBoxes_ = hitBoxes_;
        }
    } else if (cursor_ == crHandPoint) {
        cursor_ = crDefault;
        CursorChanged();
        focused_ = -1;
        focusedHref_.clear();
        if (hover_) {
            InvalidateBoxes(lastAnchorBoxes_);
            Repaint(false);
        }
        lastHovered_ = -1;
        if (OnAnchorExit)
            OnAnchorExit(sender_, "");
    }
}

void THTMLStaticTextCore::MouseEnter() {
    int x = 0, y = 0;
    std::string anchor;
    Rect r;
    if (PointerPos(x, y) && IsAnchor(x, y, anchor, r) &&
        (cursor_ == crDefault || anchor != lastAnchor_)) {
        lastAnchor_ = anchor;
        if (AnchorHint)
            CancelHint();
        cursor_ = crHandPoint;
        CursorChanged();
        if (OnAnchorEnter)
            OnAnchorEnter(sender_, anchor);
        if (hover_)
            Repaint(false);
        lastHovered_ = hovered_;
        lastAnchorRect_ = r;
        lastAnchorBoxes_ = hitBoxes_;
    }
    if (OnMouseEnter)
        OnMouseEnter(sender_);
}

void THTMLStaticTextCore::MouseLeave() {
    if (hovered_ >= 0) {
        hovered_ = -1;
        if (hover_)
            InvalidateBoxes(lastAnchorBoxes_);
    }
    // Leaving straight from an anchor leaves it too: the exit is not left for the next visit.
    if (cursor_ == crHandPoint) {
        cursor_ = crDefault;
        CursorChanged();
        lastHovered_ = -1;
        if (OnAnchorExit)
            OnAnchorExit(sender_, "");
    }
    if (OnMouseLeave)
        OnMouseLeave(sender_);
}

void THTMLStaticTextCore::ScrollArrows(int x, int y) {
    const Rect t = TextRect();
    const int arrow = ScaleLength(kArrowSize);
    if (upArrow_ && x > t.right - arrow && y < t.top + arrow)
        SetVOffset(vOffset_ - ScaleLength(kScrollStep));
    if (downArrow_ && x > t.right - arrow && y > t.bottom - arrow)
        SetVOffset(vOffset_ + ScaleLength(kScrollStep));
}

void THTMLStaticTextCore::Open(const std::string& href) {
    if (OpensByPlatform(href)) {
        if (OpenTarget)
            OpenTarget(href); // its result is not reported
    } else if (OnAnchorClick) {
        OnAnchorClick(sender_, href);
    }
}

void THTMLStaticTextCore::MouseDown(int x, int y, TMouseButton button, TShiftState shift) {
    if (OnMouseDown)
        OnMouseDown(sender_, button, shift, x, y);
    buttonHeld_ = true;
    if (button == mbLeft && !(shift & ssDouble))
        clickPending_ = true;
    if (miniScroll_ && (upArrow_ || downArrow_))
        ScrollArrows(x, y);
    // The second press of a double click does not open the anchor a second time.
    if (shift & ssDouble)
        return;
    std::string anchor;
    Rect r;
    if (IsAnchor(x, y, anchor, r)) {
        // A label in the tab order took the focus with the press: the keys go on from here.
        if (Focused())
            FocusAnchor(hovered_ - 1, true);
        Open(anchor);
    }
}

void THTMLStaticTextCore::MouseUp(int x, int y, TMouseButton button, TShiftState shift) {
    if (OnMouseUp)
        OnMouseUp(sender_, button, shift, x, y);
    buttonHeld_ = false;
    if (button != mbLeft)
        return;
    const bool click = clickPending_;
    clickPending_ = false;
    const Rect c = ClientRect();
    if (click && x >= c.left && x < c.right && y >= c.top && y < c.bottom && OnClick)
        OnClick(sender_);
}

void THTMLStaticTextCore::DblClick(int x, int y, TShiftState shift) {
    clickPending_ = false;
    if (OnDblClick)
        OnDblClick(sender_);
    MouseDown(x, y, mbLeft, shift | ssDouble);
}

void THTMLStaticTextCore::FocusAnchor(int index, bool announce) {
    focused_ = index;
    // A link the keys reach is shown before Enter acts on it.
    if (index >= 0)
        ScrollIntoView(index + 1);
    focusedHref_ = index >= 0 ? HitLayout(-1, -1, index, miniScroll_).FocusHref : std::string();
    Repaint(false);
    if (announce && index >= 0)
        AnchorFocused(index);
}

void THTMLStaticTextCore::FocusChanged(bool focused) {
    if (focused) {
        FocusAnchor(focused_ < 0 ? 0 : focused_, anchorCount_ > 0);
        return;
    }
    Invalidate(nullptr);
}

void THTMLStaticTextCore::KeyDown(int& key) {
    const bool back = key == kVkLeft || key == kVkUp;
    if (!back && key != kVkRight && key != kVkDown)
        return;
    // The anchors as laid out now: the last paint may be older than the text or the scroll.
    // Links below an unscrolled label cannot be shown: the keys stay with the laid-out ones.
    anchorCount_ = HitLayout(-1, -1, -1, miniScroll_).AnchorCount;
    // Without anchors the arrows are left to the dialog.
    if (anchorCount_ <= 0)
        return;
    key = 0;
    if (back)
        FocusAnchor((focused_ > 0 ? focused_ : anchorCount_) - 1, true);
    else
        FocusAnchor(focused_ < anchorCount_ - 1 ? focused_ + 1 : 0, true);
}

void THTMLStaticTextCore::KeyPress(char key) {
    if (key != '\r' && key != ' ')
        return;
    if (OpensByPlatform(focusedHref_)) {
        if (OpenTarget)
            OpenTarget(focusedHref_);
    } else if (OnAnchorKeypress) {
        OnAnchorKeypress(sender_, focusedHref_);
    }
}

void THTMLStaticTextCore::TimerTick() {
    ++ticks_;
    bool stepped = cache_->Animate();
    if (container_ && container_->Items().Animate())
        stepped = true;
    if (stepped)
        Repaint(false);
    int x = 0, y = 0;
    if (miniScroll_ && (upArrow_ || downArrow_) && (buttonHeld_ || AutoScroll) &&
        PointerPos(x, y)) {
        const Rect c = ClientRect();
        if (x >= c.left && x < c.right && y >= c.top && y < c.bottom)
            ScrollArrows(x, y);
    }
    if (ticks_ % kBlinkTicks == 0 && !HighContrast() && PosNoCase("<BLINK", GetDisplText()) != 0) {
        Repaint(true);
        blinkPhase_ = !blinkPhase_;
    }
}

std::string THTMLStaticTextCore::HintText(int x, int y, bool& onAnchor) {
    onAnchor = false;
    std::string anchor;
    Rect r;
    if (AnchorHint && IsAnchor(x, y, anchor, r)) {
        onAnchor = true;
        return anchor;
    }
    return {};
}

int THTMLStaticTextCore::AnchorAt(int x, int y) {
    const int saved = hovered_;
    std::string anchor;
    Rect r;
    const int index = IsAnchor(x, y, anchor, r) ? hovered_ : 0;
    hovered_ = saved;
    return index;
}

void THTMLStaticTextCore::ActivateAnchor(int index) {
    const std::vector<AnchorInfo> anchors = ListAnchors(GetDisplText());
    if (index >= 1 && index <= static_cast<int>(anchors.size()))
        Open(anchors[static_cast<std::size_t>(index - 1)].href);
}

} // namespace kes
