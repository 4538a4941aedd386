#include "widgets/HTMLText/PictureContainer.h"

#include "widgets/HTMLText/ascii.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <istream>
#include <iterator>
#include <ostream>
#include <thread>

namespace kes {
namespace {

std::vector<std::uint8_t> ReadAll(std::istream& stream) {
    return {std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
}

} // namespace

int HimetricToPixels(int himetric, int ppi) {
    return static_cast<int>(std::lround(static_cast<double>(himetric) * ppi / kHimetricPerInch));
}

// ---- THTMLPicture

THTMLPicture::THTMLPicture() : decoder_(&DefaultPictureDecoder()) {}
THTMLPicture::~THTMLPicture() = default;

void THTMLPicture::ResetAnimation() {
    frames_.reset();
    dueTime_ = -1;
    tickCounter_ = -1;
    frame_ = 1;
}

// New bytes invalidate everything derived from the old ones, also the cached frame list: a
// stale list would cut the new data at the old frames' offsets.
void THTMLPicture::SetData(std::vector<std::uint8_t> bytes) {
    data_ = std::move(bytes);
    empty_ = false;
    decoded_.reset();
    ResetAnimation();
}

void THTMLPicture::Changed() {
    if (OnChange)
        OnChange(*this);
}

void THTMLPicture::LoadFromStream(std::istream* stream) {
    if (!stream)
        return;
    SetData(ReadAll(*stream));
    Decode();
    Changed();
}

void THTMLPicture::LoadFromBytes(std::span<const std::uint8_t> bytes) {
    SetData({bytes.begin(), bytes.end()});
    Decode();
    Changed();
}

void THTMLPicture::LoadFromFile(const std::string& name) {
    try {
        std::ifstream in(std::filesystem::path(std::u8string(name.begin(), name.end())),
                         std::ios::binary);
        if (!in)
            throw PictureError("Cannot open " + name);
        SetData(ReadAll(in));
        Decode();
        Changed();
    } catch (...) {
        empty_ = true;
        decoded_.reset();
    }
}

void THTMLPicture::LoadFromResourceName(void* module, const std::string& name) {
    std::vector<std::uint8_t> bytes;
    if (FindRcData(module, name, bytes))
        LoadFromBytes(bytes);
}

void THTMLPicture::LoadFromResourceID(void* module, int id) {
    std::vector<std::uint8_t> bytes;
    if (!FindRcData(module, id, bytes))
        throw PictureError("Resource " + std::to_string(id) + " not found");
    LoadFromBytes(bytes);
}

void THTMLPicture::LoadFromURL(const std::string& url) {
    const std::string u = UpperAscii(url);
    // The label loads pictures while it paints: a picture that cannot be read is shown as
    // nothing rather than raising out of the paint.
    auto quietly = [this](auto&& load) {
        try {
            load();
        } catch (...) {
            empty_ = true;
            decoded_.reset();
        }
    };
    if (u.starts_with("RES://")) {
        sourceURL_ = u;
        std::string rest = u.substr(6);
        if (!rest.empty())
            quietly([&] { LoadFromResourceName(nullptr, rest); });
    } else if (u.starts_with("FILE://")) {
        sourceURL_ = u;
        std::string rest = u.substr(7);
        if (!rest.empty())
            LoadFromFile(rest);
    } else if (!LoadInBackground) {
        sourceURL_ = u;
        downloadURL_ = u;
    } else if (!downloadStarted_) {
        downloadURL_ = u;
        downloadStarted_ = true;
        TDownLoadThread::Start(*this);
    }
}

void THTMLPicture::Assign(const THTMLPicture* source) {
    empty_ = true;
    decoded_.reset();
    ResetAnimation(); // Frame 1 again, without decoding the bytes about to be replaced
    // An empty source gives an empty copy; decoding its nothing would only raise.
    if (source && !source->empty_) {
        SetData(source->data_);
        Decode();
        Changed();
    } else {
        data_.clear();
    }
}

void THTMLPicture::SaveToStream(std::ostream& stream) const {
    stream.write(reinterpret_cast<const char*>(data_.data()),
                 static_cast<std::streamsize>(data_.size()));
}

void THTMLPicture::WriteData(std::ostream& stream) const {
    SaveToStream(stream);
}

void THTMLPicture::ReadData(std::istream& stream) {
    SetData(ReadAll(stream));
    Decode();
}

int THTMLPicture::GetWidth() const {
    return decoded_ ? HimetricToPixels(decoded_->HimetricWidth(), DPIX) : 0;
}

int THTMLPicture::GetHeight() const {
    return decoded_ ? HimetricToPixels(decoded_->HimetricHeight(), DPIY) : 0;
}

int THTMLPicture::GetMaxWidth() const {
    if (!decoded_)
        return 0;
    return screenW_ != 0 ? screenW_ : GetWidth();
}

int THTMLPicture::GetMaxHeight() const {
    if (!decoded_)
        return 0;
    return screenH_ != 0 ? screenH_ : GetHeight();
}

bool THTMLPicture::IsGIFFile() const {
    return IsGifData(data_);
}

const std::vector<GifFrameInfo>* THTMLPicture::Frames() {
    if (!IsGIFFile())
        return nullptr;
    if (!frames_)
        frames_ = ScanGifFrames(data_);
    return &*frames_;
}

int THTMLPicture::GetFrameCount() {
    const auto* frames = Frames();
    return frames ? static_cast<int>(frames->size()) : -1;
}

int THTMLPicture::GetFrameTime(int n) {
    const auto* frames = Frames();
    if (!frames || n < 1 || n > static_cast<int>(frames->size()))
        return -1;
    return (*frames)[n - 1].delay;
}

void THTMLPicture::Decode() {
    decoded_.reset();
    frameX_ = frameY_ = frameW_ = frameH_ = 0;
    screenW_ = screenH_ = 0;
    const auto* frames = Frames();
    if (frames && !frames->empty()) {
        screenW_ = GifScreenWidth(data_);
        screenH_ = GifScreenHeight(data_);
        if (frame_ >= 1 && frame_ <= static_cast<int>(frames->size())) {
            const GifFrameInfo& f = (*frames)[frame_ - 1];
            frameX_ = f.left;
            frameY_ = f.top;
            frameW_ = f.width;
            frameH_ = f.height;
        }
        std::vector<std::uint8_t> reduced = ReducedGifCopy(data_, *frames, frame_);
        decoded_ = decoder_->Decode(reduced);
    } else {
        decoded_ = decoder_->Decode(data_);
    }
}

void THTMLPicture::SetFrame(int n) {
    frame_ = n;
    if (!data_.empty()) {
        Decode();
        if (OnFrameChange)
            OnFrameChange(*this);
    }
}

void THTMLPicture::FrameNext() {
    int count = GetFrameCount();
    SetFrame(frame_ < count ? frame_ + 1 : 1);
}

void THTMLPicture::FramePrev() {
    int count = GetFrameCount();
    SetFrame(frame_ > 1 ? frame_ - 1 : count);
}

bool THTMLPicture::Step() {
    if (empty_ || GetFrameCount() < 2)
        return false;
    if (dueTime_ == -1)
        dueTime_ = GetFrameTime(frame_);
    bool changed = false;
    if (tickCounter_ * 10 >= dueTime_) {
        // A frame that cannot be decoded (a cut-off animation) is shown as nothing; raising
        // here would come out of the label's timer on every tick.
        try {
            FrameNext();
        } catch (const PictureError&) {
            decoded_.reset();
        }
        dueTime_ += GetFrameTime(frame_);
        changed = true;
    }
    ++tickCounter_;
    return changed;
}

void THTMLPicture::Draw(PictureSurface& canvas, const PictureRect& rect) const {
    if (Stretch)
        DrawStretched(canvas, rect);
    else
        DrawAt(canvas, rect.left, rect.top);
}

void THTMLPicture::DrawAt(PictureSurface& canvas, int x, int y) const {
    if (empty_ || !decoded_)
        return;
    int w = HimetricToPixels(decoded_->HimetricWidth(), canvas.PixelsPerInchX());
    int h = HimetricToPixels(decoded_->HimetricHeight(), canvas.PixelsPerInchY());
    canvas.RenderPicture(*decoded_, {x, y, x + w, y + h});
}

void THTMLPicture::DrawStretched(PictureSurface& canvas, const PictureRect& rect) const {
    if (empty_ || !decoded_)
        return;
    canvas.RenderPicture(*decoded_, rect);
}

// ---- THTMLPictureCache

THTMLPicture* THTMLPictureCache::AddPicture() {
    pictures_.push_back(std::make_unique<THTMLPicture>());
    return pictures_.back().get();
}

THTMLPicture* THTMLPictureCache::FindPicture(std::string_view url) const {
    for (const auto& p : pictures_)
        if (p && p->SourceURL() == url)
            return p.get();
    return nullptr;
}

THTMLPicture* THTMLPictureCache::GetPicture(int i) const {
    if (i < 0 || i >= Count())
        return nullptr;
    return pictures_[i].get();
}

void THTMLPictureCache::SetPicture(int i, std::unique_ptr<THTMLPicture> picture) {
    if (i >= 0 && i < Count())
        pictures_[i] = std::move(picture);
}

void THTMLPictureCache::ClearPictures() {
    pictures_.clear();
}

bool THTMLPictureCache::Animate() {
    bool any = false;
    for (auto& p : pictures_)
        if (p && p->Step())
            any = true;
    return any;
}

// ---- TPictureItem, TPictureCollection, TPictureContainer

TPictureItem::TPictureItem(TPictureCollection* collection)
    : collection_(collection), picture_(std::make_unique<THTMLPicture>()) {}

void TPictureItem::Assign(const TPictureItem& source) {
    if (&source == this)
        return;
    Name = source.Name;
    Tag = source.Tag;
    SetPicture(source.picture_.get());
}

void TPictureItem::SetPicture(const THTMLPicture* picture) {
    if (picture != picture_.get())
        picture_->Assign(picture);
}

TPictureItem& TPictureCollection::Add() {
    items_.push_back(std::make_unique<TPictureItem>(this));
    return *items_.back();
}

TPictureItem& TPictureCollection::Insert(int) {
    return Add();
}

TPictureItem* TPictureCollection::GetItem(int i) const {
    if (i < 0 || i >= Count())
        return nullptr;
    return items_[i].get();
}

void TPictureCollection::SetItem(int i, const TPictureItem& value) {
    if (TPictureItem* item = GetItem(i))
        item->Assign(value);
}

bool TPictureCollection::Animate() {
    bool any = false;
    for (auto& item : items_)
        if (item->Picture().Step())
            any = true;
    return any;
}

THTMLPicture* TPictureContainer::FindPicture(std::string_view name) const {
    for (int i = 0; i < items_.Count(); ++i) {
        TPictureItem* item = items_.GetItem(i);
        if (UpperAscii(item->Name) == name)
            return &item->Picture();
    }
    return nullptr;
}

void TPictureContainer::SetItems(const TPictureCollection& items) {
    if (&items == &items_)
        return;
    items_.Clear();
    for (int i = 0; i < items.Count(); ++i)
        items_.Add().Assign(*items.GetItem(i));
}

// ---- THTMLImage

THTMLImage::THTMLImage() {
    picture_.OnChange = [this](THTMLPicture&) { Invalidate(); };
    picture_.OnDownLoadError = [this](THTMLPicture&, const std::string& m) {
        if (OnDownLoadError)
            OnDownLoadError(*this, m);
    };
    picture_.OnDownLoadComplete = [this](THTMLPicture&) {
        if (OnDownLoadComplete)
            OnDownLoadComplete(*this);
    };
    picture_.OnDownLoadCancel = [this](THTMLPicture&, bool& cancel) {
        if (OnDownLoadCancel)
            OnDownLoadCancel(*this, cancel);
    };
    picture_.OnDownLoadProgress = [this](THTMLPicture&, std::uint32_t size, std::uint32_t total) {
        if (OnDownLoadProgress)
            OnDownLoadProgress(*this, size, total);
    };
}

void THTMLImage::Invalidate() {
    if (OnInvalidate)
        OnInvalidate(*this);
}

void THTMLImage::SetHTMLPicture(const THTMLPicture* picture) {
    picture_.Assign(picture);
    Invalidate();
}

void THTMLImage::SetPicturePosition(TPicturePosition position) {
    if (position == position_)
        return;
    position_ = position;
    Invalidate();
}

void THTMLImage::Loaded(int screenPpiX, int screenPpiY) {
    picture_.DPIX = screenPpiX;
    picture_.DPIY = screenPpiY;
}

void THTMLImage::Paint(PictureSurface& canvas) {
    if (picture_.GetEmpty())
        return;
    const int pw = picture_.GetWidth();
    const int ph = picture_.GetHeight();
    const int dx = std::max(0, Width - pw);
    const int dy = std::max(0, Height - ph);
    switch (position_) {
    case bpTopLeft:
        picture_.DrawAt(canvas, 0, 0);
        break;
    case bpTopRight:
        picture_.DrawAt(canvas, dx, 0);
        break;
    case bpBottomLeft:
        picture_.DrawAt(canvas, 0, dy);
        break;
    case bpBottomRight:
        picture_.DrawAt(canvas, dx, dy);
        break;
    case bpCenter:
        picture_.DrawAt(canvas, dx / 2, dy / 2);
        break;
    case bpTiled:
        if (pw <= 0 || ph <= 0)
            break;
        for (int y = 0; y < Height; y += ph)
            for (int x = 0; x < Width; x += pw)
                picture_.DrawAt(canvas, x, y);
        break;
    case bpStretched:
        picture_.DrawStretched(canvas, {0, 0, Width, Height});
        break;
    }
}

// ---- TDownLoadThread

void TDownLoadThread::Start(THTMLPicture&) {
    // Nothing is transferred; the thread holds no reference to the picture, which may be gone
    // before it runs.
    std::thread([] {}).detach();
}

} // namespace kes
