#pragma once

#include "aprs/channel/ChannelStats.h"

#include <QWidget>

#include <functional>

class QLabel;
class QProgressBar;
class QTableWidget;
class QTimer;

namespace standin {

/// The "Channel" panel of the stand-in host's window: what the channel
/// carried in the last 30 minutes (occupancy, frames against the 1800 the
/// ALOHA computation calls saturated) and the stations heard most, each with
/// its measured count beside the count the computation's rule estimates.
class TChannelPanel : public QWidget {
    Q_OBJECT
public:
    /// figures is asked once a second, on the window's thread.
    explicit TChannelPanel(std::function<aprs::TChannelFigures()> figures,
                           QWidget* parent = nullptr);

    /// Shows these figures (the timer shows the source's).
    void Show(const aprs::TChannelFigures& figures);

private:
    std::function<aprs::TChannelFigures()> FFigures;
    QLabel* lblOccupancy;
    QLabel* lblFrames;
    QProgressBar* pbLoad;
    QTableWidget* tvTalkers;
    QTimer* tmrRefresh;
};

} // namespace standin
