#include "standin/com/MapWindow.h"

#include "host/com/ComSupport.h"
#include "support/TextRules.h"
#include "support/win32/PngFileWin32.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace standin::com {

namespace {

constexpr UINT_PTR kPollTimer = 1;
constexpr UINT kPollMs = 250; // the map repaints four times a second at most
constexpr UINT_PTR kSnapshotTimer = 2;
constexpr UINT kSnapshotDelayMs = 300;

/// A coordinate as GDI takes it: whole pixels, well inside its range.
int Px(double value) {
    if (!std::isfinite(value))
        return 0;
    constexpr double kLimit = 1 << 26;
    return static_cast<int>(std::lround(std::clamp(value, -kLimit, kLimit)));
}

COLORREF Gdi(TMapColour colour) {
    return RGB(colour.red, colour.green, colour.blue);
}

bool SameStroke(const TMapStroke& a, const TMapStroke& b) {
    return a.colour.red == b.colour.red && a.colour.green == b.colour.green &&
           a.colour.blue == b.colour.blue && a.width == b.width && a.dashed == b.dashed;
}

/// A file name from the command line, which comes in the system's code page.
std::wstring SystemCodePageToWide(const std::string& text) {
    const int n =
        ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(std::max(n, 0)), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
    return wide;
}

HFONT MakeFont(HDC dc, int points, bool bold) {
    const int height = -::MulDiv(points, ::GetDeviceCaps(dc, LOGPIXELSY), 72);
    return ::CreateFontW(height, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                         DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                         ANTIALIASED_QUALITY, DEFAULT_PITCH | FF_SWISS, L"Tahoma");
}

} // namespace

TGdiMapCanvas::TGdiMapCanvas(HDC dc)
    : FDC(dc), FSavedState(::SaveDC(dc)), FSmall(MakeFont(dc, 7, false)),
      FOwn(MakeFont(dc, 9, true)) {
    ::SetBkMode(FDC, TRANSPARENT);
    ::SetTextAlign(FDC, TA_LEFT | TA_BASELINE | TA_NOUPDATECP);
}

TGdiMapCanvas::~TGdiMapCanvas() {
    ::RestoreDC(FDC, FSavedState); // puts back what was selected before
    for (const TPen& pen : FPens)
        ::DeleteObject(pen.pen);
    ::DeleteObject(FSmall);
    ::DeleteObject(FOwn);
}

void TGdiMapCanvas::UsePen(const TMapStroke& stroke) {
    auto found = std::find_if(FPens.begin(), FPens.end(),
                              [&](const TPen& pen) { return SameStroke(pen.stroke, stroke); });
    if (found == FPens.end()) {
        const LOGBRUSH brush{BS_SOLID, Gdi(stroke.colour), 0};
        const DWORD style =
            PS_GEOMETRIC | (stroke.dashed ? PS_DASH : PS_SOLID) | PS_ENDCAP_FLAT | PS_JOIN_ROUND;
        const HPEN pen = ::ExtCreatePen(
            style, static_cast<DWORD>(std::max(1L, std::lround(stroke.width))), &brush, 0, nullptr);
        FPens.push_back({stroke, pen});
        found = FPens.end() - 1;
    }
    ::SelectObject(FDC, found->pen);
}

void TGdiMapCanvas::UseFont(TMapFont font) {
    ::SelectObject(FDC, font == TMapFont::Own ? FOwn : FSmall);
}

void TGdiMapCanvas::Line(map::TPoint from, map::TPoint to, const TMapStroke& stroke) {
    UsePen(stroke);
    ::MoveToEx(FDC, Px(from.x), Px(from.y), nullptr);
    ::LineTo(FDC, Px(to.x), Px(to.y));
}

void TGdiMapCanvas::Polyline(const std::vector<map::TPoint>& points, const TMapStroke& stroke) {
    std::vector<POINT> gdi;
    gdi.reserve(points.size());
    for (const map::TPoint point : points)
        gdi.push_back({Px(point.x), Px(point.y)});
    UsePen(stroke);
    ::Polyline(FDC, gdi.data(), static_cast<int>(gdi.size()));
}

void TGdiMapCanvas::EllipseOutline(map::TPoint centre, double rx, double ry,
                                   const TMapStroke& stroke) {
    UsePen(stroke);
    ::SelectObject(FDC, ::GetStockObject(NULL_BRUSH));
    ::Ellipse(FDC, Px(centre.x - rx), Px(centre.y - ry), Px(centre.x + rx), Px(centre.y + ry));
}

void TGdiMapCanvas::FillEllipse(map::TPoint centre, double rx, double ry, TMapColour fill) {
    ::SelectObject(FDC, ::GetStockObject(NULL_PEN));
    ::SelectObject(FDC, ::GetStockObject(DC_BRUSH));
    ::SetDCBrushColor(FDC, Gdi(fill));
    // Without a pen GDI leaves out the right and bottom edge.
    ::Ellipse(FDC, Px(centre.x - rx), Px(centre.y - ry), Px(centre.x + rx) + 1,
              Px(centre.y + ry) + 1);
}

void TGdiMapCanvas::Rectangle(const map::TBox& box, TMapColour fill,
                              const std::optional<TMapStroke>& stroke) {
    if (stroke)
        UsePen(*stroke);
    else
        ::SelectObject(FDC, ::GetStockObject(NULL_PEN));
    ::SelectObject(FDC, ::GetStockObject(DC_BRUSH));
    ::SetDCBrushColor(FDC, Gdi(fill));
    const int grow = stroke ? 0 : 1;
    ::Rectangle(FDC, Px(box.left), Px(box.top), Px(box.left + box.width) + grow,
                Px(box.top + box.height) + grow);
}

void TGdiMapCanvas::Text(map::TPoint at, std::string_view utf8, TMapFont font, TMapColour colour) {
    const std::wstring text = host::com::ToWide(utf8);
    UseFont(font);
    ::SetTextColor(FDC, Gdi(colour));
    ::TextOutW(FDC, Px(at.x), Px(at.y), text.c_str(), static_cast<int>(text.size()));
}

map::TBox TGdiMapCanvas::TextBox(std::string_view utf8, TMapFont font) {
    const std::wstring text = host::com::ToWide(utf8);
    UseFont(font);
    SIZE size{};
    ::GetTextExtentPoint32W(FDC, text.c_str(), static_cast<int>(text.size()), &size);
    TEXTMETRICW metrics{};
    ::GetTextMetricsW(FDC, &metrics);
    return {0, -static_cast<double>(metrics.tmAscent), static_cast<double>(size.cx),
            static_cast<double>(metrics.tmAscent + metrics.tmDescent)};
}

TMapBitmap::TMapBitmap(int width, int height)
    : FWidth(std::max(width, 1)), FHeight(std::max(height, 1)) {
    FDC = ::CreateCompatibleDC(nullptr);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = FWidth;
    info.bmiHeader.biHeight = -FHeight; // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    FBitmap = FDC ? ::CreateDIBSection(FDC, &info, DIB_RGB_COLORS, &bits, nullptr, 0) : nullptr;
    if (!FBitmap) {
        if (FDC)
            ::DeleteDC(FDC);
        throw std::runtime_error("no memory for a map of " + std::to_string(FWidth) + " x " +
                                 std::to_string(FHeight) + " pixels");
    }
    FBits = static_cast<std::uint32_t*>(bits);
    FOld = ::SelectObject(FDC, FBitmap);
    const std::uint32_t background = (std::uint32_t{kMapBackground.red} << 16) |
                                     (std::uint32_t{kMapBackground.green} << 8) |
                                     kMapBackground.blue;
    std::fill(FBits, FBits + std::size_t(FWidth) * std::size_t(FHeight), background);
}

TMapBitmap::~TMapBitmap() {
    ::SelectObject(FDC, FOld);
    ::DeleteObject(FBitmap);
    ::DeleteDC(FDC);
}

std::unique_ptr<TMapBitmap> RenderMap(const TMapPicture& picture, int width, int height,
                                      const map::TViewport* view) {
    auto bitmap = std::make_unique<TMapBitmap>(width, height);
    {
        TGdiMapCanvas canvas(bitmap->DC());
        PaintMap(canvas, bitmap->Width(), bitmap->Height(), picture, view);
    }
    ::GdiFlush();
    return bitmap;
}

TMapWindow::TMapWindow(const TStandinHost& host, std::string source, std::function<void()> onClose)
    : FHost(host), FSource(std::move(source)), FOnClose(std::move(onClose)) {
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_BAR_CLASSES};
    ::InitCommonControlsEx(&controls);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_DBLCLKS;
    windowClass.lpfnWndProc = Procedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32649)); // IDC_HAND
    windowClass.hIcon = ::LoadIconW(nullptr, MAKEINTRESOURCEW(32512));     // IDI_APPLICATION
    windowClass.lpszClassName = kClass;
    ::RegisterClassExW(&windowClass);
    const std::wstring title = L"Velloran stand-in host - " +
                               host::com::ToWide(support::UpperAscii(host.Scenario().ownCallsign));
    FWindow =
        ::CreateWindowExW(0, kClass, title.c_str(), WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                          CW_USEDEFAULT, CW_USEDEFAULT, 800, 680, nullptr, nullptr, instance, this);
    if (!FWindow)
        throw std::runtime_error("cannot create the map window: " +
                                 host::com::StatusText(HRESULT_FROM_WIN32(::GetLastError())));
    FStatus = ::CreateWindowExW(0, STATUSCLASSNAMEW, nullptr, WS_CHILD | WS_VISIBLE, 0, 0, 0, 0,
                                FWindow, nullptr, instance, nullptr);
    ::SetTimer(FWindow, kPollTimer, kPollMs, nullptr);
    ::ShowWindow(FWindow, SW_SHOWNORMAL);
    ::UpdateWindow(FWindow);
}

TMapWindow::~TMapWindow() {
    if (FWindow) {
        ::SetWindowLongPtrW(FWindow, GWLP_USERDATA, 0);
        ::DestroyWindow(FWindow);
    }
}

void TMapWindow::SnapshotAfterNextDrawing(std::string path,
                                          std::function<void(const std::string&)> log) {
    FSnapshotPath = std::move(path);
    FSnapshotLog = std::move(log);
    FSnapshotDue = true;
    FSceneShown = FHost.SceneVersion();
}

LRESULT CALLBACK TMapWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        ::SetWindowLongPtrW(window, GWLP_USERDATA,
                            reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<TMapWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self || !self->FWindow)
        return ::DefWindowProcW(window, message, wParam, lParam);
    return self->Handle(message, wParam, lParam);
}

map::TViewport TMapWindow::CurrentView() const {
    const RECT area = MapArea();
    return FNavigation.Current(area.right - area.left, area.bottom - area.top);
}

RECT TMapWindow::MapArea() const {
    RECT area{}, status{};
    ::GetClientRect(FWindow, &area);
    if (FStatus && ::GetWindowRect(FStatus, &status))
        area.bottom = std::max(area.top, area.bottom - (status.bottom - status.top));
    return area;
}

LRESULT TMapWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    const RECT area = MapArea();
    const int width = area.right - area.left, height = area.bottom - area.top;
    switch (message) {
    case WM_PAINT:
        Paint();
        return 0;
    case WM_ERASEBKGND:
        return 1; // the map covers its whole area
    case WM_SIZE:
        if (FStatus)
            ::SendMessageW(FStatus, WM_SIZE, 0, 0);
        ::InvalidateRect(FWindow, nullptr, FALSE);
        return 0;
    case WM_TIMER:
        if (wParam == kPollTimer) {
            Poll();
        } else if (wParam == kSnapshotTimer) {
            ::KillTimer(FWindow, kSnapshotTimer);
            WriteSnapshot();
        }
        return 0;
    case WM_MOUSEWHEEL: {
        POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        ::ScreenToClient(FWindow, &at);
        if (FNavigation.Zoom(GET_WHEEL_DELTA_WPARAM(wParam) / double(WHEEL_DELTA), at.x, at.y,
                             width, height))
            ::InvalidateRect(FWindow, &area, FALSE);
        return 0;
    }
    case WM_LBUTTONDOWN:
        FDragging = true;
        FDragFrom = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        ::SetCapture(FWindow);
        return 0;
    case WM_MOUSEMOVE:
        if (FDragging) {
            const POINT to{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            FNavigation.Drag(to.x - FDragFrom.x, to.y - FDragFrom.y, width, height);
            FDragFrom = to;
            ::InvalidateRect(FWindow, &area, FALSE);
        }
        return 0;
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED:
        if (FDragging) {
            FDragging = false;
            ::ReleaseCapture();
        }
        return 0;
    case WM_LBUTTONDBLCLK:
        FNavigation.Home();
        ::InvalidateRect(FWindow, &area, FALSE);
        return 0;
    case WM_CLOSE:
        // The host decides: it tells its clients, then ends with the window.
        if (FOnClose)
            FOnClose();
        return 0;
    default:
        return ::DefWindowProcW(FWindow, message, wParam, lParam);
    }
}

void TMapWindow::Poll() {
    const std::uint64_t version = FHost.SceneVersion();
    if (version == FSceneShown)
        return;
    FSceneShown = version;
    const RECT area = MapArea();
    ::InvalidateRect(FWindow, &area, FALSE);
    if (FSnapshotDue)
        ::SetTimer(FWindow, kSnapshotTimer, kSnapshotDelayMs, nullptr);
}

void TMapWindow::Paint() {
    PAINTSTRUCT paint;
    const HDC dc = ::BeginPaint(FWindow, &paint);
    const RECT area = MapArea();
    const TMapPicture picture = TakeMapPicture(FHost);
    try {
        const auto bitmap = RenderMap(picture, area.right - area.left, area.bottom - area.top,
                                      FNavigation.Chosen());
        ::BitBlt(dc, area.left, area.top, bitmap->Width(), bitmap->Height(), bitmap->DC(), 0, 0,
                 SRCCOPY);
    } catch (const std::exception&) {
        ::FillRect(dc, &area, ::GetSysColorBrush(COLOR_WINDOW)); // no memory for the map now
    }
    ::EndPaint(FWindow, &paint);
    FNavigation.Painted(picture, area.right - area.left, area.bottom - area.top);

    const std::string inside = InsideText(StationsInsideFigure(picture));
    const std::wstring status =
        host::com::ToWide(inside.empty() ? FSource : FSource + " \xC2\xB7 " + inside);
    wchar_t shown[512] = {};
    ::GetWindowTextW(FStatus, shown, 512);
    if (status != shown)
        ::SetWindowTextW(FStatus, status.c_str());
}

void TMapWindow::WriteSnapshot() {
    if (!FSnapshotDue)
        return;
    FSnapshotDue = false;
    const RECT area = MapArea();
    // A minimized window has no area: the snapshot then has a size of its own.
    const int width = area.right > area.left ? area.right - area.left : 800;
    const int height = area.bottom > area.top ? area.bottom - area.top : 600;
    try {
        const auto bitmap = RenderMap(TakeMapPicture(FHost), width, height, FNavigation.Chosen());
        support::WritePngFile(SystemCodePageToWide(FSnapshotPath),
                              static_cast<unsigned>(bitmap->Width()),
                              static_cast<unsigned>(bitmap->Height()), bitmap->Pixels());
        if (FSnapshotLog)
            FSnapshotLog("snapshot written to " + FSnapshotPath);
    } catch (const std::exception& error) {
        if (FSnapshotLog)
            FSnapshotLog(std::string("cannot write the snapshot: ") + error.what());
    }
}

} // namespace standin::com
