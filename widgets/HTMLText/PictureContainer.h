#pragma once
// Pictures for the rich-text label: THTMLPicture (one picture's bytes, decoded on demand, with
// the frames of an animated GIF), the label's URL cache, the named-picture container and a
// small image control.
#include "toolkit/component.h"
#include "widgets/HTMLText/gif_frames.h"
#include "widgets/HTMLText/picture_decoder.h"

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kes {

class THTMLPicture {
public:
    THTMLPicture();
    ~THTMLPicture();
    THTMLPicture(const THTMLPicture&) = delete;
    THTMLPicture& operator=(const THTMLPicture&) = delete;

    // Loading. Every successful load decodes and raises OnChange; decoding failures raise
    // PictureError except where noted.
    void LoadFromStream(std::istream* stream); // nothing for no stream
    void LoadFromBytes(std::span<const std::uint8_t> bytes);
    void LoadFromFile(const std::string& name); // swallows every failure, leaves it empty
    // RCDATA resources of a module (the program's own for a null module). A missing named
    // resource does nothing; a missing numbered one raises PictureError.
    void LoadFromResourceName(void* module, const std::string& name);
    void LoadFromResourceID(void* module, int id);
    // "RES://name", "FILE://path"; any other scheme is recorded (and possibly handed to a
    // download thread that transfers nothing). Undecodable data leaves the picture empty.
    void LoadFromURL(const std::string& url);
    void Assign(const THTMLPicture* source);

    void SaveToStream(std::ostream& stream) const;
    // The form-resource writer and reader: the bytes as they are; reading raises no OnChange.
    void WriteData(std::ostream& stream) const;
    void ReadData(std::istream& stream);
    void SetWidth(int) {} // a picture's size comes from its data
    void SetHeight(int) {}

    bool GetEmpty() const { return empty_; }
    bool Empty() const { return empty_; }
    int GetWidth() const; // pixels at the picture's DPI, 0 without a decoded picture
    int GetHeight() const;
    int GetMaxWidth() const; // a GIF's screen size when set, else GetWidth
    int GetMaxHeight() const;
    bool IsGIFFile() const;
    const std::vector<std::uint8_t>& Data() const { return data_; }
    const DecodedPicture* Decoded() const { return decoded_.get(); }

    // Frames of an animated GIF, counted from 1.
    int GetFrameCount();     // -1 for data that is not a GIF
    int GetFrameTime(int n); // hundredths of a second, -1 for no such frame
    int Frame() const { return frame_; }
    void SetFrame(int n);
    void FrameNext();
    void FramePrev();
    bool Step(); // one 100 ms animation tick; true when the frame changed
    int GetFrameXPos() const { return frameX_; }
    int GetFrameYPos() const { return frameY_; }
    int GetFrameWidth() const { return frameW_; }
    int GetFrameHeight() const { return frameH_; }
    int GetScreenWidth() const { return screenW_; }
    int GetScreenHeight() const { return screenH_; }

    // Renders the current frame: stretched into rect with Stretch, else at its natural size for
    // the surface from rect's top-left. Nothing when empty or not decoded.
    void Draw(PictureSurface& canvas, const PictureRect& rect) const;
    void DrawAt(PictureSurface& canvas, int x, int y) const;
    void DrawStretched(PictureSurface& canvas, const PictureRect& rect) const;

    bool Stretch = false;
    int DPIX = kDesignPpi;
    int DPIY = kDesignPpi;
    bool LoadInBackground = true;
    const std::string& SourceURL() const { return sourceURL_; }
    const std::string& DownloadURL() const { return downloadURL_; }
    bool DownloadStarted() const { return downloadStarted_; }

    // Decoder used by this picture; the platform's unless a test sets another.
    void SetDecoder(PictureDecoder* decoder) { decoder_ = decoder; }

    std::function<void(THTMLPicture& sender)> OnChange;
    std::function<void(THTMLPicture& sender)> OnFrameChange;
    // No transfer ever takes place, so these are never raised; kept for the image control.
    std::function<void(THTMLPicture& sender, const std::string& message)> OnDownLoadError;
    std::function<void(THTMLPicture& sender)> OnDownLoadComplete;
    std::function<void(THTMLPicture& sender, bool& cancel)> OnDownLoadCancel;
    std::function<void(THTMLPicture& sender, std::uint32_t dwSize, std::uint32_t dwTotSize)>
        OnDownLoadProgress;

private:
    void SetData(std::vector<std::uint8_t> bytes);
    void ResetAnimation();
    const std::vector<GifFrameInfo>* Frames();
    void Decode();
    void Changed();

    std::vector<std::uint8_t> data_;
    bool empty_ = true;
    std::unique_ptr<DecodedPicture> decoded_;
    PictureDecoder* decoder_;
    int frame_ = 1;
    std::optional<std::vector<GifFrameInfo>> frames_; // cached markers of a GIF
    int frameX_ = 0, frameY_ = 0, frameW_ = 0, frameH_ = 0;
    int screenW_ = 0, screenH_ = 0;
    std::int64_t dueTime_ = -1;
    std::int64_t tickCounter_ = -1;
    std::string sourceURL_;
    std::string downloadURL_;
    bool downloadStarted_ = false;
};

// The pictures one label requested by URL; it owns them.
class THTMLPictureCache {
public:
    THTMLPicture* AddPicture();
    THTMLPicture* FindPicture(std::string_view url) const; // exact match of the source URL
    THTMLPicture* GetPicture(int i) const;                 // null outside the list
    void SetPicture(int i, std::unique_ptr<THTMLPicture> picture);
    int Count() const { return static_cast<int>(pictures_.size()); }
    void ClearPictures();
    bool Animate(); // steps every picture; true when any frame changed

private:
    std::vector<std::unique_ptr<THTMLPicture>> pictures_;
};

class TPictureCollection;

class TPictureItem {
public:
    explicit TPictureItem(TPictureCollection* collection = nullptr);
    void Assign(const TPictureItem& source); // Name, Tag and a copy of the picture
    void SetPicture(const THTMLPicture* picture);
    THTMLPicture& Picture() { return *picture_; }
    const THTMLPicture& Picture() const { return *picture_; }
    TPictureCollection* Collection() const { return collection_; }

    std::string Name;
    int Tag = 0;

private:
    TPictureCollection* collection_;
    std::unique_ptr<THTMLPicture> picture_;
};

class TPictureContainer;

class TPictureCollection {
public:
    explicit TPictureCollection(TPictureContainer* owner = nullptr) : owner_(owner) {}
    TPictureItem& Add();
    TPictureItem& Insert(int index); // appends, like Add
    TPictureItem* GetItem(int i) const;
    void SetItem(int i, const TPictureItem& value); // copies into the existing item
    int Count() const { return static_cast<int>(items_.size()); }
    void Clear() { items_.clear(); }
    TPictureContainer* GetOwner() const { return owner_; }
    bool Animate();

private:
    TPictureContainer* owner_;
    std::vector<std::unique_ptr<TPictureItem>> items_;
};

// A component: the labels that name it hear of its end.
class TPictureContainer : public TComponent {
public:
    explicit TPictureContainer(TComponent* owner = nullptr) : TComponent(owner), items_(this) {}

    // The picture of the first item whose upper-cased Name equals name, or null.
    THTMLPicture* FindPicture(std::string_view name) const;
    TPictureCollection& Items() { return items_; }
    const TPictureCollection& Items() const { return items_; }
    void SetItems(const TPictureCollection& items); // takes copies of the items

private:
    TPictureCollection items_;
};

enum TPicturePosition {
    bpTopLeft,
    bpTopRight,
    bpBottomLeft,
    bpBottomRight,
    bpCenter,
    bpTiled,
    bpStretched
};

// Shows one picture in a Width x Height area. It owns no window: whoever hosts it calls Paint
// with a surface whose origin is the control's top-left, and repaints on OnInvalidate.
class THTMLImage {
public:
    THTMLImage();
    THTMLPicture& HTMLPicture() { return picture_; }
    void SetHTMLPicture(const THTMLPicture* picture);
    TPicturePosition PicturePosition() const { return position_; }
    void SetPicturePosition(TPicturePosition position);
    void Loaded(int screenPpiX, int screenPpiY);
    void Paint(PictureSurface& canvas);

    int Width = 100;
    int Height = 100;
    bool Visible = true;
    std::string Hint;
    bool ShowHint = false;
    bool ParentShowHint = true;

    std::function<void(THTMLImage& sender)> OnInvalidate;
    std::function<void(THTMLImage& sender, const std::string& message)> OnDownLoadError;
    std::function<void(THTMLImage& sender)> OnDownLoadComplete;
    std::function<void(THTMLImage& sender, bool& cancel)> OnDownLoadCancel;
    std::function<void(THTMLImage& sender, std::uint32_t dwSize, std::uint32_t dwTotSize)>
        OnDownLoadProgress;

private:
    void Invalidate();
    THTMLPicture picture_;
    TPicturePosition position_ = bpTopLeft;
};

// The worker LoadFromURL starts for web URLs. It transfers nothing: it starts at once, touches
// no shared state and ends by itself.
class TDownLoadThread {
public:
    static void Start(THTMLPicture& picture);
};

// RCDATA lookup used by the picture loaders; platform code (the host has no resources).
bool FindRcData(void* module, const std::string& name, std::vector<std::uint8_t>& out);
bool FindRcData(void* module, int id, std::vector<std::uint8_t>& out);

} // namespace kes
