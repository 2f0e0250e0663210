// The Windows stand-in host's map: painted with GDI from any numbers clients
// send, its window beside a run over COM, and the snapshot it writes.

#include "host/com/ComConnector.h"
#include "standin/com/MapWindow.h"
#include "standin/map/MapPaint.h"
#include "standin/model/Scenario.h"
#include "support/win32/PngFileWin32.h"
#include "tests/common/MapPictures.h"
#include "tests/windows/HostProcess.h"
#include "tools/HeadlessRun.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <algorithm>
#include <cmath>
#include <limits>

using comtest::PumpUntil;
using comtest::THostProcess;
using standin::TMapCall;
using standin::TMapPicture;

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

std::string Golden(const std::string& name) {
    return std::string(VELLORAN_SOURCE_DIR) + "/tests/golden/" + name + "/scenario.json";
}

bool Red(std::uint32_t pixel) {
    return ((pixel >> 16) & 0xFF) > 180 && ((pixel >> 8) & 0xFF) < 90 && (pixel & 0xFF) < 90;
}

int RedPixels(const standin::com::TMapBitmap& bitmap) {
    const std::uint32_t* pixels = bitmap.Pixels();
    return static_cast<int>(std::count_if(pixels, pixels + bitmap.Width() * bitmap.Height(), Red));
}

using maptest::Circle;
using maptest::Own;

std::wstring TempFile(const wchar_t* name) {
    wchar_t folder[MAX_PATH];
    ::GetTempPathW(MAX_PATH, folder);
    return std::wstring(folder) + name;
}

std::string Narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end()); // the test's own ASCII names
}

std::wstring TextOf(HWND window) {
    wchar_t text[512] = {};
    ::SendMessageW(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text));
    return text;
}

} // namespace

TEST(HostMapPaint, AnOrdinaryCircleIsDrawnInTheHostsColour) {
    TMapPicture picture = Own(2580, -4200);
    picture.drawings.push_back(Circle(-4200, 2580, 20));
    const auto bitmap = standin::com::RenderMap(picture, 320, 320);
    EXPECT_GT(RedPixels(*bitmap), 200);
    // The own station's square, in the middle.
    EXPECT_EQ(bitmap->Pixels()[160 * 320 + 160] & 0xFFFFFF, 0xD02020u);
}

TEST(HostMapPaint, ExtremeNumbersEndAndLeaveTheRestDrawn) {
    TMapPicture picture = maptest::ExtremePicture();
    EXPECT_GT(RedPixels(*standin::com::RenderMap(picture, 320, 320)), 200);

    // Figures far beyond what GDI's coordinates hold still cross the view.
    maptest::AddHugeCircles(picture);
    EXPECT_GT(RedPixels(*standin::com::RenderMap(picture, 320, 320)), 100);

    for (const double at : {3e38, -3e38, kInf, kNaN}) {
        TMapPicture odd = Own(at, at);
        odd.drawings.push_back(Circle(at, at, 20));
        odd.stations.push_back({at, at, true, false, "NEAR"});
        EXPECT_EQ(standin::com::RenderMap(odd, 64, 48)->Width(), 64);
    }
}

TEST(HostMapWindow, ShowsTheRunAndWritesItsSnapshot) {
    const std::wstring png = TempFile(L"velloran-host-map.png");
    ::DeleteFileW(png.c_str());
    tools::THeadlessRun embedded(standin::LoadScenarioFile(Golden("threshold")));
    embedded.Calculation.ReadOwnStation();
    embedded.Calculation.btnCalculateClick();
    const std::optional<int> inside =
        standin::StationsInsideFigure(standin::TakeMapPicture(*embedded.Host));
    ASSERT_TRUE(inside);

    THostProcess hostProcess("--scenario " + Golden("threshold") + " --snapshot " + Narrow(png));
    const HWND map = ::FindWindowW(standin::com::TMapWindow::kClass, nullptr);
    ASSERT_NE(map, nullptr);
    wchar_t title[128] = {};
    ::GetWindowTextW(map, title, 128);
    EXPECT_STREQ(title, L"Velloran stand-in host - N0CALL");

    tools::THeadlessRun overCom(std::make_shared<host::TComConnector>());
    overCom.Calculation.ReadOwnStation();
    overCom.Calculation.btnCalculateClick();
    float radius = 0;
    for (const TMapCall& call : overCom.Connector->MapCalls())
        if (call.kind == TMapCall::Kind::DrawCircle)
            radius = call.radius;
    ASSERT_GT(radius, 0.0f);

    const HWND status = ::FindWindowExW(map, nullptr, STATUSCLASSNAMEW, nullptr);
    ASSERT_NE(status, nullptr);
    const std::wstring expected = L"Serving 45 stations over COM \u00B7 " +
                                  std::to_wstring(*inside) + L" stations inside the circle";
    EXPECT_TRUE(PumpUntil([&] { return TextOf(status) == expected; })) << Narrow(TextOf(status));

    ASSERT_TRUE(
        PumpUntil([&] { return ::GetFileAttributesW(png.c_str()) != INVALID_FILE_ATTRIBUTES; }));
    const support::TPixels image = support::ReadPngFile(png);
    ::DeleteFileW(png.c_str());
    EXPECT_EQ(::GetFileAttributesW((png + L".part").c_str()), INVALID_FILE_ATTRIBUTES);

    // The view spans the figure with a margin; the circle crosses the
    // horizontal line through the own station at the radius.
    const double extent = std::max(55.0, static_cast<double>(radius)) * 1.15;
    const double scale = std::min(image.width, image.height) / (2.0 * extent);
    const int cx = static_cast<int>(image.width / 2), cy = static_cast<int>(image.height / 2);
    const int edge = static_cast<int>(std::lround(radius * scale));
    const auto redNear = [&](int x, int y) {
        for (int dx = -3; dx <= 3; ++dx)
            if (Red(image.At(static_cast<unsigned>(x + dx), static_cast<unsigned>(y))))
                return true;
        return false;
    };
    EXPECT_TRUE(redNear(cx + edge, cy)) << "right edge at " << cx + edge;
    EXPECT_TRUE(redNear(cx - edge, cy)) << "left edge at " << cx - edge;
    EXPECT_FALSE(redNear(cx + edge / 2, cy + 7)); // inside the circle: no line
}

TEST(HostMapWindow, ClosingTheMapClosesTheHostAndTellsItsClients) {
    THostProcess hostProcess("--scenario " + Golden("third-party"));
    host::THostComponents components(std::make_shared<host::TComConnector>());
    bool closing = false;
    components.clsUIV.OnUIView32IsClosing = [&closing] { closing = true; };
    components.Loaded();
    const HWND map = ::FindWindowW(standin::com::TMapWindow::kClass, nullptr);
    ASSERT_NE(map, nullptr);
    ::PostMessageW(map, WM_CLOSE, 0, 0);
    EXPECT_TRUE(PumpUntil([&] { return closing; }));
    EXPECT_TRUE(PumpUntil([&] { return hostProcess.Ended(); }));
}

TEST(HostMapWindow, WheelZoomsDragMovesDoubleClickReturns) {
    standin::TStandinHost host(standin::ParseScenario(
        R"({"own": {"callsign": "n0call", "lat": 2500, "long": -4300}, "stations": []})", "test"));
    const standin::com::TMapWindow window(host, "test", nullptr);
    const HWND handle = window.Handle();
    ::RedrawWindow(handle, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    const standin::map::TViewport fit = window.CurrentView();
    ASSERT_GT(fit.Width(), 100.0);
    EXPECT_NEAR(fit.Project(2500, -4300).x, fit.Width() / 2, 1e-9); // fitted on the own station

    // The wheel comes in screen positions; the map stays put under the cursor.
    const POINT cursor{300, 120};
    const standin::map::TPoint under = fit.Unproject(cursor.x, cursor.y);
    POINT screen = cursor;
    ::ClientToScreen(handle, &screen);
    ::SendMessageW(handle, WM_MOUSEWHEEL, MAKEWPARAM(0, 2 * WHEEL_DELTA),
                   MAKELPARAM(screen.x, screen.y));
    const standin::map::TViewport zoomed = window.CurrentView();
    EXPECT_DOUBLE_EQ(zoomed.PixelsPerUnit(), fit.PixelsPerUnit() * 1.25 * 1.25);
    const standin::map::TPoint still = zoomed.Project(under.y, under.x);
    EXPECT_NEAR(still.x, cursor.x, 1e-6);
    EXPECT_NEAR(still.y, cursor.y, 1e-6);

    ::SendMessageW(handle, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(200, 200));
    ::SendMessageW(handle, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(230, 190));
    ::SendMessageW(handle, WM_LBUTTONUP, 0, MAKELPARAM(230, 190));
    ::SendMessageW(handle, WM_MOUSEMOVE, 0, MAKELPARAM(260, 260)); // released: no drag
    const standin::map::TPoint moved = window.CurrentView().Project(2500, -4300);
    const standin::map::TPoint before = zoomed.Project(2500, -4300);
    EXPECT_NEAR(moved.x - before.x, 30.0, 1e-9);
    EXPECT_NEAR(moved.y - before.y, -10.0, 1e-9);

    ::SendMessageW(handle, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(100, 100));
    ::RedrawWindow(handle, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    EXPECT_DOUBLE_EQ(window.CurrentView().PixelsPerUnit(), fit.PixelsPerUnit());
}
