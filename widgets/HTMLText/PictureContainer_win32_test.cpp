// Pictures with the real platform decoder (OleLoadPicture) under Wine: GIF frames, BMP, PNG,
// "RES://" from this program's RCDATA and "FILE://" from a file.
#include "widgets/HTMLText/PictureContainer.h"

#include "platform/utf_win32.h"
#include "widgets/HTMLText/gdi_canvas_win32.h"
#include "widgets/HTMLText/testing/gif_test_data.h"
#include "widgets/HTMLText/testing/test_bitmap_win32.h"

#include <gtest/gtest.h>

#include <cctype>
#include <fstream>

namespace kes {
namespace {

using testdata::Bitmap;
using testdata::GifFrameSpec;

std::vector<std::uint8_t> ThreeFrames() {
    return testdata::MakeGif(20, 12,
                             {GifFrameSpec{0, 0, 20, 12, 10, 0}, GifFrameSpec{3, 4, 8, 6, 10, 1},
                              GifFrameSpec{5, 1, 10, 9, 10, 2}});
}

TEST(PicturesWin32, DecodesGifBmpAndPng) {
    struct Case {
        const char* what;
        std::vector<std::uint8_t> data;
        std::uint32_t rgb;
    } cases[] = {
        {"gif", testdata::MakeGif(7, 5, {GifFrameSpec{0, 0, 7, 5, 0, 2}}), 0x0000FF},
        {"bmp", testdata::MakeBmp(7, 5, 0x12, 0x80, 0xF0), 0x1280F0},
        {"png", testdata::MakePng(7, 5, 0xF0, 0x40, 0x20), 0xF04020},
    };
    for (const Case& c : cases) {
        THTMLPicture pic;
        ASSERT_NO_THROW(pic.LoadFromBytes(c.data)) << c.what;
        EXPECT_EQ(pic.GetWidth(), 7) << c.what;
        EXPECT_EQ(pic.GetHeight(), 5) << c.what;
        Bitmap bmp(20, 20);
        {
            GdiCanvas canvas(bmp.dc());
            pic.DrawAt(canvas, 2, 3);
        }
        EXPECT_EQ(bmp.Pixel(4, 5), c.rgb) << c.what;
        EXPECT_EQ(bmp.Pixel(8, 7), c.rgb) << c.what; // bottom-right pixel of the picture
        EXPECT_EQ(bmp.Pixel(9, 7), 0xFFFFFFu) << c.what;
        EXPECT_EQ(bmp.Pixel(8, 8), 0xFFFFFFu) << c.what;
    }
}

TEST(PicturesWin32, ShowsTheChosenFrameOfAnAnimation) {
    THTMLPicture pic;
    pic.LoadFromBytes(ThreeFrames());
    ASSERT_EQ(pic.GetFrameCount(), 3);
    const std::uint32_t colours[] = {0xFF0000, 0x00FF00, 0x0000FF};
    for (int frame : {2, 3, 1}) {
        pic.SetFrame(frame);
        Bitmap bmp(40, 40);
        {
            GdiCanvas canvas(bmp.dc());
            pic.DrawAt(canvas, 0, 0);
        }
        EXPECT_EQ(bmp.Pixel(0, 0), colours[frame - 1]) << frame;
    }
    pic.SetFrame(2);
    // The decoder sees frame 2 as the first image of the reduced copy: its own size.
    EXPECT_EQ(pic.GetWidth(), 8);
    EXPECT_EQ(pic.GetHeight(), 6);
    EXPECT_EQ(pic.GetMaxWidth(), 20);
    EXPECT_EQ(pic.GetFrameXPos(), 3);
}

TEST(PicturesWin32, UndecodableData) {
    THTMLPicture pic;
    std::vector<std::uint8_t> junk(64, 0x5A);
    try {
        pic.LoadFromBytes(junk);
        FAIL() << "no error";
    } catch (const PictureError& e) {
        EXPECT_STREQ(e.what(), "Could not load image. Invalid format");
    }
    std::vector<std::uint8_t> nothing;
    EXPECT_THROW(pic.LoadFromBytes(nothing), PictureError);
    EXPECT_EQ(pic.GetWidth(), 0);
}

TEST(PicturesWin32, ResourceUrls) {
    THTMLPicture pic;
    pic.LoadFromURL("res://test_logo");
    EXPECT_EQ(pic.SourceURL(), "RES://TEST_LOGO");
    ASSERT_FALSE(pic.GetEmpty());
    EXPECT_EQ(pic.GetFrameCount(), 3);
    EXPECT_EQ(pic.GetMaxWidth(), 8);

    THTMLPicture missing;
    missing.LoadFromURL("RES://NO_SUCH_PICTURE");
    EXPECT_TRUE(missing.GetEmpty());
    EXPECT_EQ(missing.SourceURL(), "RES://NO_SUCH_PICTURE");
    EXPECT_THROW(missing.LoadFromResourceID(nullptr, 4711), PictureError);

    THTMLPicture byName;
    byName.LoadFromResourceName(nullptr, "TEST_LOGO");
    EXPECT_EQ(byName.Data(), pic.Data());
}

TEST(PicturesWin32, FileUrls) {
    wchar_t dir[MAX_PATH];
    GetTempPathW(MAX_PATH, dir);
    std::wstring path = std::wstring(dir) + L"kes_pictures_file_url.png";
    auto png = testdata::MakePng(9, 4, 1, 2, 3);
    {
        std::ofstream out(path.c_str(), std::ios::binary);
        out.write(reinterpret_cast<const char*>(png.data()),
                  static_cast<std::streamsize>(png.size()));
    }
    THTMLPictureCache cache;
    THTMLPicture* pic = cache.AddPicture();
    pic->LoadInBackground = false;
    const std::string url = "file://" + Narrow(path);
    pic->LoadFromURL(url); // upper-cased: the file system ignores case
    EXPECT_FALSE(pic->GetEmpty());
    EXPECT_EQ(pic->GetWidth(), 9);
    std::string upper = url;
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(cache.FindPicture(upper), pic);
    EXPECT_EQ(cache.FindPicture(url), nullptr);
    DeleteFileW(path.c_str());

    THTMLPicture gone;
    gone.LoadFromURL(url);
    EXPECT_TRUE(gone.GetEmpty());
}

} // namespace
} // namespace kes
