#pragma once

#include "standin/MapPaint.h"

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

} // namespace maptest
