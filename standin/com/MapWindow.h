#pragma once

#include "standin/map/MapPaint.h"
#include "standin/model/StandinHost.h"

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

/// The Windows stand-in host's map window, painted with GDI: the same map as
/// the Linux host's (stations, own station, call signs and what clients drew
/// through the map interface), on the host's own thread.
namespace standin::com {

/// The map's canvas on a GDI device context. Positions are rounded to whole
/// pixels and held within the range GDI takes; GDI has no translucent fill,
/// so a translucent rectangle is filled solid.
class TGdiMapCanvas : public IMapCanvas {
public:
    explicit TGdiMapCanvas(HDC dc);
    ~TGdiMapCanvas() override;
    TGdiMapCanvas(const TGdiMapCanvas&) = delete;
    TGdiMapCanvas& operator=(const TGdiMapCanvas&) = delete;

    void Line(map::TPoint from, map::TPoint to, const TMapStroke& stroke) override;
    void Polyline(const std::vector<map::TPoint>& points, const TMapStroke& stroke) override;
    void EllipseOutline(map::TPoint centre, double rx, double ry,
                        const TMapStroke& stroke) override;
    void FillEllipse(map::TPoint centre, double rx, double ry, TMapColour fill) override;
    void Rectangle(const map::TBox& box, TMapColour fill,
                   const std::optional<TMapStroke>& stroke) override;
    void Text(map::TPoint at, std::string_view utf8, TMapFont font, TMapColour colour) override;
    map::TBox TextBox(std::string_view utf8, TMapFont font) override;

private:
    /// Selects a pen for the stroke (made once per kind of stroke).
    void UsePen(const TMapStroke& stroke);
    void UseFont(TMapFont font);

    HDC FDC;
    int FSavedState;
    HFONT FSmall, FOwn;
    struct TPen {
        TMapStroke stroke;
        HPEN pen;
    };
    std::vector<TPen> FPens;
};

/// A picture of width × height pixels drawn with GDI into memory.
class TMapBitmap {
public:
    TMapBitmap(int width, int height);
    ~TMapBitmap();
    TMapBitmap(const TMapBitmap&) = delete;
    TMapBitmap& operator=(const TMapBitmap&) = delete;

    HDC DC() const { return FDC; }
    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    /// The pixels, 0x00RRGGBB, top row first.
    const std::uint32_t* Pixels() const { return FBits; }

private:
    int FWidth, FHeight;
    HDC FDC = nullptr;
    HBITMAP FBitmap = nullptr;
    HGDIOBJ FOld = nullptr;
    std::uint32_t* FBits = nullptr;
};

/// Paints the map of the picture into a new bitmap of that size.
std::unique_ptr<TMapBitmap> RenderMap(const TMapPicture& picture, int width, int height,
                                      const map::TViewport* view = nullptr);

/// The map window. It repaints a few times a second at most, when the scene
/// changed; the wheel zooms, a drag moves the map, a double click returns to
/// the view that fits the figures. Its status line says what the host serves
/// and how many stations are inside the drawn circle.
class TMapWindow {
public:
    /// Shows the window for the host; closing it calls onClose.
    TMapWindow(const TStandinHost& host, std::string source, std::function<void()> onClose);
    ~TMapWindow();
    TMapWindow(const TMapWindow&) = delete;
    TMapWindow& operator=(const TMapWindow&) = delete;

    HWND Handle() const { return FWindow; }
    /// The view shown now.
    map::TViewport CurrentView() const;

    /// Writes the map as a PNG once, shortly after clients first draw on it
    /// (a run's figure and label arrive together). Tells the outcome through
    /// log.
    void SnapshotAfterNextDrawing(std::string path, std::function<void(const std::string&)> log);

    /// The window class, for whoever looks for the window.
    static constexpr const wchar_t* kClass = L"TVelloranStandinMap";

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void Paint();
    void Poll();
    void WriteSnapshot();
    RECT MapArea() const;

    const TStandinHost& FHost;
    std::string FSource;
    std::function<void()> FOnClose;
    HWND FWindow = nullptr;
    HWND FStatus = nullptr;
    TMapNavigation FNavigation;
    std::uint64_t FSceneShown = 0;
    bool FDragging = false;
    POINT FDragFrom{};
    std::string FSnapshotPath; ///< as given on the command line
    std::function<void(const std::string&)> FSnapshotLog;
    bool FSnapshotDue = false;
};

} // namespace standin::com
