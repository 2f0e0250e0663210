#include "standin/MapView.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace standin {

QColor HostColour(std::uint32_t value) {
    return QColor(static_cast<int>(value & 0xFF), static_cast<int>((value >> 8) & 0xFF),
                  static_cast<int>((value >> 16) & 0xFF));
}

TMapView::TMapView(const TStandinHost& host, std::mutex& modelMutex, QWidget* parent)
    : QWidget(parent), FHost(host), FModelMutex(modelMutex) {
    setMinimumSize(320, 320);
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, QColor(0xF4, 0xF1, 0xE8));
    setPalette(palette);
}

QImage TMapView::Render() {
    QImage image(size(), QImage::Format_RGB32);
    image.fill(QColor(0xF4, 0xF1, 0xE8));
    QPainter painter(&image);
    Paint(painter);
    return image;
}

void TMapView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    Paint(painter);
}

void TMapView::Paint(QPainter& painter) {
    std::lock_guard lock(FModelMutex);
    const TScenario& scenario = FHost.Scenario();
    const double cx = scenario.ownLong;
    const double cy = scenario.ownLat;

    // Extent in host units: the figures, or about 100 km around the own station.
    double extent = 55.0;
    for (const TMapCall& call : FHost.Scene()) {
        if (call.kind == TMapCall::Kind::DrawCircle) {
            extent = std::max(extent, std::fabs(call.x - cx) + call.radius);
            extent = std::max(extent, std::fabs(call.y - cy) + call.radius);
        }
    }
    extent *= 1.15;
    const double scale = std::min(width(), height()) / (2.0 * extent);
    const auto toScreen = [&](double x, double y) {
        return QPointF(width() / 2.0 + (x - cx) * scale, height() / 2.0 - (y - cy) * scale);
    };

    painter.setRenderHint(QPainter::Antialiasing);
    QFont small = painter.font();
    small.setPointSizeF(7.0);
    painter.setFont(small);

    // Grid: one line a degree of latitude and of longitude.
    painter.setPen(QPen(QColor(0xD8, 0xD2, 0xC0), 1));
    for (double g = std::floor((cx - extent) / 60) * 60; g <= cx + extent; g += 60)
        painter.drawLine(toScreen(g, cy - extent * 2), toScreen(g, cy + extent * 2));
    for (double g = std::floor((cy - extent) / 60) * 60; g <= cy + extent; g += 60)
        painter.drawLine(toScreen(cx - extent * 2, g), toScreen(cx + extent * 2, g));

    for (const TScenarioStation& station : scenario.stations) {
        const QPointF at = toScreen(station.lon, station.lat);
        if (!rect().contains(at.toPoint()))
            continue;
        const bool rf = !station.lastHeardRF.empty();
        painter.setPen(Qt::NoPen);
        painter.setBrush(station.thirdParty ? QColor(0x8E, 0x44, 0xAD)
                         : rf               ? QColor(0x1F, 0x5F, 0xA8)
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
    painter.drawText(own + QPointF(6, 14), QString::fromStdString(scenario.ownCallsign).toUpper());

    // What clients drew: a circle, or an ellipse squeezed vertically by the aspect.
    for (const TMapCall& call : FHost.Scene()) {
        if (call.kind == TMapCall::Kind::DrawCircle) {
            painter.setPen(QPen(HostColour(call.colour), 2.5));
            painter.setBrush(Qt::NoBrush);
            const double rx = call.radius * scale;
            const double ry = rx * (call.aspect < 1.0f ? call.aspect : 1.0f);
            painter.drawEllipse(toScreen(call.x, call.y), rx, ry);
        } else if (call.kind == TMapCall::Kind::DrawMapText) {
            painter.setPen(HostColour(call.colour));
            painter.drawText(toScreen(call.x, call.y), QString::fromStdString(call.text));
        }
    }
}

} // namespace standin
