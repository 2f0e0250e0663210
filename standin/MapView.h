#pragma once

#include "standin/StandinHost.h"

#include <QWidget>

#include <mutex>

namespace standin {

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

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void Paint(QPainter& painter);

    const TStandinHost& FHost;
    std::mutex& FModelMutex;
};

/// A host colour value (0x00BBGGRR) as a Qt colour.
QColor HostColour(std::uint32_t value);

} // namespace standin
