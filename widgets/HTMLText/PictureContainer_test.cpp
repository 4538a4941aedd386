// Host tests of the picture classes. Decoding uses the host's size-only fake decoder (the real
// one is OleLoadPicture, tested under Wine in PictureContainer_win32_test.cpp).
#include "widgets/HTMLText/PictureContainer.h"

#include "widgets/HTMLText/testing/gif_test_data.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace kes {
namespace {

using testdata::GifFrameSpec;
using testdata::MakeGif;

// Three frames: frame 2 is offset and smaller, so its bookkeeping differs from frame 1's.
std::vector<std::uint8_t> ThreeFrames(std::uint16_t delay = 10) {
    return MakeGif(20, 12,
                   {GifFrameSpec{0, 0, 20, 12, delay, 0}, GifFrameSpec{3, 4, 8, 6, delay, 1},
                    GifFrameSpec{5, 1, 10, 9, delay, 2}});
}

class RecordingSurface : public PictureSurface {
public:
    int ppiX = 96, ppiY = 96;
    std::vector<PictureRect> rendered;
    int PixelsPerInchX() const override { return ppiX; }
    int PixelsPerInchY() const override { return ppiY; }
    void RenderPicture(const DecodedPicture&, const PictureRect& r) override {
        rendered.push_back(r);
    }
};

// Passes the bytes on to the default decoder and keeps what it was given.
class SpyDecoder : public PictureDecoder {
public:
    std::vector<std::vector<std::uint8_t>> seen;
    std::unique_ptr<DecodedPicture> Decode(std::span<const std::uint8_t> b) override {
        seen.emplace_back(b.begin(), b.end());
        return DefaultPictureDecoder().Decode(b);
    }
};

TEST(GifFrames, IsGifData) {
    struct Case {
        std::string bytes;
        bool gif;
    } cases[] = {{"GIF89a", true}, {"GIF87a", true},  {"GIF8x", true},  {"GIF8", false},
                 {"", false},      {"GIF9a1", false}, {"gif89a", false}};
    for (const Case& c : cases) {
        std::vector<std::uint8_t> d(c.bytes.begin(), c.bytes.end());
        EXPECT_EQ(IsGifData(d), c.gif) << c.bytes;
    }
}

TEST(GifFrames, ScanFindsEveryFrameWithItsDescriptorAndDelay) {
    auto gif = MakeGif(20, 12,
                       {GifFrameSpec{0, 0, 20, 12, 7, 0}, GifFrameSpec{3, 4, 8, 6, 300, 1},
                        GifFrameSpec{258, 1, 10, 9, 0, 2}});
    auto frames = ScanGifFrames(gif);
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(frames[0].marker, 25u); // 13-byte header + 12-byte palette
    const std::uint16_t want[3][5] = {{0, 0, 20, 12, 7}, {3, 4, 8, 6, 300}, {258, 1, 10, 9, 0}};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(gif[frames[i].marker], 0x21);
        EXPECT_EQ(frames[i].left, want[i][0]) << i;
        EXPECT_EQ(frames[i].top, want[i][1]) << i;
        EXPECT_EQ(frames[i].width, want[i][2]) << i;
        EXPECT_EQ(frames[i].height, want[i][3]) << i;
        EXPECT_EQ(frames[i].delay, want[i][4]) << i;
    }
    EXPECT_EQ(GifScreenWidth(gif), 20);
    EXPECT_EQ(GifScreenHeight(gif), 12);
}

TEST(GifFrames, MarkerAtTheEndOfTheData) {
    // 0x21 F9 04, five bytes, 0x2C: a marker only when at least one byte follows the 0x2C.
    std::vector<std::uint8_t> d{'G',  'I', 'F', '8', '9', 'a', 0x21, 0xF9,
                                0x04, 0,   5,   0,   0,   0,   0x2C};
    EXPECT_TRUE(ScanGifFrames(d).empty());
    d.push_back(0x07);
    auto frames = ScanGifFrames(d);
    ASSERT_EQ(frames.size(), 1u);
    // The descriptor is cut off: what is there is read, the rest is 0.
    EXPECT_EQ(frames[0].left, 7);
    EXPECT_EQ(frames[0].top, 0);
    EXPECT_EQ(frames[0].width, 0);
    EXPECT_EQ(frames[0].delay, 5);
    // The header fields too.
    std::vector<std::uint8_t> shortData{'G', 'I', 'F', '8', '9', 'a', 3};
    EXPECT_EQ(GifScreenWidth(shortData), 3);
    EXPECT_EQ(GifScreenHeight(shortData), 0);
}

TEST(GifFrames, ReducedCopyDropsTheFramesBeforeTheChosenOne) {
    auto gif = ThreeFrames();
    auto frames = ScanGifFrames(gif);
    const std::size_t head = frames[0].marker;
    auto second = ReducedGifCopy(gif, frames, 2);
    ASSERT_EQ(second.size(), head + gif.size() - frames[1].marker);
    EXPECT_TRUE(std::equal(gif.begin(), gif.begin() + head, second.begin()));
    EXPECT_TRUE(std::equal(gif.begin() + frames[1].marker, gif.end(), second.begin() + head));
    EXPECT_EQ(ReducedGifCopy(gif, frames, 1), gif);
    for (int missing : {0, 4, -1})
        EXPECT_EQ(ReducedGifCopy(gif, frames, missing).size(), head) << missing;
    std::vector<std::uint8_t> plain{1, 2, 3};
    EXPECT_EQ(ReducedGifCopy(plain, {}, 2), plain);
}

TEST(HTMLPicture, ThreeFrameGif) {
    SpyDecoder spy;
    THTMLPicture pic;
    pic.SetDecoder(&spy);
    int frameChanges = 0;
    pic.OnFrameChange = [&](THTMLPicture&) { ++frameChanges; };
    auto gif = ThreeFrames();
    pic.LoadFromBytes(gif);

    EXPECT_FALSE(pic.GetEmpty());
    EXPECT_TRUE(pic.IsGIFFile());
    EXPECT_EQ(pic.GetFrameCount(), 3);
    EXPECT_EQ(pic.Frame(), 1);
    EXPECT_EQ(pic.GetWidth(), 20);
    EXPECT_EQ(pic.GetMaxWidth(), 20);
    EXPECT_EQ(pic.GetMaxHeight(), 12);

    pic.SetFrame(2);
    EXPECT_EQ(frameChanges, 1);
    EXPECT_EQ(pic.GetFrameXPos(), 3);
    EXPECT_EQ(pic.GetFrameYPos(), 4);
    EXPECT_EQ(pic.GetFrameWidth(), 8);
    EXPECT_EQ(pic.GetFrameHeight(), 6);
    EXPECT_EQ(pic.GetScreenWidth(), 20);
    EXPECT_EQ(pic.GetScreenHeight(), 12);
    // The decoder got the reduced copy, whose first image is frame 2.
    auto frames = ScanGifFrames(gif);
    EXPECT_EQ(spy.seen.back(), ReducedGifCopy(gif, frames, 2));
    EXPECT_EQ(pic.GetWidth(), 8);
    EXPECT_EQ(pic.GetHeight(), 6);
    EXPECT_EQ(pic.GetMaxWidth(), 20); // the screen, not the frame

    pic.SetFrame(3);
    pic.FrameNext();
    EXPECT_EQ(pic.Frame(), 1);
    EXPECT_EQ(pic.GetFrameXPos(), 0);
    pic.FramePrev();
    EXPECT_EQ(pic.Frame(), 3);
    EXPECT_EQ(pic.GetFrameXPos(), 5);
    pic.FramePrev();
    EXPECT_EQ(pic.Frame(), 2);
    EXPECT_EQ(frameChanges, 5);

    EXPECT_EQ(pic.GetFrameTime(1), 10);
    EXPECT_EQ(pic.GetFrameTime(0), -1);
    EXPECT_EQ(pic.GetFrameTime(4), -1);
}

TEST(HTMLPicture, StepsThroughFramesByTheirDelays) {
    THTMLPicture pic;
    pic.LoadFromBytes(ThreeFrames(10));
    std::vector<int> shown;
    std::vector<bool> changed;
    for (int tick = 0; tick < 8; ++tick) {
        changed.push_back(pic.Step());
        shown.push_back(pic.Frame());
    }
    // Frame 1 is shown for three ticks (before the first step and after two), then one frame
    // per tick.
    EXPECT_EQ(shown, (std::vector<int>{1, 1, 2, 3, 1, 2, 3, 1}));
    EXPECT_EQ(changed, (std::vector<bool>{false, false, true, true, true, true, true, true}));
}

TEST(HTMLPicture, StepFollowsUnequalDelays) {
    THTMLPicture pic;
    pic.LoadFromBytes(
        MakeGif(4, 4, {GifFrameSpec{0, 0, 4, 4, 30, 0}, GifFrameSpec{0, 0, 4, 4, 0, 1}}));
    std::vector<int> shown;
    for (int tick = 0; tick < 8; ++tick) {
        pic.Step();
        shown.push_back(pic.Frame());
    }
    // Frame 1 is due off at 30 (tick counter 3), frame 2 with delay 0 at once, frame 1 again
    // after 30 more.
    EXPECT_EQ(shown, (std::vector<int>{1, 1, 1, 1, 2, 1, 1, 2}));
}

TEST(HTMLPicture, PicturesThatDoNotAnimate) {
    struct Case {
        const char* what;
        std::vector<std::uint8_t> data;
    } cases[] = {
        {"png", testdata::MakePng(7, 5, 1, 2, 3)},
        {"bmp", testdata::MakeBmp(7, 5, 1, 2, 3)},
        {"one-frame gif", MakeGif(7, 5, {GifFrameSpec{0, 0, 7, 5, 10, 0}})},
    };
    for (auto& c : cases) {
        THTMLPicture pic;
        pic.LoadFromBytes(c.data);
        EXPECT_EQ(pic.GetWidth(), 7) << c.what;
        EXPECT_EQ(pic.GetHeight(), 5) << c.what;
        EXPECT_EQ(pic.GetMaxWidth(), pic.GetWidth()) << c.what;
        EXPECT_EQ(pic.GetMaxHeight(), pic.GetHeight()) << c.what;
        for (int i = 0; i < 5; ++i)
            EXPECT_FALSE(pic.Step()) << c.what;
        EXPECT_EQ(pic.Frame(), 1) << c.what;
    }
    THTMLPicture png;
    png.LoadFromBytes(cases[0].data);
    EXPECT_EQ(png.GetFrameCount(), -1);
    EXPECT_EQ(png.GetFrameTime(1), -1);
    EXPECT_EQ(png.GetScreenWidth(), 0);
    // Sizes follow the picture's resolution: 7 px at 96 DPI are 9 px at 120.
    png.DPIX = png.DPIY = 120;
    EXPECT_EQ(png.GetWidth(), 9);
    EXPECT_EQ(png.GetHeight(), 6);
    THTMLPicture empty;
    EXPECT_FALSE(empty.Step());
    EXPECT_EQ(empty.GetWidth(), 0);
    EXPECT_EQ(empty.GetMaxWidth(), 0);
    EXPECT_EQ(empty.GetFrameCount(), -1);
}

TEST(HTMLPicture, NewDataForgetsTheFramesOfTheOld) {
    THTMLPicture pic;
    pic.LoadFromBytes(ThreeFrames());
    pic.SetFrame(3);
    ASSERT_EQ(pic.GetFrameCount(), 3);
    pic.LoadFromBytes(
        MakeGif(6, 6, {GifFrameSpec{0, 0, 6, 6, 5, 0}, GifFrameSpec{1, 2, 3, 4, 5, 1}}));
    EXPECT_EQ(pic.GetFrameCount(), 2);
    EXPECT_EQ(pic.Frame(), 1);
    EXPECT_EQ(pic.GetWidth(), 6);
    pic.SetFrame(2);
    EXPECT_EQ(pic.GetFrameYPos(), 2);
}

TEST(HTMLPicture, UndecodableData) {
    THTMLPicture pic;
    std::vector<std::uint8_t> junk{'j', 'u', 'n', 'k', '!'};
    try {
        pic.LoadFromBytes(junk);
        FAIL() << "no error";
    } catch (const PictureError& e) {
        EXPECT_STREQ(e.what(), "Could not load image. Invalid format");
    }
    EXPECT_EQ(pic.GetWidth(), 0);

    // Header sizes whose HIMETRIC length does not fit an int (the first found by the fuzzer:
    // a "BM" header 170655744 pixels high) are rejected, not wrapped around.
    const std::vector<std::uint8_t> tall{
        0x42, 0x4D, 0x46, 0x38, 0x61, 0x08, 0x00, 0xFF, 0x06, 0x39, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x2C, 0x0A,
        0x04, 0x01, 0x08, 0x01, 0x01, 0x00, 0x60, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x00, 0x00, 0x2C, 0x98, 0x00, 0x03, 0x00, 0x00, 0x00, 0x3B};
    EXPECT_THROW(pic.LoadFromBytes(tall), PictureError);
    auto bmp = testdata::MakeBmp(7, 5, 0, 0, 0);
    auto setHeight = [&](std::uint32_t h) {
        for (int i = 0; i < 4; ++i)
            bmp[22 + i] = static_cast<std::uint8_t>(h >> (8 * i));
    };
    setHeight(0x80000000u); // the most negative height, whose magnitude is no int either
    EXPECT_THROW(pic.LoadFromBytes(bmp), PictureError);
    setHeight(static_cast<std::uint32_t>(-5)); // top-down
    ASSERT_NO_THROW(pic.LoadFromBytes(bmp));
    EXPECT_EQ(pic.GetHeight(), 5);
    setHeight(81164736); // the tallest that fits: 81164736 * 2540 / 96 < 2^31 - 1
    ASSERT_NO_THROW(pic.LoadFromBytes(bmp));
    EXPECT_EQ(pic.GetHeight(), 81164736);
    setHeight(81164737);
    EXPECT_THROW(pic.LoadFromBytes(bmp), PictureError);

    // A frame cut off in the middle: stepping onto it shows nothing and raises nothing.
    auto gif = ThreeFrames();
    auto frames = ScanGifFrames(gif);
    gif.resize(frames[2].marker + 12);
    THTMLPicture cut;
    cut.LoadFromBytes(gif);
    ASSERT_EQ(cut.GetFrameCount(), 3);
    int steps = 0;
    while (cut.Frame() != 3 && steps < 10) {
        EXPECT_NO_THROW(cut.Step());
        ++steps;
    }
    EXPECT_EQ(cut.Frame(), 3);
    EXPECT_EQ(cut.GetWidth(), 0);
    EXPECT_THROW(cut.SetFrame(3), PictureError);
}

TEST(HTMLPicture, LoadFromFileAndStreams) {
    auto path = std::filesystem::temp_directory_path() / "kes_pictures_test.gif";
    auto gif = ThreeFrames();
    {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(gif.data()),
                  static_cast<std::streamsize>(gif.size()));
    }
    THTMLPicture pic;
    int changes = 0;
    pic.OnChange = [&](THTMLPicture&) { ++changes; };
    pic.LoadFromFile(path.string());
    EXPECT_FALSE(pic.GetEmpty());
    EXPECT_EQ(pic.Data(), gif);
    EXPECT_EQ(changes, 1);

    pic.LoadFromFile((path.string() + ".missing"));
    EXPECT_TRUE(pic.GetEmpty());
    EXPECT_EQ(pic.GetWidth(), 0);

    {
        std::ofstream out(path, std::ios::binary);
        out << "not a picture";
    }
    pic.LoadFromFile(path.string());
    EXPECT_TRUE(pic.GetEmpty());
    std::filesystem::remove(path);

    std::stringstream in(std::string(gif.begin(), gif.end()));
    pic.LoadFromStream(&in);
    EXPECT_FALSE(pic.GetEmpty());
    pic.LoadFromStream(nullptr); // nothing happens
    EXPECT_EQ(pic.Data(), gif);
    std::ostringstream saved;
    pic.SaveToStream(saved);
    EXPECT_EQ(saved.str(), std::string(gif.begin(), gif.end()));

    THTMLPicture read;
    read.OnChange = [&](THTMLPicture&) { ++changes; };
    std::istringstream form(saved.str());
    const int before = changes;
    read.ReadData(form);
    EXPECT_EQ(read.GetFrameCount(), 3);
    EXPECT_EQ(changes, before);
}

TEST(HTMLPicture, WebUrlsLoadNothing) {
    THTMLPicture quiet;
    quiet.LoadInBackground = false;
    quiet.LoadFromURL("http://example.invalid/a.gif");
    EXPECT_TRUE(quiet.GetEmpty());
    EXPECT_EQ(quiet.SourceURL(), "HTTP://EXAMPLE.INVALID/A.GIF");
    EXPECT_EQ(quiet.DownloadURL(), "HTTP://EXAMPLE.INVALID/A.GIF");
    EXPECT_FALSE(quiet.DownloadStarted());

    THTMLPicture background;
    background.LoadFromURL("http://x/1.gif");
    EXPECT_TRUE(background.DownloadStarted());
    EXPECT_EQ(background.DownloadURL(), "HTTP://X/1.GIF");
    EXPECT_EQ(background.SourceURL(), "");
    background.LoadFromURL("http://x/2.gif"); // a download was started already
    EXPECT_EQ(background.DownloadURL(), "HTTP://X/1.GIF");
    EXPECT_TRUE(background.GetEmpty());

    THTMLPicture res; // the host has no resources
    res.LoadFromURL("res://logo");
    EXPECT_EQ(res.SourceURL(), "RES://LOGO");
    EXPECT_TRUE(res.GetEmpty());
    EXPECT_THROW(res.LoadFromResourceID(nullptr, 7), PictureError);
}

TEST(HTMLPicture, DrawAtNaturalSizeOrStretched) {
    THTMLPicture pic;
    RecordingSurface surface;
    pic.Draw(surface, {1, 2, 3, 4});
    EXPECT_TRUE(surface.rendered.empty());

    pic.LoadFromBytes(testdata::MakePng(10, 20, 0, 0, 0));
    surface.ppiX = 192;
    surface.ppiY = 144;
    pic.Draw(surface, {5, 6, 7, 8});
    pic.Stretch = true;
    pic.Draw(surface, {5, 6, 7, 8});
    pic.DrawAt(surface, 1, 1);
    ASSERT_EQ(surface.rendered.size(), 3u);
    EXPECT_EQ(surface.rendered[0], (PictureRect{5, 6, 25, 36})); // the surface's resolution
    EXPECT_EQ(surface.rendered[1], (PictureRect{5, 6, 7, 8}));
    EXPECT_EQ(surface.rendered[2], (PictureRect{1, 1, 21, 31}));
}

TEST(HTMLPicture, AssignCopiesAndResetsAnimation) {
    THTMLPicture a, b;
    a.LoadFromBytes(ThreeFrames());
    b.LoadFromBytes(ThreeFrames());
    for (int i = 0; i < 4; ++i)
        b.Step();
    ASSERT_NE(b.Frame(), 1);
    b.Assign(&a);
    EXPECT_EQ(b.Frame(), 1);
    EXPECT_EQ(b.Data(), a.Data());
    EXPECT_FALSE(b.Step()); // a fresh animation: frame 1 for three ticks
    b.Assign(nullptr);
    EXPECT_TRUE(b.GetEmpty());
    EXPECT_TRUE(b.Data().empty());
}

TEST(PictureCache, FindsByExactUrlAndAnimatesAll) {
    THTMLPictureCache cache;
    THTMLPicture* web = cache.AddPicture();
    web->LoadInBackground = false;
    web->LoadFromURL("http://a/b.gif");
    EXPECT_EQ(cache.FindPicture("HTTP://A/B.GIF"), web);
    EXPECT_EQ(cache.FindPicture("http://a/b.gif"), nullptr);

    THTMLPicture* one = cache.AddPicture();
    THTMLPicture* two = cache.AddPicture();
    one->LoadFromBytes(ThreeFrames(10));
    two->LoadFromBytes(ThreeFrames(20));
    std::vector<bool> any;
    for (int i = 0; i < 4; ++i)
        any.push_back(cache.Animate());
    EXPECT_EQ(any, (std::vector<bool>{false, false, true, true}));
    EXPECT_EQ(one->Frame(), 3);
    EXPECT_EQ(two->Frame(), 2); // every picture stepped, not only up to the first change

    EXPECT_EQ(cache.GetPicture(1), one);
    EXPECT_EQ(cache.GetPicture(3), nullptr);
    EXPECT_EQ(cache.GetPicture(-1), nullptr);
    cache.ClearPictures();
    EXPECT_EQ(cache.Count(), 0);
}

TEST(PictureContainer, FindsItemsByUpperCaseName) {
    TPictureContainer container;
    TPictureItem& logo = container.Items().Add();
    logo.Name = "MyLogo";
    logo.Picture().LoadFromBytes(testdata::MakePng(3, 3, 0, 0, 0));
    TPictureItem& other = container.Items().Insert(0);
    other.Name = "MYLOGO"; // the first match wins
    EXPECT_EQ(container.Items().GetItem(1), &other);

    EXPECT_EQ(container.FindPicture("MYLOGO"), &logo.Picture());
    EXPECT_EQ(container.FindPicture("MyLogo"), nullptr);
    EXPECT_EQ(container.FindPicture("LOGO"), nullptr);
    EXPECT_EQ(container.Items().GetOwner(), &container);

    TPictureContainer copy;
    copy.SetItems(container.Items());
    ASSERT_EQ(copy.Items().Count(), 2);
    EXPECT_NE(copy.FindPicture("MYLOGO"), &logo.Picture());
    EXPECT_EQ(copy.FindPicture("MYLOGO")->Data(), logo.Picture().Data());
    EXPECT_EQ(copy.Items().GetItem(0)->Collection(), &copy.Items());
}

TEST(HTMLImage, PaintPlacesThePicture) {
    struct Case {
        TPicturePosition pos;
        std::vector<PictureRect> want;
    } cases[] = {
        {bpTopLeft, {{0, 0, 30, 20}}},      {bpTopRight, {{70, 0, 100, 20}}},
        {bpBottomLeft, {{0, 80, 30, 100}}}, {bpBottomRight, {{70, 80, 100, 100}}},
        {bpCenter, {{35, 40, 65, 60}}},     {bpStretched, {{0, 0, 100, 100}}},
    };
    for (const Case& c : cases) {
        THTMLImage image;
        image.HTMLPicture().LoadFromBytes(testdata::MakeBmp(30, 20, 0, 0, 0));
        image.SetPicturePosition(c.pos);
        RecordingSurface s;
        image.Paint(s);
        EXPECT_EQ(s.rendered, c.want) << c.pos;
    }
    THTMLImage tiled;
    tiled.Width = 70;
    tiled.Height = 30;
    tiled.HTMLPicture().LoadFromBytes(testdata::MakeBmp(30, 20, 0, 0, 0));
    tiled.SetPicturePosition(bpTiled);
    RecordingSurface s;
    tiled.Paint(s);
    ASSERT_EQ(s.rendered.size(), 6u); // 3 across, 2 down
    EXPECT_EQ(s.rendered[5], (PictureRect{60, 20, 90, 40}));

    // A picture larger than the control is not moved off to the left or top.
    THTMLImage small;
    small.Width = small.Height = 10;
    small.HTMLPicture().LoadFromBytes(testdata::MakeBmp(30, 20, 0, 0, 0));
    small.SetPicturePosition(bpBottomRight);
    RecordingSurface s2;
    small.Paint(s2);
    EXPECT_EQ(s2.rendered, (std::vector<PictureRect>{{0, 0, 30, 20}}));
}

TEST(HTMLImage, RepaintsOnChange) {
    THTMLImage image;
    int repaints = 0;
    image.OnInvalidate = [&](THTMLImage&) { ++repaints; };
    image.SetPicturePosition(bpTopLeft); // unchanged
    EXPECT_EQ(repaints, 0);
    image.SetPicturePosition(bpCenter);
    EXPECT_EQ(repaints, 1);
    image.HTMLPicture().LoadFromBytes(testdata::MakePng(2, 2, 0, 0, 0));
    EXPECT_EQ(repaints, 2);
    image.Loaded(120, 144);
    EXPECT_EQ(image.HTMLPicture().DPIX, 120);
    EXPECT_EQ(image.HTMLPicture().GetHeight(), 3);
}

} // namespace
} // namespace kes
