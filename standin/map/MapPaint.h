#pragma once

#include "standin/map/Coastline.h"
#include "standin/map/MapGeometry.h"
#include "standin/model/StandinHost.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

/// What the stand-in host's map draws, apart from the toolkit it draws with:
/// the Qt window on Linux and the GDI window on Windows paint the same map
/// through IMapCanvas.
namespace standin {

/// What the map shows, copied out of the host model so that painting never
/// holds the model's lock.
struct TMapPicture {
    struct TStation {
        double lat = 0, lon = 0;
        bool rf = false, thirdParty = false;
        std::string callsign;
    };
    double ownLat = 0, ownLong = 0;
    std::string ownCallsign;
    std::vector<TStation> stations;
    std::vector<TMapCall> drawings; ///< circles and texts, as in the host's scene
    /// Shores and borders under everything else; may be null.
    std::shared_ptr<const std::vector<TMapLine>> coastlines;
};

/// Copies what the map shows; the caller holds the model's lock.
TMapPicture TakeMapPicture(const TStandinHost& host);

/// The view centred on the own station that spans the drawn figures, or
/// about 100 km when nothing is drawn.
map::TViewport FitView(const TMapPicture& picture, double width, double height);

/// How many stations lie inside the last figure clients drew (as drawn);
/// nothing when no figure is drawn.
std::optional<int> StationsInsideFigure(const TMapPicture& picture);

/// The status line's words for that count ("12 stations inside the circle").
std::string InsideText(std::optional<int> inside);

/// The way the user moves around the map: it shows the view that fits the
/// figures (and follows them) until the wheel zooms or a drag moves it; Home
/// returns to the fitted view.
class TMapNavigation {
public:
    /// The view the user chose, or null while the map follows the figures.
    const map::TViewport* Chosen() const { return FChosen ? &*FChosen : nullptr; }
    void Choose(std::optional<map::TViewport> view) { FChosen = view; }
    void Home() { FChosen.reset(); }
    /// Remembers the fitted view of a paint, for the user's next move.
    void Painted(const TMapPicture& picture, double width, double height);
    /// The view shown in an area of that size.
    map::TViewport Current(double width, double height) const;

    /// Zooms by notches of the wheel (positive: in) keeping the position
    /// under pixel (x, y) where it is; false, and nothing changes, beyond
    /// the map's range (a whole continent to a few hundred metres across).
    bool Zoom(double notches, double x, double y, double width, double height);
    /// Moves the view with a drag of (dx, dy) pixels.
    void Drag(double dx, double dy, double width, double height);

private:
    std::optional<map::TViewport> FChosen;
    map::TViewport FLastFit{0, 0, 1, 1, 1, 1};
};

/// A colour with red, green and blue from 0 to 255 and an opacity.
struct TMapColour {
    std::uint8_t red = 0, green = 0, blue = 0, alpha = 255;
};
/// A host colour value (0x00BBGGRR).
TMapColour HostMapColour(std::uint32_t value);

inline constexpr TMapColour kMapBackground{0xF4, 0xF1, 0xE8};

struct TMapStroke {
    TMapColour colour;
    double width = 1.0;
    bool dashed = false;
};

/// The map's two kinds of text: the small one of the grid, the rings, the
/// scale bar, the call signs and clients' texts, and the own station's call
/// sign in bold.
enum class TMapFont { Small, Own };

/// Where the map is drawn: a painter of the toolkit in use. Positions are in
/// pixels from the top left corner; a text is placed by the left end of its
/// base line.
class IMapCanvas {
public:
    virtual ~IMapCanvas() = default;
    virtual void Line(map::TPoint from, map::TPoint to, const TMapStroke& stroke) = 0;
    virtual void Polyline(const std::vector<map::TPoint>& points, const TMapStroke& stroke) = 0;
    virtual void EllipseOutline(map::TPoint centre, double rx, double ry,
                                const TMapStroke& stroke) = 0;
    virtual void FillEllipse(map::TPoint centre, double rx, double ry, TMapColour fill) = 0;
    /// A rectangle filled with fill and outlined with stroke when one is given.
    virtual void Rectangle(const map::TBox& box, TMapColour fill,
                           const std::optional<TMapStroke>& stroke) = 0;
    virtual void Text(map::TPoint at, std::string_view utf8, TMapFont font, TMapColour colour) = 0;
    /// The box a text covers when placed at (0, 0).
    virtual map::TBox TextBox(std::string_view utf8, TMapFont font) = 0;
};

/// Paints the map into a canvas of the given size: graticule, range rings
/// around the own station, the stations with the call signs that leave room
/// for each other, what clients drew, and a scale bar. The view is the given
/// one, or, without one, the one that fits the drawn figures (FitView).
/// Figures are clipped to the view and values that are not finite are left
/// out, so the work done is bounded by the pixels drawn whatever numbers
/// clients send.
void PaintMap(IMapCanvas& canvas, double width, double height, const TMapPicture& picture,
              const map::TViewport* view = nullptr);

/// Draws the outline of an axis-aligned ellipse (centre and radii in pixels)
/// as far as it crosses the view; one that lies beside the view or all around
/// it draws nothing, and a huge one is drawn as line segments clipped to it.
void DrawEllipseOutline(IMapCanvas& canvas, const map::TBox& view, map::TPoint centre, double rx,
                        double ry, const TMapStroke& stroke);

} // namespace standin
