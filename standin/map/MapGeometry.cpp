#include "standin/map/MapGeometry.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <numbers>
#include <unordered_map>

namespace standin::map {

bool TBox::Overlaps(const TBox& other) const {
    return left < other.left + other.width && other.left < left + width &&
           top < other.top + other.height && other.top < top + height;
}

double LonFactor(double lat) {
    // Near the poles the factor would vanish; a floor keeps the map usable.
    const double factor = std::cos(lat / 60.0 * std::numbers::pi / 180.0);
    return std::isfinite(factor) ? std::max(factor, 0.01) : 1.0;
}

TViewport::TViewport(double centreLat, double centreLon, double pixelsPerUnit, double width,
                     double height, double lonFactor)
    : FLat(centreLat), FLon(centreLon), FScale(pixelsPerUnit), FWidth(width), FHeight(height),
      FLonFactor(lonFactor) {}

TViewport TViewport::Fit(double centreLat, double centreLon, double extent, double width,
                         double height, double lonFactor) {
    return TViewport(centreLat, centreLon, std::min(width, height) / (2.0 * extent), width, height,
                     lonFactor);
}

TViewport TViewport::Resized(double width, double height) const {
    return TViewport(FLat, FLon, FScale, width, height, FLonFactor);
}

TPoint TViewport::Project(double lat, double lon) const {
    return {FWidth / 2.0 + (lon - FLon) * FLonFactor * FScale,
            FHeight / 2.0 - (lat - FLat) * FScale};
}

TPoint TViewport::Unproject(double x, double y) const {
    return {FLon + (x - FWidth / 2.0) / (FScale * FLonFactor), FLat - (y - FHeight / 2.0) / FScale};
}

TViewport TViewport::ZoomedAt(double factor, double x, double y) const {
    const TPoint at = Unproject(x, y);
    const double scale = FScale * factor;
    // The new centre puts the position under (x, y) back at (x, y).
    const double lat = at.y + (y - FHeight / 2.0) / scale;
    const double lon = at.x - (x - FWidth / 2.0) / (scale * FLonFactor);
    return TViewport(lat, lon, scale, FWidth, FHeight, FLonFactor);
}

TViewport TViewport::Dragged(double dx, double dy) const {
    const TPoint centre = Unproject(FWidth / 2.0 - dx, FHeight / 2.0 - dy);
    return TViewport(centre.y, centre.x, FScale, FWidth, FHeight, FLonFactor);
}

namespace {

/// The largest 1, 2 or 5 times a power of ten not above limit (limit > 0).
double RoundDown125(double limit) {
    const double power = std::pow(10.0, std::floor(std::log10(limit)));
    for (const double m : {5.0, 2.0, 1.0})
        if (m * power <= limit)
            return m * power;
    return power;
}

} // namespace

TScaleBar ChooseScaleBar(double kmPerPixel, double maxPixels) {
    TScaleBar bar;
    if (!(kmPerPixel > 0) || !std::isfinite(kmPerPixel) || !(maxPixels > 0))
        return bar;
    bar.km = RoundDown125(kmPerPixel * maxPixels);
    bar.kmPixels = bar.km / kmPerPixel;
    bar.miles = RoundDown125(kmPerPixel * maxPixels / kKmPerMile);
    bar.milesPixels = bar.miles * kKmPerMile / kmPerPixel;
    return bar;
}

std::string ScaleText(double value, bool miles) {
    char text[32];
    if (!miles && value < 1.0)
        std::snprintf(text, sizeof text, "%g m", value * 1000.0);
    else
        std::snprintf(text, sizeof text, "%g %s", value, miles ? "mi" : "km");
    return text;
}

double GraticuleStep(double pixelsPerUnit, double minPixels) {
    static constexpr std::array<double, 12> kSteps{1,  2,   5,   10,  15,  30,
                                                   60, 120, 300, 600, 900, 1800};
    for (const double step : kSteps)
        if (step * pixelsPerUnit >= minPixels)
            return step;
    return kSteps.back();
}

std::string GraticuleLabel(double units, bool latitude) {
    const char hemisphere = latitude ? (units < 0 ? 'S' : 'N') : (units < 0 ? 'W' : 'E');
    const long total = std::lround(std::fabs(units));
    char text[32];
    if (total % 60 == 0)
        std::snprintf(text, sizeof text, "%ld\u00B0%c", total / 60, hemisphere);
    else
        std::snprintf(text, sizeof text, "%ld\u00B0%02ld'%c", total / 60, total % 60, hemisphere);
    return text;
}

double RingSpacingKm(double reachKm, int maxRings) {
    for (const double spacing : {10.0, 25.0, 50.0})
        if (reachKm / spacing <= maxRings)
            return spacing;
    return 50.0;
}

std::vector<bool> PlaceLabels(const std::vector<TBox>& labels) {
    // Labels shown so far, filed by the cells of a coarse grid they touch, so
    // that each new label is checked only against its neighbours.
    constexpr double kCell = 64.0, kFarOff = 1e9;
    std::vector<bool> shown(labels.size(), false);
    std::unordered_map<std::int64_t, std::vector<std::size_t>> cells;
    const auto cellsOf = [&](const TBox& box, auto&& visit) {
        const auto first = [](double v) {
            return static_cast<std::int64_t>(std::floor(v / kCell));
        };
        for (std::int64_t cy = first(box.top); cy <= first(box.top + box.height); ++cy)
            for (std::int64_t cx = first(box.left); cx <= first(box.left + box.width); ++cx)
                if (!visit(cy * 1000003 + cx))
                    return false;
        return true;
    };
    for (std::size_t i = 0; i < labels.size(); ++i) {
        const TBox& box = labels[i];
        // A label far off any screen is not placed (nor would it be seen).
        if (!(std::fabs(box.left) < kFarOff) || !(std::fabs(box.top) < kFarOff) ||
            !(box.width >= 0 && box.width < 4096) || !(box.height >= 0 && box.height < 4096))
            continue;
        const bool free = cellsOf(box, [&](std::int64_t key) {
            const auto found = cells.find(key);
            return found == cells.end() ||
                   std::none_of(found->second.begin(), found->second.end(),
                                [&](std::size_t j) { return labels[j].Overlaps(box); });
        });
        if (!free)
            continue;
        shown[i] = true;
        cellsOf(box, [&](std::int64_t key) {
            cells[key].push_back(i);
            return true;
        });
    }
    return shown;
}

bool InsideFigure(double lat, double lon, double centreLat, double centreLon, double radius,
                  double aspect, double lonFactor) {
    const double rx = std::fabs(radius);
    const double ry = rx * std::min(std::isfinite(aspect) ? std::fabs(aspect) : 1.0, 1.0);
    if (!(rx > 0) || !(ry > 0))
        return false;
    const double dx = (lon - centreLon) * lonFactor / rx;
    const double dy = (lat - centreLat) / ry;
    return dx * dx + dy * dy <= 1.0;
}

} // namespace standin::map
