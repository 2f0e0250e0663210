// The Win32 Channel window: one at a time, and its content painted with GDI
// through the timeline's canvas interface.
#include "app/win32/ChannelWindowWin32.h"

#include "app/model/ChannelTimeline.h"

#include <gtest/gtest.h>

namespace {

app::TChannelPicture Picture() {
    app::TChannelPicture picture;
    picture.Status = "connected to agw://127.0.0.1:8000";
    picture.MeasuredRadius = "Measured ALOHA radius: 11 km";
    picture.EstimatedRadius = "Estimated ALOHA radius: 48 km";
    picture.Figures = {"Frames heard: 6 of 1800 in 30 minutes"};
    picture.Listed = {{"N0ABC", 4, 2, 1}};
    picture.Timeline.airtimePerMinute[29] = 30.0;
    app::TChannelTimeline::TTalker talker{"N0ABC", 3, {}};
    for (double at : {100.0, 900.0, 1700.0})
        talker.transmissions.emplace_back(at, aprs::EFrameKind::Weather);
    picture.Timeline.talkers.push_back(talker);
    return picture;
}

} // namespace

TEST(ChannelWindowWin32, PaintsTheTimelineWithGdi) {
    const int width = 640, height = 480;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HDC dc = ::CreateCompatibleDC(nullptr);
    HBITMAP bitmap = ::CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_TRUE(bitmap && bits);
    HGDIOBJ old = ::SelectObject(dc, bitmap);
    app::PaintChannelWindow(dc, width, height, Picture());
    ::GdiFlush();
    const auto* pixels = static_cast<const std::uint32_t*>(bits);
    const app::TCanvasColour weather = app::FrameKindColour(aprs::EFrameKind::Weather);
    const std::uint32_t wanted = (weather.red << 16) | (weather.green << 8) | weather.blue;
    int marked = 0, inked = 0;
    for (int i = 0; i < width * height; ++i) {
        marked += (pixels[i] & 0xFFFFFF) == wanted ? 1 : 0;
        inked += (pixels[i] & 0xFFFFFF) != 0xFFFFFF ? 1 : 0;
    }
    // Three marks of 3 x 12 pixels and the legend's 10 x 10 square.
    EXPECT_GE(marked, 3 * 3 * 10 + 100);
    EXPECT_GT(inked, marked);
    ::SelectObject(dc, old);
    ::DeleteObject(bitmap);
    ::DeleteDC(dc);
}

TEST(ChannelWindowWin32, OneWindowAtATime) {
    int pictures = 0;
    const auto picture = [&pictures] {
        ++pictures;
        return Picture();
    };
    HWND first = app::OpenChannelWindow(::GetModuleHandleA(nullptr), nullptr, picture);
    ASSERT_NE(first, nullptr) << "error " << ::GetLastError();
    char title[32] = {};
    ::GetWindowTextA(first, title, sizeof title);
    EXPECT_STREQ(title, "Channel");
    EXPECT_EQ(app::OpenChannelWindow(::GetModuleHandleA(nullptr), nullptr, picture), first);
    EXPECT_EQ(pictures, 1);
    ::DestroyWindow(first);
    HWND second = app::OpenChannelWindow(::GetModuleHandleA(nullptr), nullptr, picture);
    EXPECT_NE(second, nullptr);
    EXPECT_EQ(pictures, 2);
    ::DestroyWindow(second);
}
