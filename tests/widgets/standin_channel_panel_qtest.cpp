// The Channel panel shows what it is given: occupancy, frames against the
// saturation level, and the talkers with measured beside estimated counts.
#include "standin/qt/ChannelPanel.h"

#include <QLabel>
#include <QProgressBar>
#include <QTableWidget>
#include <QtTest>

using aprs::TChannelFigures;
using standin::TChannelPanel;

class TChannelPanelTest : public QObject {
    Q_OBJECT
private slots:
    void ShowsFiguresAndTalkers() {
        TChannelPanel panel({});
        TChannelFigures f;
        f.frames = 2500; // beyond saturation: the bar is full, the label tells the number
        f.airtimeSeconds = 1234.5;
        f.occupancyPercent = 1234.5 / 18;
        f.txDelaySeconds = 0.3;
        f.stations = 2;
        f.talkers = {{"W1XYZ-9", 40, 15}, {"K9NEW", 3, -1}};
        panel.Show(f);
        QString labels;
        for (const QLabel* label : panel.findChildren<QLabel*>())
            labels += label->text() + "\n";
        QVERIFY2(labels.contains("Occupancy: 68.6 % (1234.5 s on the air, TX delay 300 ms)"),
                 qPrintable(labels));
        QVERIFY2(labels.contains("Packets: 2500 measured against 1800 at saturation"),
                 qPrintable(labels));
        const auto* bar = panel.findChild<QProgressBar*>();
        QCOMPARE(bar->value(), 1800);
        const auto* table = panel.findChild<QTableWidget*>();
        QCOMPARE(table->rowCount(), 2);
        QCOMPARE(table->item(0, 0)->text(), QString("W1XYZ-9"));
        QCOMPARE(table->item(0, 1)->text(), QString("40"));
        QCOMPARE(table->item(0, 2)->text(), QString("15"));
        QCOMPARE(table->item(1, 2)->text(), QString("not listed"));

        // Fewer talkers later: no rows left over.
        f.talkers.resize(1);
        panel.Show(f);
        QCOMPARE(table->rowCount(), 1);
    }

    void PullsFromItsSourceEverySecond() {
        int asked = 0;
        TChannelPanel panel([&] {
            ++asked;
            TChannelFigures f;
            f.frames = static_cast<std::uint64_t>(asked);
            return f;
        });
        QTRY_VERIFY_WITH_TIMEOUT(asked >= 1, 3000);
        const auto* bar = panel.findChild<QProgressBar*>();
        QTRY_COMPARE_WITH_TIMEOUT(bar->value(), asked, 3000);
    }
};

QTEST_MAIN(TChannelPanelTest)
#include "standin_channel_panel_qtest.moc"
