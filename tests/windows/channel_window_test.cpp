// The Win32 Channel window: one at a time, its content painted with GDI
// through the timeline's canvas interface, and readable at any DPI.
#include "app/win32/ChannelWindowWin32.h"

#include "app/model/ChannelTimeline.h"
#include "app/win32/DpiLayout.h"
#include "support/WideText.h"
#include "support/win32/PngFileWin32.h"

#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <utility>

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
        talker.transmissions.emplace_back(at, aprs::TFrameKind::Weather);
    picture.Timeline.talkers.push_back(talker);
    picture.Path = {"Digipeated by: DIGI2, 2 km, hop 1, inside the ALOHA radius",
                    "Suggested path: WIDE2-1", "K9FAR         222    1      1  FAR2*,WIDE2-1"};
    return picture;
}

/// A 32-bit top-down bitmap selected into a memory DC, to paint into and
/// read back; released with the object.
struct TDibCanvas {
    TDibCanvas(int width, int height) : Dc(::CreateCompatibleDC(nullptr)) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        void* bits = nullptr;
        FBitmap = ::CreateDIBSection(Dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        Pixels = static_cast<const std::uint32_t*>(bits);
        FOld = ::SelectObject(Dc, FBitmap);
    }
    ~TDibCanvas() {
        ::SelectObject(Dc, FOld);
        ::DeleteObject(FBitmap);
        ::DeleteDC(Dc);
    }
    TDibCanvas(const TDibCanvas&) = delete;
    TDibCanvas& operator=(const TDibCanvas&) = delete;
    HDC Dc;
    const std::uint32_t* Pixels = nullptr;

private:
    HBITMAP FBitmap = nullptr;
    HGDIOBJ FOld = nullptr;
};

} // namespace

TEST(ChannelWindowWin32, PaintsTheTimelineWithGdi) {
    const int width = 640, height = 480;
    const TDibCanvas canvas(width, height);
    ASSERT_NE(canvas.Pixels, nullptr);
    app::PaintChannelWindow(canvas.Dc, width, height, Picture());
    ::GdiFlush();
    const std::uint32_t* pixels = canvas.Pixels;
    const app::TCanvasColour weather = app::FrameKindColour(aprs::TFrameKind::Weather);
    const std::uint32_t wanted = (weather.red << 16) | (weather.green << 8) | weather.blue;
    int marked = 0, inked = 0;
    for (int i = 0; i < width * height; ++i) {
        marked += (pixels[i] & 0xFFFFFF) == wanted ? 1 : 0;
        inked += (pixels[i] & 0xFFFFFF) != 0xFFFFFF ? 1 : 0;
    }
    // Three marks of 3 x 12 pixels and the legend's 10 x 10 square.
    EXPECT_GE(marked, 3 * 3 * 10 + 100);
    EXPECT_GT(inked, marked);
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

// At the system's DPI (the DPI tests run it at 96, 144 and 192) with 60
// listed stations: the list scrolls and is in the message font made for that
// DPI, and the timeline below it keeps its whole legend. With
// VELLORAN_PICTURE set, the window is kept there as a PNG.
TEST(ChannelWindowWin32, SixtyStationsReadWellAtTheSystemDpi) {
    app::TChannelPicture picture = Picture();
    picture.Listed.clear();
    for (int i = 0; i < 60; ++i)
        picture.Listed.push_back(
            {"N" + std::to_string(i) + "ABC-9", i + 1, 15, static_cast<std::uint64_t>(20 + i)});
    for (int k = 0; k < 7; ++k) {
        app::TChannelTimeline::TTalker talker{"K" + std::to_string(k) + "XYZ", 3, {}};
        talker.transmissions.emplace_back(200.0 * (k + 1), static_cast<aprs::TFrameKind>(k));
        picture.Timeline.talkers.push_back(talker);
    }
    HWND window = app::OpenChannelWindow(::GetModuleHandleA(nullptr), nullptr,
                                         [&picture] { return picture; });
    ASSERT_NE(window, nullptr);
    MSG message;
    for (int i = 0; i < 50 && ::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE); ++i)
        ::DispatchMessageA(&message);
    const int dpi = app::win32::WindowDpi(window);

    HWND list = app::ChannelWindowList(window);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(ListView_GetItemCount(list), 60);
    const int page = ListView_GetCountPerPage(list);
    EXPECT_GE(page, 5) << dpi << " DPI";
    EXPECT_LT(page, 60) << "the list scrolls";
    LOGFONTW used{}, wanted{};
    ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(list, WM_GETFONT, 0, 0)), sizeof used,
                 &used);
    HFONT made = app::win32::MessageFontForDpi(dpi);
    ::GetObjectW(made, sizeof wanted, &wanted);
    EXPECT_EQ(used.lfHeight, wanted.lfHeight) << dpi << " DPI";
    // Each column at least as wide as its heading.
    HDC listDc = ::GetDC(list);
    HGDIOBJ oldFont = ::SelectObject(listDc, made);
    SIZE heading{};
    ::GetTextExtentPoint32W(listDc, L"Estimated", 9, &heading);
    EXPECT_GE(ListView_GetColumnWidth(list, 2), heading.cx);
    ::SelectObject(listDc, oldFont);
    ::ReleaseDC(list, listDc);

    // The path beside the list, in a fixed-pitch font as tall as the list's,
    // a whole row of its table in view and the list not covered.
    HWND path = app::ChannelWindowPath(window);
    ASSERT_NE(path, nullptr);
    wchar_t text[512] = {};
    ::GetWindowTextW(path, text, 512);
    EXPECT_EQ(std::wstring(text), L"Digipeated by: DIGI2, 2 km, hop 1, inside the ALOHA radius\r\n"
                                  L"Suggested path: WIDE2-1\r\n"
                                  L"K9FAR         222    1      1  FAR2*,WIDE2-1");
    LOGFONTW fixed{};
    ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(path, WM_GETFONT, 0, 0)), sizeof fixed,
                 &fixed);
    EXPECT_EQ(fixed.lfHeight, wanted.lfHeight) << dpi << " DPI";
    EXPECT_NE(fixed.lfPitchAndFamily & FIXED_PITCH, 0);
    RECT pathBox, listBox, pathClient;
    ::GetWindowRect(path, &pathBox);
    ::GetWindowRect(list, &listBox);
    ::GetClientRect(path, &pathClient);
    EXPECT_GE(pathBox.left, listBox.right);
    HDC pathDc = ::GetDC(path);
    HGDIOBJ oldPathFont =
        ::SelectObject(pathDc, reinterpret_cast<HFONT>(::SendMessageW(path, WM_GETFONT, 0, 0)));
    SIZE row{};
    ::GetTextExtentPoint32W(pathDc, L"K9FAR         222    1      1  FAR2*,WIDE2-1", 44, &row);
    EXPECT_GE(pathClient.right, row.cx) << dpi << " DPI";
    ::SelectObject(pathDc, oldPathFont);
    ::ReleaseDC(path, pathDc);

    // The window painted as it paints itself: every kind of the legend there.
    RECT client;
    ::GetClientRect(window, &client);
    std::optional<TDibCanvas> canvas(std::in_place, client.right, client.bottom);
    ASSERT_NE(canvas->Pixels, nullptr);
    app::PaintChannelWindow(canvas->Dc, client.right, client.bottom, picture, made);
    ::GdiFlush();
    const std::uint32_t* pixels = canvas->Pixels;
    RECT placed;
    ::GetWindowRect(list, &placed);
    ::MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&placed), 2);
    for (int k = 0; k < 7; ++k) {
        const app::TCanvasColour colour = app::FrameKindColour(static_cast<aprs::TFrameKind>(k));
        const std::uint32_t wanted = (colour.red << 16) | (colour.green << 8) | colour.blue;
        int below = 0; // below the list: the timeline is not hidden by it
        for (int y = placed.bottom; y < client.bottom; ++y)
            for (int x = 0; x < client.right; ++x)
                below += (pixels[y * client.right + x] & 0xFFFFFF) == wanted ? 1 : 0;
        EXPECT_GT(below, 0) << "kind " << k << " at " << dpi << " DPI";
    }
    canvas.reset();
    ::DeleteObject(made);

    if (const char* file = std::getenv("VELLORAN_PICTURE")) {
        ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        for (int i = 0; i < 50 && ::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE); ++i)
            ::DispatchMessageA(&message);
        POINT origin{0, 0};
        ::ClientToScreen(window, &origin);
        HDC screen = ::GetDC(nullptr);
        const TDibCanvas shot(client.right, client.bottom);
        ::BitBlt(shot.Dc, 0, 0, client.right, client.bottom, screen, origin.x, origin.y, SRCCOPY);
        ::GdiFlush();
        if (SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
            support::WritePngFile(support::Wide(file), static_cast<unsigned>(client.right),
                                  static_cast<unsigned>(client.bottom), shot.Pixels);
            ::CoUninitialize();
        }
        ::ReleaseDC(nullptr, screen);
    }
    ::DestroyWindow(window);
}
