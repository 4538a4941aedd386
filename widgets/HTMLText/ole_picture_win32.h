#pragma once
// A picture decoded by OleLoadPicture; the GDI canvas renders it through IPicture::Render.
#include "platform/scoped_win32.h"
#include "widgets/HTMLText/picture_decoder.h"

#include <windows.h>

#include <ocidl.h>
#include <olectl.h>

namespace kes {

class OlePicture : public DecodedPicture {
public:
    explicit OlePicture(ComPtr<IPicture> picture) : picture_(std::move(picture)) {}

    int HimetricWidth() const override;
    int HimetricHeight() const override;
    IPicture* Get() const { return picture_.Get(); }
    // Renders the whole picture stretched into the rectangle of the device context.
    void Render(HDC dc, const RECT& rect) const;

private:
    ComPtr<IPicture> picture_;
};

} // namespace kes
