#pragma once

#include "app/model/ChannelTimeline.h"

#include <QDialog>
#include <QWidget>
#include <functional>

class QLabel;
class QTableWidget;
class QTimer;

namespace app {

/// The timeline drawn with QPainter through the canvas interface.
class TTimelineWidget : public QWidget {
public:
    explicit TTimelineWidget(QWidget* parent = nullptr);
    void SetTimeline(TChannelTimeline timeline);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    TChannelTimeline FTimeline;
};

/// Action > Channel...: the measured channel beside the last run, refreshed
/// every two seconds while it is open. picture gives the window's content.
class TChannelWindow : public QDialog {
public:
    TChannelWindow(std::function<TChannelPicture()> picture, QWidget* parent = nullptr);
    /// Takes the content anew.
    void Refresh();

private:
    std::function<TChannelPicture()> FPicture;
    QLabel* FStatus = nullptr;
    QLabel* FProblem = nullptr; ///< [Channel] or the kept window not taken: stays until closed
    QLabel* FEstimated = nullptr;
    QLabel* FMeasured = nullptr;
    QLabel* FFigures = nullptr;
    QTableWidget* FTable = nullptr;
    QLabel* FUnlisted = nullptr;
    TTimelineWidget* FTimeline = nullptr;
    QTimer* FTimer = nullptr;
};

} // namespace app
