#pragma once
// A picture decoded by OleLoadPicture; the GDI canvas renders it through IPicture::Render.
#include "widgets/HTMLText/picture_decoder.h"

#include <windows.h>

#include <ocidl.h>
#include <olectl.h>

namespace kes {

class OlePicture : public DecodedPicture {
public:
    explicit OlePicture(IPicture* picture); // takes over the reference
    ~OlePicture() override;
    OlePicture(const OlePicture&) = delete;
    OlePicture& operator=(const OlePicture&) = delete;

    int HimetricWidth() const override;
    int HimetricHeight() const override;
    IPicture* Get() const { return picture_; }
    // Renders the whole picture stretched into the rectangle of the device context.
    void Render(HDC dc, const RECT& rect) const;

private:
    IPicture* picture_;
};

} // namespace kes
