#pragma once

#include "standin/StandinHost.h"

#include <QTimer>
#include <QWidget>

#include <mutex>
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
};

/// Copies what the map shows; the caller holds the model's lock.
TMapPicture TakeMapPicture(const TStandinHost& host);

/// Paints the map into a device of the given size. Figures are clipped to the
/// view and values that are not finite are left out, so the work done is
/// bounded by the pixels drawn whatever numbers clients send.
void PaintMap(QPainter& painter, QSizeF size, const TMapPicture& picture);

/// Draws the outline of an axis-aligned ellipse (centre and radii in pixels)
/// as far as it crosses the view; one that lies beside the view or all around
/// it draws nothing, and a huge one is drawn as line segments clipped to it.
void DrawEllipseOutline(QPainter& painter, const QRectF& view, QPointF centre, double rx,
                        double ry);

/// The stand-in host's map: the stations at their positions, the own station,
/// call signs, and what clients have drawn through the map interface.
///
/// Host units are used on both axes at the same scale (60 units a degree of
/// latitude; longitude east positive), centred on the own station. The view
/// spans the drawn figures, or about 100 km when nothing is drawn.
class TMapView : public QWidget {
    Q_OBJECT
public:
    TMapView(const TStandinHost& host, std::mutex& modelMutex, QWidget* parent = nullptr);

    /// Paints the map into an image of the widget's size.
    QImage Render();

    /// Asks for a repaint after a change of the model. However many changes
    /// come, the map is painted a few times a second at most.
    void ModelChanged();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    TMapPicture Take();

    const TStandinHost& FHost;
    std::mutex& FModelMutex;
    QTimer FRepaintTimer;
};

/// A host colour value (0x00BBGGRR) as a Qt colour.
QColor HostColour(std::uint32_t value);

} // namespace standin
