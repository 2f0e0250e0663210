#pragma once

#include "standin/map/MapPaint.h"

#include <limits>
#include <string>

/// Pictures for the map tests of both stand-in hosts (Qt and GDI).
namespace maptest {

/// An empty map around the own station (host units).
inline standin::TMapPicture Own(double lat, double lon) {
    standin::TMapPicture picture;
    picture.ownLat = lat;
    picture.ownLong = lon;
    picture.ownCallsign = "n0call";
    return picture;
}

/// A whole red circle, or an ellipse squeezed by aspect, as Velloran draws it.
inline standin::TMapCall Circle(double x, double y, double radius, double aspect = 1.0) {
    return standin::TMapCall::Circle(static_cast<float>(x), static_cast<float>(y),
                                     static_cast<float>(radius), 0x0000FF, 6.2831855f,
                                     6.283185307179586, static_cast<float>(aspect));
}

/// A red circle at the own station among figures, texts and stations whose
/// numbers are infinite, not numbers, or at the edge of the single range:
/// painting it must end, and still show the ordinary circle.
inline standin::TMapPicture ExtremePicture() {
    constexpr double inf = std::numeric_limits<double>::infinity();
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    standin::TMapPicture picture = Own(2580, -4200);
    for (const double radius : {1e300, inf, -inf, nan})
        picture.drawings.push_back(Circle(-4200, 2580, radius));
    picture.drawings.push_back(Circle(nan, 2580, 10));
    picture.drawings.push_back(Circle(-4200, 2580, 20, nan));
    picture.drawings.push_back(standin::TMapCall::Text("far", 3e38f, -3e38f, 0, {}));
    picture.drawings.push_back(
        standin::TMapCall::Text("nowhere", static_cast<float>(inf), 0, 0, {}));
    picture.stations.push_back({nan, inf, true, false, "BAD"});
    picture.stations.push_back({3e38, -3e38, true, false, "FAR"});
    picture.drawings.push_back(Circle(-4200, 2580, 20));
    return picture;
}

/// Circles far beyond any painter's coordinates, that still cross the view.
inline void AddHugeCircles(standin::TMapPicture& picture) {
    picture.drawings.push_back(Circle(-4200, 2580, 3e38));
    picture.drawings.push_back(Circle(3e38, -3e38, 3e38, 0.5));
}

} // namespace maptest
