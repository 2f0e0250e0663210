// The Channel window shows what the model gives it, and its timeline paints
// 500 stations' last 30 minutes quickly.
#include "app/ChannelWindow.h"

#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QTableWidget>
#include <QtTest>

#include <algorithm>
#include <chrono>

using app::TChannelPicture;
using app::TChannelTimeline;

namespace {

/// A busy channel: 500 stations, each heard every 5 minutes, the ten most
/// heard in the rows.
TChannelTimeline BusyTimeline() {
    TChannelTimeline timeline;
    for (double& airtime : timeline.airtimePerMinute)
        airtime = 45.0;
    for (int i = 0; i < 500; ++i) {
        TChannelTimeline::TTalker talker{"N" + std::to_string(i) + "ABC", 6, {}};
        for (int k = 0; k < 6; ++k)
            talker.transmissions.emplace_back(k * 300.0 + i % 300,
                                              static_cast<aprs::EFrameKind>((i + k) % 7));
        timeline.talkers.push_back(std::move(talker));
    }
    return timeline;
}

} // namespace

class TChannelWindowTest : public QObject {
    Q_OBJECT
private slots:
    void ShowsTheRadiiTheFiguresAndTheListedStations() {
        TChannelPicture picture;
        picture.Status = "connected to kiss://localhost:8001";
        picture.Problem = "[Channel] TxDelay=NaN: not a number of milliseconds from 0 to 2000";
        picture.MeasuredRadius = "Measured ALOHA radius: 11 km";
        picture.EstimatedRadius = "Estimated ALOHA radius: 48 km";
        picture.Figures = {"Frames heard: 1903 of 1800 in 30 minutes", "Occupancy: 65.5 %"};
        picture.Listed = {{"N0ABC", 4, 2, 700}, {"W1XYZ-9", 11, 30, 1200}};
        picture.Unlisted = {"K9ZZZ"};
        picture.Timeline = BusyTimeline();
        int refreshes = 0;
        app::TChannelWindow window([&] {
            ++refreshes;
            return picture;
        });
        QString labels;
        for (const QLabel* label : window.findChildren<QLabel*>())
            labels += label->text() + "\n";
        for (const char* text : {"connected to kiss://localhost:8001", "[Channel] TxDelay=NaN",
                                 "Measured ALOHA radius: 11 km", "Estimated ALOHA radius: 48 km",
                                 "Occupancy: 65.5 %", "Heard, not in the station list: K9ZZZ"})
            QVERIFY2(labels.contains(text), qPrintable(labels));
        const auto* table = window.findChild<QTableWidget*>();
        QVERIFY(table);
        QCOMPARE(table->rowCount(), 2);
        QCOMPARE(table->item(1, 0)->text(), QStringLiteral("W1XYZ-9"));
        QCOMPARE(table->item(1, 3)->text(), QStringLiteral("1200"));
        QCOMPARE(refreshes, 1);
        picture.Listed.pop_back();
        window.Refresh();
        QCOMPARE(table->rowCount(), 1);
    }

    // The repaint measured as the window does it, into an image of the
    // window's size; the median of 21 paints is printed. The limit checked is
    // generous for a busy machine; the figure is in the README.
    void TimelineRepaintsQuicklyWith500Stations() {
        app::TTimelineWidget widget;
        widget.resize(800, 400);
        widget.SetTimeline(BusyTimeline());
        QImage image(800, 400, QImage::Format_ARGB32_Premultiplied);
        std::vector<double> ms;
        for (int i = 0; i < 21; ++i) {
            const auto start = std::chrono::steady_clock::now();
            widget.render(&image);
            ms.push_back(
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                    .count());
        }
        std::sort(ms.begin(), ms.end());
        qInfo("timeline repaint, 500 stations, 800 x 400: median %.2f ms", ms[ms.size() / 2]);
        QVERIFY2(ms[ms.size() / 2] < 50.0, "far slower than the 5 ms aimed at");
    }
};

QTEST_MAIN(TChannelWindowTest)
#include "app_channel_window_qtest.moc"
