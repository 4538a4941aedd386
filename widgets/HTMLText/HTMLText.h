// The rich-text label's decisions, free of any window system: what a paint draws, how the anchor
// bookkeeping follows the mouse and the keys, and what the timer does. THTMLStaticText
// (HTMLText_win32.h) puts it on a window; the host tests drive it over the recording surface.
#pragma once

#include "toolkit/component.h"
#include "widgets/HTMLText/PictureContainer.h"
#include "widgets/HTMLText/markup.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kes {

enum TAutoSizeType { asVertical, asHorizontal, asBoth };
enum TVAlignment { tvaTop, tvaCenter, tvaBottom };
enum TBorderStyle { bsNone, bsSingle };
enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };
enum TCursor { crDefault, crHandPoint };
enum TMouseButton { mbLeft, mbRight, mbMiddle };
// The keys and buttons held, and whether a press is the second of a double click.
enum TShiftFlag : unsigned {
    ssShift = 1,
    ssAlt = 2,
    ssCtrl = 4,
    ssLeft = 8,
    ssRight = 16,
    ssMiddle = 32,
    ssDouble = 64,
};
using TShiftState = unsigned;

using TAnchorClick = std::function<void(TComponent* Sender, const std::string& Anchor)>;
using TLabelNotify = std::function<void(TComponent* Sender)>;
using TMouseEvent =
    std::function<void(TComponent* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
using TMouseMoveEvent = std::function<void(TComponent* Sender, TShiftState Shift, int X, int Y)>;

// One anchor of the markup as a screen reader sees it.
struct AnchorInfo {
    std::string text; // its words as shown, without tags
    std::string href;
};
// The anchors of a markup in order; an anchor left open ends with the text.
std::vector<AnchorInfo> ListAnchors(std::string_view markup);
// Whether a target is opened by the platform rather than reported to the program.
bool OpensByPlatform(const std::string& href);

class THTMLStaticTextCore {
public:
    explicit THTMLStaticTextCore(TComponent* sender);
    virtual ~THTMLStaticTextCore();
    THTMLStaticTextCore(const THTMLStaticTextCore&) = delete;
    THTMLStaticTextCore& operator=(const THTMLStaticTextCore&) = delete;

    // Stored without a repaint.
    bool AnchorHint = false;
    bool AutoScroll = false;
    TColor HoverColor = clNone;
    TColor HoverFontColor = clNone;
    // Of the base control.
    FontSpec Font;
    TColor Color = clBtnFace;
    TAlign Align = alNone;
    // Opens a URL or mail target; the window sets the platform's default, tests watch it.
    std::function<void(const std::string& target)> OpenTarget;

    TAnchorClick OnAnchorClick, OnAnchorEnter, OnAnchorExit, OnAnchorKeypress;
    TLabelNotify OnMouseEnter, OnMouseLeave;
    // Of the base control; each fires before the label's own handling of the same input.
    TLabelNotify OnClick, OnDblClick;
    TMouseEvent OnMouseDown, OnMouseUp;
    TMouseMoveEvent OnMouseMove;

    // Properties with their repaint rules.
    const std::vector<std::string>& HTMLText() const { return html_; }
    void SetHTMLText(const std::vector<std::string>& lines);
    bool AutoSizing() const { return autoSizing_; }
    void SetAutoSizeP(bool on);
    TAutoSizeType AutoSizeType() const { return autoSizeType_; }
    void SetAutoSizeType(TAutoSizeType t) { autoSizeType_ = t; }
    // Both are forgotten when they are destroyed before the label.
    ImageList* Images() const { return images_; }
    void SetImages(ImageList* images);
    // Stored without a repaint.
    TPictureContainer* PictureContainer() const { return container_; }
    void SetPictureContainer(TPictureContainer* container);
    TColor URLColor() const { return urlColor_; }
    void SetURLColor(TColor c);
    bool Hover() const { return hover_; }
    void SetHover(bool on);
    TBevelCut BevelInner() const { return bevelInner_; }
    void SetBevelInner(TBevelCut b);
    TBevelCut BevelOuter() const { return bevelOuter_; }
    void SetBevelOuter(TBevelCut b);
    int BevelWidth() const { return bevelWidth_; }
    void SetBevelWidth(int w);
    int BorderWidth() const { return borderWidth_; }
    void SetBorderWidth(int w);
    TBorderStyle BorderStyle() const { return borderStyle_; }
    void SetBorderStyle(TBorderStyle s);
    TColor ShadowColor() const { return shadowColor_; }
    void SetShadowColor(TColor c);
    int ShadowOffset() const { return shadowOffset_; }
    void SetShadowOffset(int o);
    bool Ellipsis() const { return ellipsis_; }
    void SetEllipsis(bool on);
    TVAlignment VAlignment() const { return vAlignment_; }
    void SetVAlignment(TVAlignment v);
    bool MiniScroll() const { return miniScroll_; }
    void SetMiniScroll(bool on);
    int VOffset() const { return vOffset_; }
    void SetVOffset(int v);
    bool EnableBlink() const { return enableBlink_; }
    void SetEnableBlink(bool on);

    void BeginUpdate() { ++updateCount_; }
    void EndUpdate();
    int UpdateCount() const { return updateCount_; }

    // Hit test in client coordinates; Anchor is written only on an anchor.
    bool IsAnchor(int x, int y, std::string& Anchor, Rect& r);
    virtual std::string GetDisplText() const;
    std::string GetText() const { return StripMarkup(GetDisplText()); }
    void Doit() { Repaint(false); }
    // The paint itself, on a surface whose device is the client area; full adds the frames.
    void DoPaint(Canvas& cv, bool full);

    // Events of the window, in client coordinates.
    void MouseMove(int x, int y, TShiftState shift = 0);
    void MouseEnter();
    void MouseLeave();
    void MouseDown(int x, int y, TMouseButton button = mbLeft, TShiftState shift = 0);
    void MouseUp(int x, int y, TMouseButton button = mbLeft, TShiftState shift = 0);
    // The second press of a double click (instead of its MouseDown).
    void DblClick(int x, int y, TShiftState shift = 0);
    void FocusChanged(bool focused);
    void KeyDown(int& key);
    void KeyPress(char key);
    void TimerTick();
    // The hint for the pointer at (x, y): with AnchorHint, the href of the anchor under it
    // (onAnchor set); otherwise empty, and the control's own hint applies.
    std::string HintText(int x, int y, bool& onAnchor);
    // The anchor (from 1) under a point, or 0; the hover bookkeeping stays as it is.
    int AnchorAt(int x, int y);
    // Where anchor index (from 1) lies as laid out now, one rectangle per line, scrolled out of
    // view or not; empty when there is no such anchor.
    std::vector<Rect> AnchorRects(int index);
    // The part of the client area that shows text: inside the frames, beside the arrows.
    Rect ShownTextRect() const;
    // What is shown of anchor index (from 1): its lines clipped to the text shown, united;
    // empty when none of it is in view.
    Rect ShownAnchorRect(int index);
    // The default action of anchor index (from 1), as a click on it.
    void ActivateAnchor(int index);
    void Loaded();
    // A component that the label refers to is going away: the reference is dropped.
    void Notification(TComponent* AComponent, TOperation Operation);

    // Bookkeeping, for the window part and the tests.
    TCursor Cursor() const { return cursor_; }
    int HoveredAnchor() const { return hovered_; }
    int FocusedAnchor() const { return focused_; }
    const std::string& FocusedHref() const { return focusedHref_; }
    int AnchorCount() const { return anchorCount_; }
    bool BlinkPhase() const { return blinkPhase_; }
    bool UpArrow() const { return upArrow_; }
    bool DownArrow() const { return downArrow_; }
    bool TimerRunning() const { return timerRunning_; }
    THTMLPictureCache& PictureCache() { return *cache_; }
    FontCache& Fonts() { return fonts_; }

protected:
    // What the window provides.
    virtual Rect ClientRect() const = 0;
    virtual void SetClientSize(int width, int height) = 0;
    virtual void Invalidate(const Rect* r) = 0;
    // Runs f on a surface for measuring, with the label's fonts.
    virtual void Measure(const std::function<void(Canvas&)>& f) = 0;
    virtual bool Focused() const = 0;
    virtual bool Enabled() const = 0;
    virtual bool PointerPos(int& x, int& y) const = 0; // client coordinates
    virtual bool HighContrast() const = 0;
    virtual void CursorChanged() = 0;
    virtual void CancelHint() = 0;
    virtual void StartTimer() = 0;
    virtual void StopTimer() = 0;
    // A paint of the text only (tracking and focus moves): the window repaints.
    virtual void Repaint(bool full) = 0;
    // The keyboard moved to anchor index (from 0): screen readers are told.
    virtual void AnchorFocused(int /*index*/) {}
    // The text changed: screen readers are told.
    virtual void TextChanged() {}
    // A length of the 96-DPI design at the surface's DPI.
    virtual int ScaleLength(int px96) const { return px96; }

    bool loading_ = false;

private:
    Rect TextRect() const; // step 3
    // The text rectangle as laid out: without the limits that auto-sizing lifts.
    Rect LayoutRect(const Rect& t) const;
    // The hit-test layout of the text, as IsAnchor runs it, for the point (x, y) and with the
    // keyboard on anchor focus (from 0; -1 none).
    // whole lays out every line, also those below the window.
    MarkupOutputs HitLayout(int x, int y, int focus, bool whole = false);
    // Under MiniScroll, scrolls so that anchor index (from 1) is shown.
    void ScrollIntoView(int index);
    // Moves the keyboard's anchor and learns its href at once, so that a key that follows
    // acts on what is now shown focused.
    void FocusAnchor(int index, bool announce);
    void InvalidateBoxes(const std::vector<Rect>& boxes);
    // Steps 7 and 8: the scroll shift and the vertical alignment of t.
    void PlaceText(Canvas& cv, const std::string& markup, Rect& t, bool drawArrows,
                   const Rect& kept);
    MarkupParams BaseParams() const;
    void Changed();
    // Property setters: most repaint whenever set, a few only when the value changes.
    template <typename T, typename V> void Store(T& field, V value) {
        field = value;
        Invalidate(nullptr);
    }
    template <typename T, typename V> void StoreIfChanged(T& field, V value) {
        if (field == value)
            return;
        field = value;
        Invalidate(nullptr);
    }
    void Open(const std::string& href);
    void ScrollArrows(int x, int y);

    // Hears of the end of the picture container and the image list the label names.
    class Link : public TComponent {
    public:
        explicit Link(THTMLStaticTextCore& core) : TComponent(nullptr), core_(core) {}

    protected:
        void Notification(TComponent* c, TOperation op) override { core_.Notification(c, op); }

    private:
        THTMLStaticTextCore& core_;
    };

    TComponent* sender_;
    Link link_{*this};
    TPictureContainer* container_ = nullptr;
    std::vector<std::string> html_;
    std::string joined_; // html_ as one text
    std::unique_ptr<THTMLPictureCache> cache_;
    FontCache fonts_;
    ImageList* images_ = nullptr;
    bool autoSizing_ = false;
    TAutoSizeType autoSizeType_ = asVertical;
    TColor urlColor_ = clBlue;
    bool hover_ = false;
    TBevelCut bevelInner_ = bvNone, bevelOuter_ = bvNone;
    int bevelWidth_ = 1, borderWidth_ = 0;
    TBorderStyle borderStyle_ = bsNone;
    TColor shadowColor_ = clGray;
    int shadowOffset_ = 1;
    bool ellipsis_ = false;
    TVAlignment vAlignment_ = tvaTop;
    bool miniScroll_ = false;
    int vOffset_ = 0;
    bool enableBlink_ = false;

    int updateCount_ = 0;
    bool timerRunning_ = false;
    int hovered_ = -1, lastHovered_ = -1, focused_ = -1;
    std::string lastAnchor_;
    Rect lastAnchorRect_{-1, -1, -1, -1};
    std::vector<Rect> lastAnchorBoxes_; // every line of the anchor last entered
    std::vector<Rect> hitBoxes_;        // every line of the anchor the last IsAnchor found
    std::string focusedHref_;
    int anchorCount_ = 0;
    bool blinkPhase_ = false;
    int ticks_ = 0;
    bool upArrow_ = false, downArrow_ = false;
    bool buttonHeld_ = false;
    bool clickPending_ = false; // a left press that a release inside makes a click
    TCursor cursor_ = crDefault;
};

} // namespace kes
