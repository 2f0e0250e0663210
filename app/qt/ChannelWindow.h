#pragma once

#include "app/model/ChannelTimeline.h"

#include <QDialog>
#include <QList>
#include <QWidget>
#include <functional>

class QLabel;
class QPlainTextEdit;
class QTableWidget;
class QTimer;

namespace app {

/// The timeline drawn with QPainter through the canvas interface.
class TTimelineWidget : public QWidget {
public:
    explicit TTimelineWidget(QWidget* parent = nullptr);
    void SetTimeline(TChannelTimeline timeline);
    /// Tall enough for ten talkers and the whole legend in the widget's font.
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

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

protected:
    void showEvent(QShowEvent* event) override;

private:
    /// Opens large enough for 15 rows of the table, the timeline and its
    /// whole legend, within the screen.
    void FitToScreen();

    std::function<TChannelPicture()> FPicture;
    QLabel* FStatus = nullptr;
    QLabel* FProblem = nullptr; ///< [Channel] or the kept window not taken: stays until closed
    QLabel* FEstimated = nullptr;
    QLabel* FMeasured = nullptr;
    QLabel* FFigures = nullptr;
    QTableWidget* FTable = nullptr;
    QLabel* FUnlisted = nullptr;
    /// Where the own packets go and the path to use, beside the table.
    QPlainTextEdit* FPath = nullptr;
    TTimelineWidget* FTimeline = nullptr;
    QTimer* FTimer = nullptr;
    QList<int> FSplit;  ///< the table's and the timeline's heights at the first show
    QList<int> FWidths; ///< theirs and the path's widths at the first show
};

} // namespace app
