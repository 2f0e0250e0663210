#pragma once

#include <string>
#include <vector>

/// The geometry of the stand-in host's map, apart from any drawing: where a
/// position lands on the screen, how far a pixel reaches, which scale bar,
/// grid and range rings suit a zoom, and which call-sign labels fit.
///
/// Positions are in host units: 60 a degree, north and east positive. One unit
/// of latitude is one nautical mile. Longitude is shrunk by the cosine of the
/// centre's latitude, so that distances read the same in every direction.
namespace standin::map {

inline constexpr double kKmPerUnit = 1.852;
inline constexpr double kKmPerMile = 1.609344;

struct TPoint {
    double x = 0, y = 0;
};

struct TBox {
    double left = 0, top = 0, width = 0, height = 0;
    bool Overlaps(const TBox& other) const;
};

/// A view of the map: its centre, its zoom and its size in pixels. Longitude
/// is shrunk by lonFactor, fixed for a map (LonFactor of the own station's
/// latitude) so that panning does not bend it.
class TViewport {
public:
    TViewport(double centreLat, double centreLon, double pixelsPerUnit, double width, double height,
              double lonFactor);

    /// The view that shows extent units of latitude each side of the centre
    /// in the shorter side of a width × height area.
    static TViewport Fit(double centreLat, double centreLon, double extent, double width,
                         double height, double lonFactor);

    /// The same view in an area of another size.
    TViewport Resized(double width, double height) const;

    TPoint Project(double lat, double lon) const;
    /// Latitude and longitude (host units) under a pixel.
    TPoint Unproject(double x, double y) const; ///< x = lon, y = lat

    /// Zooms by factor, keeping the position under pixel (x, y) where it is.
    TViewport ZoomedAt(double factor, double x, double y) const;
    /// Moves the view by a drag of (dx, dy) pixels.
    TViewport Dragged(double dx, double dy) const;

    double CentreLat() const { return FLat; }
    double CentreLon() const { return FLon; }
    double PixelsPerUnit() const { return FScale; }
    double KmPerPixel() const { return kKmPerUnit / FScale; }
    double Width() const { return FWidth; }
    double Height() const { return FHeight; }
    double LonFactor() const { return FLonFactor; }

private:
    double FLat, FLon, FScale, FWidth, FHeight, FLonFactor;
};

/// A bar of a round length (1, 2 or 5 times a power of ten) no longer than
/// maxPixels, in km and in miles.
struct TScaleBar {
    double km = 0, kmPixels = 0;
    double miles = 0, milesPixels = 0;
};
TScaleBar ChooseScaleBar(double kmPerPixel, double maxPixels);

/// A text for a bar length: "500 m", "2 km", "0.5 mi", "20 mi".
std::string ScaleText(double value, bool miles);

/// The graticule step in host units (minutes of arc): the finest of 1', 2',
/// 5', 10', 15', 30', 1°, 2°, 5°, 10°, 15°, 30° that leaves at least
/// minPixels between lines.
double GraticuleStep(double pixelsPerUnit, double minPixels);

/// A latitude or longitude in host units as text, "41°45'N", "72°30'W".
std::string GraticuleLabel(double units, bool latitude);

/// Range rings every 10, 25 or 50 km: the finest that draws no more than
/// maxRings rings out to reachKm.
double RingSpacingKm(double reachKm, int maxRings);

/// Which labels to show: each in turn, unless it would cover one already
/// shown. Give the labels that matter most first.
std::vector<bool> PlaceLabels(const std::vector<TBox>& labels);

/// Whether a position lies inside a drawn figure: a circle of radius units
/// around (centreLat, centreLon), squeezed north-south by aspect when that is
/// below 1 (as the map draws it).
bool InsideFigure(double lat, double lon, double centreLat, double centreLon, double radius,
                  double aspect, double lonFactor);

/// The factor that shrinks longitude at a latitude (host units).
double LonFactor(double lat);

} // namespace standin::map
