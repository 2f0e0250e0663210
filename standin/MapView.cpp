#include "standin/MapView.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPolygonF>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <optional>

namespace standin {

namespace {

constexpr int kRepaintIntervalMs = 250;
/// Beyond this radius in pixels an ellipse is drawn as clipped line segments:
/// the paint engine's own arcs are not made for such sizes.
constexpr double kLargeRadiusPixels = 20000.0;
constexpr int kLargeEllipseSegments = 8192;

bool Finite(double a, double b) {
    return std::isfinite(a) && std::isfinite(b);
}

bool Drawable(const TMapCall& call) {
    return call.kind == TMapCall::Kind::DrawCircle && Finite(call.x, call.y) &&
           std::isfinite(call.radius);
}

/// The part of the segment inside the rectangle (Liang-Barsky), if any.
std::optional<QLineF> ClipSegment(QPointF a, QPointF b, const QRectF& box) {
    const double dx = b.x() - a.x(), dy = b.y() - a.y();
    double t0 = 0.0, t1 = 1.0;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {a.x() - box.left(), box.right() - a.x(), a.y() - box.top(),
                         box.bottom() - a.y()};
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
    return QLineF(a.x() + t0 * dx, a.y() + t0 * dy, a.x() + t1 * dx, a.y() + t1 * dy);
}

} // namespace

void DrawEllipseOutline(QPainter& painter, const QRectF& view, QPointF centre, double rx,
                        double ry) {
    const double pen = painter.pen().widthF() + 1.0;
    // Entirely beside the view: the nearest point of the view is beyond the radius.
    const double nx = std::clamp(centre.x(), view.left(), view.right()) - centre.x();
    const double ny = std::clamp(centre.y(), view.top(), view.bottom()) - centre.y();
    if (std::hypot(nx / (rx + pen), ny / (ry + pen)) > 1.0)
        return;
    // Entirely around the view: every corner is inside the ellipse.
    const auto inside = [&](QPointF corner) {
        return std::hypot((corner.x() - centre.x()) / std::max(rx - pen, 0.0),
                          (corner.y() - centre.y()) / std::max(ry - pen, 0.0)) < 1.0;
    };
    if (rx > pen && ry > pen && inside(view.topLeft()) && inside(view.topRight()) &&
        inside(view.bottomLeft()) && inside(view.bottomRight()))
        return;
    if (std::max(rx, ry) <= kLargeRadiusPixels) {
        painter.drawEllipse(centre, rx, ry);
        return;
    }
    const QRectF box = view.adjusted(-pen, -pen, pen, pen);
    QPointF previous(centre.x() + rx, centre.y());
    for (int i = 1; i <= kLargeEllipseSegments; ++i) {
        const double angle = 2.0 * std::numbers::pi * i / kLargeEllipseSegments;
        const QPointF next(centre.x() + rx * std::cos(angle), centre.y() + ry * std::sin(angle));
        if (const auto part = ClipSegment(previous, next, box))
            painter.drawLine(*part);
        previous = next;
    }
}

QColor HostColour(std::uint32_t value) {
    return QColor(static_cast<int>(value & 0xFF), static_cast<int>((value >> 8) & 0xFF),
                  static_cast<int>((value >> 16) & 0xFF));
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

map::TViewport FitView(const TMapPicture& picture, QSizeF size) {
    const double cx = std::isfinite(picture.ownLong) ? picture.ownLong : 0.0;
    const double cy = std::isfinite(picture.ownLat) ? picture.ownLat : 0.0;
    return map::TViewport::Fit(cy, cx, FitExtent(picture), size.width(), size.height(),
                               map::LonFactor(cy));
}

std::optional<int> StationsInsideFigure(const TMapPicture& picture) {
    const TMapCall* figure = nullptr;
    for (const TMapCall& call : picture.drawings)
        if (Drawable(call))
            figure = &call;
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

namespace {

QPointF At(const map::TViewport& view, double lat, double lon) {
    const map::TPoint p = view.Project(lat, lon);
    return {p.x, p.y};
}

map::TBox Box(const QRectF& rect) {
    return {rect.left(), rect.top(), rect.width(), rect.height()};
}

const QColor kGridColour(0xD8, 0xD2, 0xC0);
const QColor kGridText(0xA0, 0x98, 0x80);
const QColor kRingColour(0x9A, 0xB8, 0x9A);

void PaintGraticule(QPainter& painter, const map::TViewport& view, const QRectF& area) {
    const double minPixels = 70.0;
    const double latStep = map::GraticuleStep(view.PixelsPerUnit(), minPixels);
    const double lonStep = map::GraticuleStep(view.PixelsPerUnit() * view.LonFactor(), minPixels);
    const map::TPoint topLeft = view.Unproject(0, 0);
    const map::TPoint bottomRight = view.Unproject(area.width(), area.height());
    painter.setFont(QFont(painter.font().family(), 7));
    const QFontMetricsF metrics(painter.font());
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
        const double x = At(view, view.CentreLat(), lon).x();
        painter.setPen(QPen(kGridColour, 1));
        painter.drawLine(QLineF(x, 0, x, area.height()));
        painter.setPen(kGridText);
        painter.drawText(QPointF(x + 2, metrics.ascent() + 1),
                         QString::fromStdString(map::GraticuleLabel(lon, false)));
    });
    lines(bottomRight.y, topLeft.y, latStep, [&](double lat) {
        const double y = At(view, lat, view.CentreLon()).y();
        painter.setPen(QPen(kGridColour, 1));
        painter.drawLine(QLineF(0, y, area.width(), y));
        painter.setPen(kGridText);
        painter.drawText(QPointF(2, y - 2), QString::fromStdString(map::GraticuleLabel(lat, true)));
    });
}

void PaintCoastlines(QPainter& painter, const map::TViewport& view, const QRectF& area,
                     const std::vector<TMapLine>& lines) {
    const map::TPoint topLeft = view.Unproject(0, 0);
    const map::TPoint bottomRight = view.Unproject(area.width(), area.height());
    const QPen shore(QColor(0x7A, 0x9C, 0xB8), 1.2),
        border(QColor(0xB0, 0x8C, 0xA8), 1, Qt::DashLine);
    QPolygonF polyline;
    for (const TMapLine& line : lines) {
        if (line.east < topLeft.x || line.west > bottomRight.x || line.north < bottomRight.y ||
            line.south > topLeft.y)
            continue;
        polyline.clear();
        for (std::size_t i = 0; i < line.lat.size(); ++i)
            polyline << At(view, line.lat[i], line.lon[i]);
        painter.setPen(line.border ? border : shore);
        painter.drawPolyline(polyline);
    }
}

void PaintRangeRings(QPainter& painter, const map::TViewport& view, const QRectF& area,
                     QPointF own) {
    // Out to the farthest corner of the view.
    double reachPixels = 0;
    for (const QPointF corner :
         {area.topLeft(), area.topRight(), area.bottomLeft(), area.bottomRight()})
        reachPixels = std::max(reachPixels, QLineF(own, corner).length());
    const double reachKm = reachPixels * view.KmPerPixel();
    const double spacing = map::RingSpacingKm(reachKm, 8);
    const double spacingPixels = spacing / view.KmPerPixel();
    if (!(spacingPixels >= 6.0) || !std::isfinite(reachKm))
        return;
    painter.setFont(QFont(painter.font().family(), 7));
    for (int k = 1; k <= 200 && k * spacing <= reachKm; ++k) {
        const double r = k * spacingPixels;
        painter.setPen(QPen(kRingColour, 1, Qt::DashLine));
        painter.setBrush(Qt::NoBrush);
        DrawEllipseOutline(painter, area, own, r, r);
        const QPointF label = own + QPointF(r * 0.7071 + 2, -r * 0.7071 - 2);
        if (area.contains(label)) {
            painter.setPen(kRingColour.darker(140));
            painter.drawText(label, QStringLiteral("%1 km").arg(k * spacing));
        }
    }
}

void PaintScaleBar(QPainter& painter, const map::TViewport& view, const QRectF& area) {
    const map::TScaleBar bar = map::ChooseScaleBar(view.KmPerPixel(), 120.0);
    if (!(bar.kmPixels > 0) || !(bar.milesPixels > 0))
        return;
    painter.setFont(QFont(painter.font().family(), 7));
    const QFontMetricsF metrics(painter.font());
    const double left = 10, bottom = area.height() - 10;
    const double width = std::max(bar.kmPixels, bar.milesPixels) + 8 +
                         metrics.horizontalAdvance(QStringLiteral("0000 km"));
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0xF4, 0xF1, 0xE8, 220));
    painter.drawRect(QRectF(left - 4, bottom - 30, width, 34));
    painter.setPen(QPen(Qt::black, 1.5));
    const auto barAt = [&](double y, double pixels, double value, bool miles) {
        painter.drawLine(QLineF(left, y, left + pixels, y));
        painter.drawLine(QLineF(left, y - 4, left, y + 4));
        painter.drawLine(QLineF(left + pixels, y - 4, left + pixels, y + 4));
        painter.drawText(QPointF(left + pixels + 5, y + metrics.ascent() / 2 - 1),
                         QString::fromStdString(map::ScaleText(value, miles)));
    };
    barAt(bottom - 20, bar.kmPixels, bar.km, false);
    barAt(bottom - 6, bar.milesPixels, bar.miles, true);
}

} // namespace

void PaintMap(QPainter& painter, QSizeF size, const TMapPicture& picture,
              const map::TViewport* chosen) {
    const QRectF area(QPointF(0, 0), size);
    const map::TViewport view =
        chosen ? chosen->Resized(size.width(), size.height()) : FitView(picture, size);
    const double scale = view.PixelsPerUnit();
    if (!(scale > 0.0) || !std::isfinite(scale) || !std::isfinite(view.CentreLat()) ||
        !std::isfinite(view.CentreLon()))
        return;
    const double ownLat = std::isfinite(picture.ownLat) ? picture.ownLat : 0.0;
    const double ownLon = std::isfinite(picture.ownLong) ? picture.ownLong : 0.0;
    // Text anchors may sit a little outside and still show.
    const QRectF textArea = area.adjusted(-200, -50, 50, 50);

    painter.setRenderHint(QPainter::Antialiasing);
    const QFont base = painter.font();
    if (picture.coastlines)
        PaintCoastlines(painter, view, area, *picture.coastlines);
    PaintGraticule(painter, view, area);
    const QPointF own = At(view, ownLat, ownLon);
    PaintRangeRings(painter, view, area, own);

    // Stations: dots everywhere in view; call signs where they leave room,
    // the nearest to the own station first.
    QFont small = base;
    small.setPointSizeF(7.0);
    QFont bold = small;
    bold.setBold(true);
    bold.setPointSizeF(9.0);
    const QFontMetricsF smallMetrics(small), boldMetrics(bold);
    const QString ownText = QString::fromStdString(picture.ownCallsign).toUpper();
    const QPointF ownTextAt = own + QPointF(6, 14);
    std::vector<map::TBox> labels;
    labels.push_back(Box(boldMetrics.boundingRect(ownText).translated(ownTextAt)));
    for (const TMapCall& call : picture.drawings)
        if (call.kind == TMapCall::Kind::DrawMapText && Finite(call.x, call.y))
            labels.push_back(Box(smallMetrics.boundingRect(QString::fromStdString(call.text))
                                     .translated(At(view, call.y, call.x))));
    const std::size_t fixedLabels = labels.size();

    struct TVisible {
        QPointF at;
        const TMapPicture::TStation* station;
        double distance;
    };
    std::vector<TVisible> visible;
    for (const TMapPicture::TStation& station : picture.stations) {
        if (!Finite(station.lon, station.lat))
            continue;
        const QPointF at = At(view, station.lat, station.lon);
        if (area.contains(at))
            visible.push_back({at, &station, QLineF(at, own).length()});
    }
    std::stable_sort(visible.begin(), visible.end(),
                     [](const TVisible& a, const TVisible& b) { return a.distance < b.distance; });
    for (const TVisible& v : visible) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(v.station->thirdParty ? QColor(0x8E, 0x44, 0xAD)
                         : v.station->rf       ? QColor(0x1F, 0x5F, 0xA8)
                                               : QColor(0xA0, 0xA0, 0xA0));
        painter.drawEllipse(v.at, 2.5, 2.5);
        labels.push_back(Box(smallMetrics.boundingRect(QString::fromStdString(v.station->callsign))
                                 .translated(v.at + QPointF(4, -3))));
    }
    // The own station's and the clients' texts are always drawn; station
    // labels give way to them and to each other.
    const std::vector<bool> shown = map::PlaceLabels(labels);
    painter.setFont(small);
    painter.setPen(QColor(0x40, 0x40, 0x40));
    for (std::size_t i = 0; i < visible.size(); ++i)
        if (shown[fixedLabels + i])
            painter.drawText(visible[i].at + QPointF(4, -3),
                             QString::fromStdString(visible[i].station->callsign));

    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(QColor(0xD0, 0x20, 0x20));
    painter.drawRect(QRectF(own - QPointF(4, 4), QSizeF(8, 8)));
    painter.setFont(bold);
    painter.drawText(ownTextAt, ownText);
    painter.setFont(small);

    // What clients drew: a circle, or an ellipse squeezed vertically by the aspect.
    for (const TMapCall& call : picture.drawings) {
        if (Drawable(call)) {
            painter.setPen(QPen(HostColour(call.colour), 2.5));
            painter.setBrush(Qt::NoBrush);
            const double rx = std::fabs(call.radius) * scale;
            const double aspect = std::isfinite(call.aspect) ? std::fabs(call.aspect) : 1.0;
            const double ry = rx * std::min(aspect, 1.0);
            DrawEllipseOutline(painter, area, At(view, call.y, call.x), rx, ry);
        } else if (call.kind == TMapCall::Kind::DrawMapText && Finite(call.x, call.y)) {
            const QPointF at = At(view, call.y, call.x);
            if (!textArea.contains(at))
                continue;
            painter.setPen(HostColour(call.colour));
            painter.drawText(at, QString::fromStdString(call.text));
        }
    }
    PaintScaleBar(painter, view, area);
    painter.setFont(base);
}

TMapView::TMapView(const TStandinHost& host, std::mutex& modelMutex, QWidget* parent)
    : QWidget(parent), FHost(host), FModelMutex(modelMutex) {
    setMinimumSize(320, 320);
    setAutoFillBackground(true);
    setMouseTracking(false);
    setCursor(Qt::OpenHandCursor);
    setToolTip(QStringLiteral("Wheel: zoom. Drag: move. Double click: back to the own station."));
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, QColor(0xF4, 0xF1, 0xE8));
    setPalette(palette);
    FRepaintTimer.setSingleShot(true);
    FRepaintTimer.setInterval(kRepaintIntervalMs);
    connect(&FRepaintTimer, &QTimer::timeout, this, [this] { update(); });
}

TMapPicture TMapView::Take() {
    TMapPicture picture;
    {
        std::lock_guard lock(FModelMutex);
        picture = TakeMapPicture(FHost);
    }
    picture.coastlines = FCoastlines;
    return picture;
}

void TMapView::SetCoastlines(std::shared_ptr<const std::vector<TMapLine>> lines) {
    FCoastlines = std::move(lines);
    update();
}

void TMapView::ModelChanged() {
    if (!FRepaintTimer.isActive())
        FRepaintTimer.start();
}

QImage TMapView::Render() {
    const TMapPicture picture = Take();
    QImage image(size(), QImage::Format_RGB32);
    image.fill(QColor(0xF4, 0xF1, 0xE8));
    QPainter painter(&image);
    PaintMap(painter, QSizeF(size()), picture, FView ? &*FView : nullptr);
    return image;
}

void TMapView::paintEvent(QPaintEvent*) {
    const TMapPicture picture = Take();
    {
        QPainter painter(this);
        PaintMap(painter, QSizeF(size()), picture, FView ? &*FView : nullptr);
    }
    FLastFit = FitView(picture, QSizeF(size()));
    const std::optional<int> inside = StationsInsideFigure(picture);
    if (!FInsideTold || inside != FInside) {
        FInsideTold = true;
        FInside = inside;
        if (OnInsideCountChanged)
            OnInsideCountChanged(inside);
    }
}

map::TViewport TMapView::CurrentView() const {
    const map::TViewport view = FView ? *FView : FLastFit;
    return view.Resized(width(), height());
}

void TMapView::SetView(std::optional<map::TViewport> view) {
    FView = view;
    update();
}

void TMapView::wheelEvent(QWheelEvent* event) {
    const double steps = event->angleDelta().y() / 120.0;
    if (steps == 0.0)
        return;
    const map::TViewport view = CurrentView();
    // Between a whole continent and a few hundred metres across.
    const double factor = std::pow(1.25, steps);
    const double scale = view.PixelsPerUnit() * factor;
    if (scale < 0.05 || scale > 2000.0)
        return;
    const QPointF at = event->position();
    SetView(view.ZoomedAt(factor, at.x(), at.y()));
    event->accept();
}

void TMapView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    FDragFrom = event->position();
    setCursor(Qt::ClosedHandCursor);
}

void TMapView::mouseMoveEvent(QMouseEvent* event) {
    if (!FDragFrom)
        return;
    const QPointF delta = event->position() - *FDragFrom;
    FDragFrom = event->position();
    SetView(CurrentView().Dragged(delta.x(), delta.y()));
}

void TMapView::mouseReleaseEvent(QMouseEvent*) {
    FDragFrom.reset();
    setCursor(Qt::OpenHandCursor);
}

void TMapView::mouseDoubleClickEvent(QMouseEvent*) {
    SetView(std::nullopt);
}

} // namespace standin
