// The Channel window shows what the model gives it, and its timeline paints
// 500 stations' last 30 minutes quickly.
#include "app/qt/ChannelWindow.h"

#include <QDir>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTableWidget>
#include <QtTest>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <string>
#include <vector>

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
                                              static_cast<aprs::TFrameKind>((i + k) % 7));
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
        picture.Path = {"Digipeated by: DIGI2, 2 km, hop 1, inside the ALOHA radius",
                        "Suggested path: WIDE2-1"};
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
        const auto* path = window.findChild<QPlainTextEdit*>(QStringLiteral("path"));
        QVERIFY(path);
        QVERIFY(path->toPlainText().endsWith(QStringLiteral("inside the ALOHA radius\n"
                                                            "Suggested path: WIDE2-1")));
        picture.Listed.pop_back();
        window.Refresh();
        QCOMPARE(table->rowCount(), 1);
    }

    // Opened on a 4K screen at the scale the test runs at (1, 1.5 or 2): 15
    // rows of 60 listed stations, the whole legend inside the timeline,
    // columns as wide as their words, a scale on the airtime bars. Its
    // picture is kept beside the test's output.
    void OpensShowingFifteenRowsAndTheWholeLegend() {
        TChannelPicture picture;
        picture.Status = "connected to kiss://localhost:8001";
        picture.Figures = {"Frames heard: 1903 of 1800 in 30 minutes", "Occupancy: 65.5 %"};
        for (int i = 0; i < 60; ++i)
            picture.Listed.push_back({"N" + std::to_string(i) + "ABC-9", i + 1, 15, 20u + i});
        picture.Timeline = BusyTimeline();
        picture.Path = {"Own packets: 9 from N0CALL in 30 minutes, 14 digipeated copies heard",
                        "Suggested path: WIDE2-1"};
        for (int i = 0; i < 20; ++i)
            picture.Path.push_back("K" + std::to_string(i) +
                                   "FAR         222    1      1  FAR2*,WIDE2-1");
        app::TChannelWindow window([&] { return picture; });
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QRect screen = window.screen()->availableGeometry();
        if (screen.height() < 1000)
            QSKIP("a screen too small for 15 rows and the timeline");
        QVERIFY(window.frameGeometry().height() <= screen.height());
        // No meta-object of its own: found by its C++ type.
        app::TTimelineWidget* timeline = nullptr;
        for (QWidget* child : window.findChildren<QWidget*>())
            if (!timeline)
                timeline = dynamic_cast<app::TTimelineWidget*>(child);
        QVERIFY(timeline);
        qInfo("screen %dx%d, window %dx%d, timeline %dx%d", screen.width(), screen.height(),
              window.width(), window.height(), timeline->width(), timeline->height());

        const auto* table = window.findChild<QTableWidget*>();
        QVERIFY(table);
        const int lastShown = table->rowAt(table->viewport()->height() - 1);
        QVERIFY2(lastShown < 0 || lastShown >= 14, qPrintable(QString::number(lastShown)));
        const QFontMetrics metrics(table->font());
        for (int column = 1; column < 4; ++column) {
            const int words =
                std::max(metrics.horizontalAdvance(table->horizontalHeaderItem(column)->text()),
                         metrics.horizontalAdvance(table->item(59, column)->text()));
            QVERIFY2(table->horizontalHeader()->sectionSize(column) <= words + 40,
                     qPrintable(QString::number(column)));
        }

        // The timeline painted at its size, in its font: every word inside.
        struct TWords : app::IChannelCanvas {
            explicit TWords(const QFont& font) : metrics(font) {}
            void FillRect(double, double, double, double, app::TCanvasColour) override {}
            void Line(double, double, double, double, app::TCanvasColour) override {}
            void Text(double x, double y, std::string_view text, app::TCanvasColour) override {
                words.push_back({QString::fromUtf8(text.data(), text.size()), x, y});
            }
            double TextWidth(std::string_view text) override {
                return metrics.horizontalAdvance(QString::fromUtf8(text.data(), text.size()));
            }
            double LineHeight() override { return std::ceil(metrics.height() * 1.15); }
            QFontMetricsF metrics;
            struct TWord {
                QString text;
                double x, y;
            };
            std::vector<TWord> words;
        } canvas(timeline->font());
        app::PaintChannelTimeline(canvas, timeline->width(), timeline->height(), picture.Timeline);
        QStringList seen;
        for (const auto& word : canvas.words) {
            seen << word.text;
            QVERIFY2(word.x >= 0 && word.x + canvas.TextWidth(word.text.toStdString()) <=
                                        timeline->width() + 0.5,
                     qPrintable(word.text));
            QVERIFY2(word.y <= timeline->height(), qPrintable(word.text));
        }
        for (const char* word : {"position", "weather", "telemetry", "other", "60 s", "0 s"})
            QVERIFY2(seen.contains(word), qPrintable(seen.join(',')));

        // The path beside the table: a whole row of the stations from beyond
        // the radius and the first lines, in its own fixed-pitch font.
        const auto* path = window.findChild<QPlainTextEdit*>(QStringLiteral("path"));
        QVERIFY(path);
        const QFontMetrics pathMetrics(path->font());
        QVERIFY2(path->viewport()->width() >=
                     pathMetrics.horizontalAdvance(QString::fromStdString(picture.Path.back())),
                 qPrintable(QString::number(path->viewport()->width())));
        QVERIFY(path->viewport()->height() >= 5 * pathMetrics.lineSpacing());

        QDir().mkpath(VELLORAN_SCREENSHOT_DIR);
        const QString scale = qEnvironmentVariable("QT_SCALE_FACTOR", "1");
        QVERIFY(window.grab().save(QString(VELLORAN_SCREENSHOT_DIR) + "/channel-window-scale-" +
                                   scale + ".png"));
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
