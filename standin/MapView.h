#pragma once

#include "standin/Coastline.h"
#include "standin/MapGeometry.h"
#include "standin/StandinHost.h"

#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

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

/// Paints the map into a device of the given size: graticule, range rings
/// around the own station, the stations with the call signs that leave room
/// for each other, what clients drew, and a scale bar. The view is the given
/// one, or, without one, the one that fits the drawn figures (FitView).
/// Figures are clipped to the view and values that are not finite are left
/// out, so the work done is bounded by the pixels drawn whatever numbers
/// clients send.
void PaintMap(QPainter& painter, QSizeF size, const TMapPicture& picture,
              const map::TViewport* view = nullptr);

/// The view centred on the own station that spans the drawn figures, or
/// about 100 km when nothing is drawn.
map::TViewport FitView(const TMapPicture& picture, QSizeF size);

/// How many stations lie inside the last figure clients drew (as drawn);
/// nothing when no figure is drawn.
std::optional<int> StationsInsideFigure(const TMapPicture& picture);

/// Draws the outline of an axis-aligned ellipse (centre and radii in pixels)
/// as far as it crosses the view; one that lies beside the view or all around
/// it draws nothing, and a huge one is drawn as line segments clipped to it.
void DrawEllipseOutline(QPainter& painter, const QRectF& view, QPointF centre, double rx,
                        double ry);

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
    std::optional<map::TViewport> FView; ///< chosen by the user
    map::TViewport FLastFit{0, 0, 1, 1, 1, 1};
    std::optional<QPointF> FDragFrom;
    std::optional<int> FInside;
    bool FInsideTold = false;

    const TStandinHost& FHost;
    std::mutex& FModelMutex;
    QTimer FRepaintTimer;
};

/// A host colour value (0x00BBGGRR) as a Qt colour.
QColor HostColour(std::uint32_t value);

} // namespace standin
