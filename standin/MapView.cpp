#include "standin/MapView.h"

#include <QPainter>

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

void PaintMap(QPainter& painter, QSizeF size, const TMapPicture& picture) {
    const QRectF view(QPointF(0, 0), size);
    const double cx = std::isfinite(picture.ownLong) ? picture.ownLong : 0.0;
    const double cy = std::isfinite(picture.ownLat) ? picture.ownLat : 0.0;
    const auto drawable = [](const TMapCall& call) {
        return call.kind == TMapCall::Kind::DrawCircle && Finite(call.x, call.y) &&
               std::isfinite(call.radius);
    };

    // Extent in host units: the figures, or about 100 km around the own station.
    double extent = 55.0;
    for (const TMapCall& call : picture.drawings) {
        if (!drawable(call))
            continue;
        const double radius = std::fabs(call.radius);
        extent =
            std::max({extent, std::fabs(call.x - cx) + radius, std::fabs(call.y - cy) + radius});
    }
    extent *= 1.15;
    const double scale = std::min(size.width(), size.height()) / (2.0 * extent);
    if (!(scale > 0.0) || !std::isfinite(scale))
        return;
    const auto toScreen = [&](double x, double y) {
        return QPointF(size.width() / 2.0 + (x - cx) * scale,
                       size.height() / 2.0 - (y - cy) * scale);
    };
    // Text anchors may sit a little outside and still show.
    const QRectF textArea = view.adjusted(-200, -50, 50, 50);

    painter.setRenderHint(QPainter::Antialiasing);
    QFont small = painter.font();
    small.setPointSizeF(7.0);
    painter.setFont(small);

    // Grid: one line a degree, or every ten, hundred, ... degrees when the
    // lines would crowd; never more lines than the view has room for.
    painter.setPen(QPen(QColor(0xD8, 0xD2, 0xC0), 1));
    double step = 60.0;
    while (step * scale < 8.0 && std::isfinite(step))
        step *= 10.0;
    const auto gridLines = [&](double centre, double span, auto&& draw) {
        const double first = std::floor((centre - extent) / step) * step;
        const double count = std::min(std::ceil(2.0 * extent / step) + 1.0, span / 8.0 + 2.0);
        for (int k = 0; k < static_cast<int>(count); ++k)
            draw(first + k * step);
    };
    if (std::isfinite(step)) {
        gridLines(cx, size.width(), [&](double g) {
            painter.drawLine(QLineF(toScreen(g, cy).x(), 0, toScreen(g, cy).x(), size.height()));
        });
        gridLines(cy, size.height(), [&](double g) {
            painter.drawLine(QLineF(0, toScreen(cx, g).y(), size.width(), toScreen(cx, g).y()));
        });
    }

    for (const TMapPicture::TStation& station : picture.stations) {
        if (!Finite(station.lon, station.lat))
            continue;
        const QPointF at = toScreen(station.lon, station.lat);
        if (!view.contains(at))
            continue;
        painter.setPen(Qt::NoPen);
        painter.setBrush(station.thirdParty ? QColor(0x8E, 0x44, 0xAD)
                         : station.rf       ? QColor(0x1F, 0x5F, 0xA8)
                                            : QColor(0xA0, 0xA0, 0xA0));
        painter.drawEllipse(at, 2.5, 2.5);
        painter.setPen(QColor(0x40, 0x40, 0x40));
        painter.drawText(at + QPointF(4, -3), QString::fromStdString(station.callsign));
    }

    const QPointF own = toScreen(cx, cy);
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(QColor(0xD0, 0x20, 0x20));
    painter.drawRect(QRectF(own - QPointF(4, 4), QSizeF(8, 8)));
    QFont bold = small;
    bold.setBold(true);
    bold.setPointSizeF(9.0);
    painter.setFont(bold);
    painter.drawText(own + QPointF(6, 14), QString::fromStdString(picture.ownCallsign).toUpper());

    // What clients drew: a circle, or an ellipse squeezed vertically by the aspect.
    for (const TMapCall& call : picture.drawings) {
        if (drawable(call)) {
            painter.setPen(QPen(HostColour(call.colour), 2.5));
            painter.setBrush(Qt::NoBrush);
            const double rx = std::fabs(call.radius) * scale;
            const double aspect = std::isfinite(call.aspect) ? std::fabs(call.aspect) : 1.0;
            const double ry = rx * std::min(aspect, 1.0);
            DrawEllipseOutline(painter, view, toScreen(call.x, call.y), rx, ry);
        } else if (call.kind == TMapCall::Kind::DrawMapText && Finite(call.x, call.y)) {
            const QPointF at = toScreen(call.x, call.y);
            if (!textArea.contains(at))
                continue;
            painter.setPen(HostColour(call.colour));
            painter.drawText(at, QString::fromStdString(call.text));
        }
    }
}

TMapView::TMapView(const TStandinHost& host, std::mutex& modelMutex, QWidget* parent)
    : QWidget(parent), FHost(host), FModelMutex(modelMutex) {
    setMinimumSize(320, 320);
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, QColor(0xF4, 0xF1, 0xE8));
    setPalette(palette);
    FRepaintTimer.setSingleShot(true);
    FRepaintTimer.setInterval(kRepaintIntervalMs);
    connect(&FRepaintTimer, &QTimer::timeout, this, [this] { update(); });
}

TMapPicture TMapView::Take() {
    std::lock_guard lock(FModelMutex);
    return TakeMapPicture(FHost);
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
    PaintMap(painter, QSizeF(size()), picture);
    return image;
}

void TMapView::paintEvent(QPaintEvent*) {
    const TMapPicture picture = Take();
    QPainter painter(this);
    PaintMap(painter, QSizeF(size()), picture);
}

} // namespace standin
