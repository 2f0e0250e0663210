#pragma once

#include "standin/map/MapPaint.h"

#include <QFont>
#include <QFontMetricsF>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace standin {

/// The map's canvas on a Qt painter (antialiased).
class TQtMapCanvas : public IMapCanvas {
public:
    explicit TQtMapCanvas(QPainter& painter);
    ~TQtMapCanvas() override;
    TQtMapCanvas(const TQtMapCanvas&) = delete;
    TQtMapCanvas& operator=(const TQtMapCanvas&) = delete;

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
    const QFont& Font(TMapFont font) const;
    QPainter& FPainter;
    QFont FBase, FSmall, FOwn;
    QFontMetricsF FSmallMetrics, FOwnMetrics;
};

/// Paints the map into a Qt device of the given size (see PaintMap above).
void PaintMap(QPainter& painter, QSizeF size, const TMapPicture& picture,
              const map::TViewport* view = nullptr);

/// The stand-in host's map: the stations at their positions, the own station,
/// call signs, and what clients have drawn through the map interface.
///
/// It opens on FitView and follows the figures until the user zooms with the
/// wheel or drags it; a double click returns to the fitted view.
class TMapView : public QWidget {
    Q_OBJECT
public:
    TMapView(const TStandinHost& host, std::mutex& modelMutex, QWidget* parent = nullptr);

    /// Paints the map into an image of the widget's size.
    QImage Render();

    /// Asks for a repaint after a change of the model. However many changes
    /// come, the map is painted a few times a second at most.
    void ModelChanged();

    /// Shores and borders to draw under the stations (none by default).
    void SetCoastlines(std::shared_ptr<const std::vector<TMapLine>> lines);

    /// The view shown now.
    map::TViewport CurrentView() const;
    /// Shows this view; nothing returns to the fitted one.
    void SetView(std::optional<map::TViewport> view);

    /// Told after the first paint, and after any paint that changed the count
    /// of stations inside the drawn figure.
    std::function<void(std::optional<int>)> OnInsideCountChanged;

protected:
    void paintEvent(QPaintEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    TMapPicture Take();

    std::shared_ptr<const std::vector<TMapLine>> FCoastlines;
    TMapNavigation FNavigation;
    std::optional<QPointF> FDragFrom;
    std::optional<int> FInside;
    bool FInsideTold = false;

    const TStandinHost& FHost;
    std::mutex& FModelMutex;
    QTimer FRepaintTimer;
};

} // namespace standin
