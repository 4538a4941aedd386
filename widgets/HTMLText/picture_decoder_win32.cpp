// The platform's picture decoder (OleLoadPicture over a stream on a global memory block) and
// RCDATA lookup for the picture loaders.
#include "platform/utf_win32.h"
#include "widgets/HTMLText/PictureContainer.h"
#include "widgets/HTMLText/ole_picture_win32.h"

#include <cstring>

namespace kes {

int OlePicture::HimetricWidth() const {
    OLE_XSIZE_HIMETRIC w = 0;
    picture_->get_Width(&w);
    return static_cast<int>(w);
}

int OlePicture::HimetricHeight() const {
    OLE_YSIZE_HIMETRIC h = 0;
    picture_->get_Height(&h);
    return static_cast<int>(h);
}

void OlePicture::Render(HDC dc, const RECT& r) const {
    OLE_XSIZE_HIMETRIC w = HimetricWidth();
    OLE_YSIZE_HIMETRIC h = HimetricHeight();
    // HIMETRIC runs upwards: the source starts at the bottom edge with a negative height.
    picture_->Render(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, 0, h, w, -h, nullptr);
}

namespace {

class OleDecoder : public PictureDecoder {
public:
    std::unique_ptr<DecodedPicture> Decode(std::span<const std::uint8_t> bytes) override {
        // A zero-sized movable block has no memory behind it; keep one byte.
        SIZE_T size = bytes.empty() ? 1 : bytes.size();
        UniqueGlobal block(GlobalAlloc(GMEM_MOVEABLE, size));
        if (!block)
            throw PictureError("Could not allocate memory for image");
        if (void* p = GlobalLock(block.Get())) {
            if (!bytes.empty())
                std::memcpy(p, bytes.data(), bytes.size());
            GlobalUnlock(block.Get());
        }
        UseCom();
        ComPtr<IStream> stream;
        if (FAILED(CreateStreamOnHGlobal(block.Get(), TRUE, stream.Put())))
            throw PictureError("Could not create image stream");
        if (!stream)
            throw PictureError("Empty image stream created");
        block.Release(); // the stream frees it with itself
        ComPtr<IPicture> picture;
        HRESULT hr = OleLoadPicture(stream.Get(), static_cast<LONG>(bytes.size()), FALSE,
                                    IID_IPicture, picture.PutVoid());
        if (FAILED(hr))
            throw PictureError("Could not load image. Invalid format");
        if (!picture)
            throw PictureError("Could not load image");
        return std::make_unique<OlePicture>(std::move(picture));
    }
};

bool CopyRcData(HMODULE module, const wchar_t* name, std::vector<std::uint8_t>& out) {
    if (!module)
        module = GetModuleHandleW(nullptr);
    HRSRC res = FindResourceW(module, name, RT_RCDATA);
    if (!res)
        return false;
    HGLOBAL loaded = LoadResource(module, res);
    const void* p = loaded ? LockResource(loaded) : nullptr;
    if (!p)
        return false;
    const auto* b = static_cast<const std::uint8_t*>(p);
    out.assign(b, b + SizeofResource(module, res));
    return true;
}

} // namespace

PictureDecoder& DefaultPictureDecoder() {
    static OleDecoder decoder;
    return decoder;
}

bool FindRcData(void* module, const std::string& name, std::vector<std::uint8_t>& out) {
    std::wstring w = Widen(name);
    return CopyRcData(static_cast<HMODULE>(module), w.c_str(), out);
}

bool FindRcData(void* module, int id, std::vector<std::uint8_t>& out) {
    if (id < 0 || id > 0xFFFF)
        return false;
    return CopyRcData(static_cast<HMODULE>(module), MAKEINTRESOURCEW(id), out);
}

} // namespace kes
