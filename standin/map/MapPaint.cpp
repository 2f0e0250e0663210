#include "standin/map/MapPaint.h"

#include "aloha/MapDrawCalls.h"

#include "support/TextRules.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <optional>

namespace standin {

namespace {

/// Beyond this radius in pixels an ellipse is drawn as clipped line segments:
/// painters are not made for arcs of such sizes.
constexpr double kLargeRadiusPixels = 20000.0;
constexpr int kLargeEllipseSegments = 8192;

using map::TBox;
using map::TPoint;

bool Finite(double a, double b) {
    return std::isfinite(a) && std::isfinite(b);
}

bool Drawable(const TMapCall& call) {
    return call.kind == TMapCall::Kind::DrawCircle && Finite(call.x, call.y) &&
           std::isfinite(call.radius);
}

bool Contains(const TBox& box, TPoint p) {
    return p.x >= box.left && p.x <= box.left + box.width && p.y >= box.top &&
           p.y <= box.top + box.height;
}

TBox Moved(TBox box, TPoint by) {
    box.left += by.x;
    box.top += by.y;
    return box;
}

TPoint Plus(TPoint p, double dx, double dy) {
    return {p.x + dx, p.y + dy};
}

double Distance(TPoint a, TPoint b) {
    return std::hypot(a.x - b.x, a.y - b.y);
}

/// The part of the segment inside the box (Liang-Barsky), if any.
std::optional<std::pair<TPoint, TPoint>> ClipSegment(TPoint a, TPoint b, const TBox& box) {
    const double dx = b.x - a.x, dy = b.y - a.y;
    double t0 = 0.0, t1 = 1.0;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {a.x - box.left, box.left + box.width - a.x, a.y - box.top,
                         box.top + box.height - a.y};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0.0) {
            if (q[i] < 0.0)
                return std::nullopt;
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0.0)
            t0 = std::max(t0, t);
        else
            t1 = std::min(t1, t);
        if (t0 > t1)
            return std::nullopt;
    }
    return std::pair{TPoint{a.x + t0 * dx, a.y + t0 * dy}, TPoint{a.x + t1 * dx, a.y + t1 * dy}};
}

} // namespace

void DrawEllipseOutline(IMapCanvas& canvas, const TBox& view, TPoint centre, double rx, double ry,
                        const TMapStroke& stroke) {
    const double pen = stroke.width + 1.0;
    const double right = view.left + view.width, bottom = view.top + view.height;
    // Entirely beside the view: the nearest point of the view is beyond the radius.
    const double nx = std::clamp(centre.x, view.left, right) - centre.x;
    const double ny = std::clamp(centre.y, view.top, bottom) - centre.y;
    if (std::hypot(nx / (rx + pen), ny / (ry + pen)) > 1.0)
        return;
    // Entirely around the view: every corner is inside the ellipse.
    const auto inside = [&](double x, double y) {
        return std::hypot((x - centre.x) / std::max(rx - pen, 0.0),
                          (y - centre.y) / std::max(ry - pen, 0.0)) < 1.0;
    };
    if (rx > pen && ry > pen && inside(view.left, view.top) && inside(right, view.top) &&
        inside(view.left, bottom) && inside(right, bottom))
        return;
    if (std::max(rx, ry) <= kLargeRadiusPixels) {
        canvas.EllipseOutline(centre, rx, ry, stroke);
        return;
    }
    const TBox box{view.left - pen, view.top - pen, view.width + 2 * pen, view.height + 2 * pen};
    TPoint previous{centre.x + rx, centre.y};
    for (int i = 1; i <= kLargeEllipseSegments; ++i) {
        const double angle = 2.0 * std::numbers::pi * i / kLargeEllipseSegments;
        const TPoint next{centre.x + rx * std::cos(angle), centre.y + ry * std::sin(angle)};
        if (const auto part = ClipSegment(previous, next, box))
            canvas.Line(part->first, part->second, stroke);
        previous = next;
    }
}

TMapColour HostMapColour(std::uint32_t value) {
    return {static_cast<std::uint8_t>(value & 0xFF), static_cast<std::uint8_t>((value >> 8) & 0xFF),
            static_cast<std::uint8_t>((value >> 16) & 0xFF)};
}

TMapPicture TakeMapPicture(const TStandinHost& host) {
    const TScenario& scenario = host.Scenario();
    TMapPicture picture;
    picture.ownLat = scenario.ownLat;
    picture.ownLong = scenario.ownLong;
    picture.ownCallsign = scenario.ownCallsign;
    picture.stations.reserve(scenario.stations.size());
    for (const TScenarioStation& station : scenario.stations)
        picture.stations.push_back({station.lat, station.lon, !station.lastHeardRF.empty(),
                                    station.thirdParty != 0, station.callsign});
    for (const TMapCall& call : host.Scene()) {
        if (call.kind == TMapCall::Kind::DrawCircle || call.kind == TMapCall::Kind::DrawMapText)
            picture.drawings.push_back(call);
    }
    return picture;
}

namespace {

double FitExtent(const TMapPicture& picture) {
    const double cx = std::isfinite(picture.ownLong) ? picture.ownLong : 0.0;
    const double cy = std::isfinite(picture.ownLat) ? picture.ownLat : 0.0;
    // The figures, or about 100 km around the own station, with a margin.
    double extent = 55.0;
    for (const TMapCall& call : picture.drawings) {
        if (!Drawable(call))
            continue;
        const double radius = std::fabs(call.radius);
        extent =
            std::max({extent, std::fabs(call.x - cx) + radius, std::fabs(call.y - cy) + radius});
    }
    return extent * 1.15;
}

} // namespace

map::TViewport FitView(const TMapPicture& picture, double width, double height) {
    const double cx = std::isfinite(picture.ownLong) ? picture.ownLong : 0.0;
    const double cy = std::isfinite(picture.ownLat) ? picture.ownLat : 0.0;
    return map::TViewport::Fit(cy, cx, FitExtent(picture), width, height, map::LonFactor(cy));
}

std::optional<int> StationsInsideFigure(const TMapPicture& picture) {
    // The run's own figure, drawn last: a measured figure drawn after it
    // (in its own colour) is not the circle the status line speaks of.
    const TMapCall* figure = nullptr;
    const TMapCall* measured = nullptr;
    for (const TMapCall& call : picture.drawings)
        if (Drawable(call))
            (call.colour == aloha::kMeasuredColour ? measured : figure) = &call;
    if (!figure)
        figure = measured;
    if (!figure)
        return std::nullopt;
    const double lonFactor = map::LonFactor(std::isfinite(picture.ownLat) ? picture.ownLat : 0.0);
    int count = 0;
    for (const TMapPicture::TStation& station : picture.stations)
        count += Finite(station.lat, station.lon) &&
                 map::InsideFigure(station.lat, station.lon, figure->y, figure->x, figure->radius,
                                   figure->aspect, lonFactor);
    return count;
}

void TMapNavigation::Painted(const TMapPicture& picture, double width, double height) {
    FLastFit = FitView(picture, width, height);
}

map::TViewport TMapNavigation::Current(double width, double height) const {
    return (FChosen ? *FChosen : FLastFit).Resized(width, height);
}

bool TMapNavigation::Zoom(double notches, double x, double y, double width, double height) {
    if (notches == 0.0 || !std::isfinite(notches))
        return false;
    const map::TViewport view = Current(width, height);
    const double factor = std::pow(1.25, notches);
    const double scale = view.PixelsPerUnit() * factor;
    if (scale < 0.05 || scale > 2000.0)
        return false;
    FChosen = view.ZoomedAt(factor, x, y);
    return true;
}

void TMapNavigation::Drag(double dx, double dy, double width, double height) {
    FChosen = Current(width, height).Dragged(dx, dy);
}

std::string InsideText(std::optional<int> inside) {
    return inside ? std::to_string(*inside) + " stations inside the circle" : std::string();
}

namespace {

constexpr TMapColour kGridColour{0xD8, 0xD2, 0xC0};
constexpr TMapColour kGridText{0xA0, 0x98, 0x80};
constexpr TMapColour kRingColour{0x9A, 0xB8, 0x9A};
constexpr TMapColour kRingText{0x6E, 0x83, 0x6E};
constexpr TMapColour kBlack{0, 0, 0};

TPoint At(const map::TViewport& view, double lat, double lon) {
    return view.Project(lat, lon);
}

void PaintGraticule(IMapCanvas& canvas, const map::TViewport& view, const TBox& area) {
    const double minPixels = 70.0;
    const double latStep = map::GraticuleStep(view.PixelsPerUnit(), minPixels);
    const double lonStep = map::GraticuleStep(view.PixelsPerUnit() * view.LonFactor(), minPixels);
    const TPoint topLeft = view.Unproject(0, 0);
    const TPoint bottomRight = view.Unproject(area.width, area.height);
    const double ascent = -canvas.TextBox("0", TMapFont::Small).top;
    const TMapStroke grid{kGridColour, 1};
    // Never more lines than the view has room for, whatever the numbers.
    const auto lines = [](double from, double to, double step, auto&& draw) {
        const double first = std::ceil(std::min(from, to) / step) * step;
        for (int k = 0; k < 200; ++k) {
            const double g = first + k * step;
            if (g > std::max(from, to))
                break;
            draw(g);
        }
    };
    lines(topLeft.x, bottomRight.x, lonStep, [&](double lon) {
        const double x = At(view, view.CentreLat(), lon).x;
        canvas.Line({x, 0}, {x, area.height}, grid);
        canvas.Text({x + 2, ascent + 1}, map::GraticuleLabel(lon, false), TMapFont::Small,
                    kGridText);
    });
    lines(bottomRight.y, topLeft.y, latStep, [&](double lat) {
        const double y = At(view, lat, view.CentreLon()).y;
        canvas.Line({0, y}, {area.width, y}, grid);
        canvas.Text({2, y - 2}, map::GraticuleLabel(lat, true), TMapFont::Small, kGridText);
    });
}

void PaintCoastlines(IMapCanvas& canvas, const map::TViewport& view, const TBox& area,
                     const std::vector<TMapLine>& lines) {
    const TPoint topLeft = view.Unproject(0, 0);
    const TPoint bottomRight = view.Unproject(area.width, area.height);
    const TMapStroke shore{{0x7A, 0x9C, 0xB8}, 1.2}, border{{0xB0, 0x8C, 0xA8}, 1, true};
    std::vector<TPoint> polyline;
    for (const TMapLine& line : lines) {
        if (line.east < topLeft.x || line.west > bottomRight.x || line.north < bottomRight.y ||
            line.south > topLeft.y)
            continue;
        polyline.clear();
        for (std::size_t i = 0; i < line.lat.size(); ++i)
            polyline.push_back(At(view, line.lat[i], line.lon[i]));
        canvas.Polyline(polyline, line.border ? border : shore);
    }
}

std::string KmText(double km) {
    char text[32];
    std::snprintf(text, sizeof text, "%g km", km);
    return text;
}

void PaintRangeRings(IMapCanvas& canvas, const map::TViewport& view, const TBox& area, TPoint own) {
    // Out to the farthest corner of the view.
    double reachPixels = 0;
    const double right = area.left + area.width, bottom = area.top + area.height;
    for (const TPoint corner : {TPoint{area.left, area.top}, TPoint{right, area.top},
                                TPoint{area.left, bottom}, TPoint{right, bottom}})
        reachPixels = std::max(reachPixels, Distance(own, corner));
    const double reachKm = reachPixels * view.KmPerPixel();
    const double spacing = map::RingSpacingKm(reachKm, 8);
    const double spacingPixels = spacing / view.KmPerPixel();
    if (!(spacingPixels >= 6.0) || !std::isfinite(reachKm))
        return;
    const TMapStroke ring{kRingColour, 1, true};
    for (int k = 1; k <= 200 && k * spacing <= reachKm; ++k) {
        const double r = k * spacingPixels;
        DrawEllipseOutline(canvas, area, own, r, r, ring);
        const TPoint label = Plus(own, r * 0.7071 + 2, -r * 0.7071 - 2);
        if (Contains(area, label))
            canvas.Text(label, KmText(k * spacing), TMapFont::Small, kRingText);
    }
}

void PaintScaleBar(IMapCanvas& canvas, const map::TViewport& view, const TBox& area) {
    const map::TScaleBar bar = map::ChooseScaleBar(view.KmPerPixel(), 120.0);
    if (!(bar.kmPixels > 0) || !(bar.milesPixels > 0))
        return;
    const double ascent = -canvas.TextBox("0", TMapFont::Small).top;
    const double left = 10, bottom = area.height - 10;
    const double width = std::max(bar.kmPixels, bar.milesPixels) + 8 +
                         canvas.TextBox("0000 km", TMapFont::Small).width;
    canvas.Rectangle({left - 4, bottom - 30, width, 34}, {0xF4, 0xF1, 0xE8, 220}, std::nullopt);
    const TMapStroke pen{kBlack, 1.5};
    const auto barAt = [&](double y, double pixels, double value, bool miles) {
        canvas.Line({left, y}, {left + pixels, y}, pen);
        canvas.Line({left, y - 4}, {left, y + 4}, pen);
        canvas.Line({left + pixels, y - 4}, {left + pixels, y + 4}, pen);
        canvas.Text({left + pixels + 5, y + ascent / 2 - 1}, map::ScaleText(value, miles),
                    TMapFont::Small, kBlack);
    };
    barAt(bottom - 20, bar.kmPixels, bar.km, false);
    barAt(bottom - 6, bar.milesPixels, bar.miles, true);
}

} // namespace

void PaintMap(IMapCanvas& canvas, double width, double height, const TMapPicture& picture,
              const map::TViewport* chosen) {
    const TBox area{0, 0, width, height};
    const map::TViewport view =
        chosen ? chosen->Resized(width, height) : FitView(picture, width, height);
    const double scale = view.PixelsPerUnit();
    if (!(scale > 0.0) || !std::isfinite(scale) || !std::isfinite(view.CentreLat()) ||
        !std::isfinite(view.CentreLon()))
        return;
    const double ownLat = std::isfinite(picture.ownLat) ? picture.ownLat : 0.0;
    const double ownLon = std::isfinite(picture.ownLong) ? picture.ownLong : 0.0;
    // Text anchors may sit a little outside and still show.
    const TBox textArea{-200, -50, width + 250, height + 100};

    if (picture.coastlines)
        PaintCoastlines(canvas, view, area, *picture.coastlines);
    PaintGraticule(canvas, view, area);
    const TPoint own = At(view, ownLat, ownLon);
    PaintRangeRings(canvas, view, area, own);

    // Stations: dots everywhere in view; call signs where they leave room,
    // the nearest to the own station first.
    const std::string ownText = support::UpperAscii(picture.ownCallsign);
    const TPoint ownTextAt = Plus(own, 6, 14);
    std::vector<TBox> labels;
    labels.push_back(Moved(canvas.TextBox(ownText, TMapFont::Own), ownTextAt));
    for (const TMapCall& call : picture.drawings)
        if (call.kind == TMapCall::Kind::DrawMapText && Finite(call.x, call.y))
            labels.push_back(
                Moved(canvas.TextBox(call.text, TMapFont::Small), At(view, call.y, call.x)));
    const std::size_t fixedLabels = labels.size();

    struct TVisible {
        TPoint at;
        const TMapPicture::TStation* station;
        double distance;
    };
    std::vector<TVisible> visible;
    for (const TMapPicture::TStation& station : picture.stations) {
        if (!Finite(station.lon, station.lat))
            continue;
        const TPoint at = At(view, station.lat, station.lon);
        if (Contains(area, at))
            visible.push_back({at, &station, Distance(at, own)});
    }
    std::stable_sort(visible.begin(), visible.end(),
                     [](const TVisible& a, const TVisible& b) { return a.distance < b.distance; });
    for (const TVisible& v : visible) {
        const TMapColour dot = v.station->thirdParty ? TMapColour{0x8E, 0x44, 0xAD}
                               : v.station->rf       ? TMapColour{0x1F, 0x5F, 0xA8}
                                                     : TMapColour{0xA0, 0xA0, 0xA0};
        canvas.FillEllipse(v.at, 2.5, 2.5, dot);
        labels.push_back(
            Moved(canvas.TextBox(v.station->callsign, TMapFont::Small), Plus(v.at, 4, -3)));
    }
    // The own station's and the clients' texts are always drawn; station
    // labels give way to them and to each other.
    const std::vector<bool> shown = map::PlaceLabels(labels);
    for (std::size_t i = 0; i < visible.size(); ++i)
        if (shown[fixedLabels + i])
            canvas.Text(Plus(visible[i].at, 4, -3), visible[i].station->callsign, TMapFont::Small,
                        {0x40, 0x40, 0x40});

    canvas.Rectangle({own.x - 4, own.y - 4, 8, 8}, {0xD0, 0x20, 0x20}, TMapStroke{kBlack, 1});
    canvas.Text(ownTextAt, ownText, TMapFont::Own, kBlack);

    // What clients drew: a circle, or an ellipse squeezed vertically by the aspect.
    for (const TMapCall& call : picture.drawings) {
        if (Drawable(call)) {
            const double rx = std::fabs(call.radius) * scale;
            const double aspect = std::isfinite(call.aspect) ? std::fabs(call.aspect) : 1.0;
            const double ry = rx * std::min(aspect, 1.0);
            DrawEllipseOutline(canvas, area, At(view, call.y, call.x), rx, ry,
                               {HostMapColour(call.colour), 2.5});
        } else if (call.kind == TMapCall::Kind::DrawMapText && Finite(call.x, call.y)) {
            const TPoint at = At(view, call.y, call.x);
            if (Contains(textArea, at))
                canvas.Text(at, call.text, TMapFont::Small, HostMapColour(call.colour));
        }
    }
    PaintScaleBar(canvas, view, area);
}

} // namespace standin
