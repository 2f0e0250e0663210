#include "support/qt/PayPalLabel.h"
#include "support/qt/QtPurgeTimer.h"
#include "support/qt/URLLabel.h"

#include <QEnterEvent>
#include <QSignalSpy>
#include <QTest>
#include <QWidget>

using namespace support;

namespace {

// A form holding a label whose opened targets are recorded.
struct Form {
    QWidget window;
    QStringList opened;

    template <typename Label> Label* Add(const QString& caption) {
        auto* label = new Label(caption, &window); // owned by the window
        label->setGeometry(10, 10, 120, 20);
        label->SetUrlOpener([this](const QString& target) { opened << target; });
        return label;
    }
};

void Enter(QWidget* widget) {
    QEnterEvent event(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QCoreApplication::sendEvent(widget, &event);
}

void Leave(QWidget* widget) {
    QEvent event(QEvent::Leave);
    QCoreApplication::sendEvent(widget, &event);
}

TColor TextColor(const QWidget* widget) {
    const QColor c = widget->palette().color(QPalette::WindowText);
    return ColorFromRgb(c.red(), c.green(), c.blue());
}

} // namespace

class LinkLabelTest : public QObject {
    Q_OBJECT

private slots:
    void createdBlueUnderlinedWithHandCursor() {
        Form form;
        auto* label = form.Add<TUrlLabel>("caption");
        QCOMPARE(TextColor(label), kClBlue);
        QVERIFY(label->font().underline());
        QCOMPARE(label->cursor().shape(), Qt::PointingHandCursor);
        QCOMPARE(label->LinkColor(), kClBlue);
        QCOMPARE(label->ALinkColor(), kClRed);
        QCOMPARE(label->VLinkColor(), kClNavy);
        QCOMPARE(label->HotColor(), kClRed);
        QVERIFY(!label->Visited() && !label->Pressed() && !label->Hot());
    }

    void clickOpensTheUrlOrTheCaption() {
        Form form;
        auto* label = form.Add<TUrlLabel>("www.example.org");
        Enter(label);
        QCOMPARE(TextColor(label), kClRed);
        QTest::mouseClick(label, Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(form.opened, QStringList{"www.example.org"});
        QVERIFY(label->Visited());
        QCOMPARE(TextColor(label), kClNavy);

        label->SetURL("https://example.org/page");
        QTest::mouseClick(label, Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(form.opened.last(), QString("https://example.org/page"));
    }

    void rightAndMiddleButtonsClickToo() {
        Form form;
        auto* label = form.Add<TUrlLabel>("a");
        QTest::mouseClick(label, Qt::RightButton, Qt::ShiftModifier, QPoint(1, 1));
        QTest::mouseClick(label, Qt::MiddleButton, {}, QPoint(1, 1));
        QCOMPARE(form.opened.size(), 2);
    }

    void releaseOnTheFarEdgesCounts() {
        Form form;
        auto* label = form.Add<TUrlLabel>("a");
        QTest::mousePress(label, Qt::LeftButton, {}, QPoint(1, 1));
        QTest::mouseRelease(label, Qt::LeftButton, {}, QPoint(label->width(), label->height()));
        QCOMPARE(form.opened.size(), 1);
        QTest::mousePress(label, Qt::LeftButton, {}, QPoint(1, 1));
        QTest::mouseRelease(label, Qt::LeftButton, {}, QPoint(label->width() + 1, 1));
        QCOMPARE(form.opened.size(), 1);
    }

    void pressMoveOffReleaseOpensNothing() {
        Form form;
        auto* label = form.Add<TUrlLabel>("a");
        Enter(label);
        QTest::mousePress(label, Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(TextColor(label), kClRed);
        QVERIFY(label->Pressed());
        Leave(label);
        QCOMPARE(TextColor(label), kClBlue);
        QTest::mouseRelease(label, Qt::LeftButton, {}, QPoint(-20, 5));
        QVERIFY(form.opened.isEmpty());
        QVERIFY(!label->Pressed());
        QCOMPARE(TextColor(label), kClBlue);

        // After a visit the label rests in the visited colour.
        QTest::mouseClick(label, Qt::LeftButton, {}, QPoint(5, 5));
        QTest::mousePress(label, Qt::LeftButton, {}, QPoint(5, 5));
        QTest::mouseRelease(label, Qt::LeftButton, {}, QPoint(5, -3));
        QCOMPARE(TextColor(label), kClNavy);
        QCOMPARE(form.opened.size(), 1);
    }

    void colourWritesBeforeAndAfterAVisit() {
        Form form;
        auto* label = form.Add<TUrlLabel>("a");
        label->SetVLinkColor(0x00FF00);
        QCOMPARE(TextColor(label), kClBlue);
        QTest::mouseClick(label, Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(TextColor(label), 0x00FF00u);
        label->SetLinkColor(0x0000FF);
        QCOMPARE(TextColor(label), 0x00FF00u);
        QCOMPARE(label->LinkColor(), 0x0000FFu);
    }

    void paletteChangesFromOutsideFollowTheFontRule() {
        Form form;
        auto* label = form.Add<TUrlLabel>("a");
        QPalette red = label->palette();
        red.setColor(QPalette::WindowText, Qt::red);
        label->setPalette(red);
        QCOMPARE(label->LinkColor(), kClRed);

        // While hot, a colour from outside is shown but not recorded.
        Enter(label);
        QPalette green = label->palette();
        green.setColor(QPalette::WindowText, QColor(0, 255, 0));
        label->setPalette(green);
        QCOMPARE(label->LinkColor(), kClRed);
        QCOMPARE(label->VLinkColor(), kClNavy);
        Leave(label);
        QCOMPARE(TextColor(label), kClRed);
    }

    void payPalLabelBuildsTheAddressOnEveryRelease() {
        Form form;
        auto* label = form.Add<TPayPalLabel>("If you like Velloran consider making a donation");
        QCOMPARE(label->URL(), QString());
        const QString empty =
            "https://www.paypal.com/cgi-bin/webscr?cmd=_xclick&business=&item_name=%20-%20"
            "&no_shipping=2&no_note=1&tax=0&currency_code=USD&bn=PP%2BDonationsBF&charset=UTF%2B8";
        QTest::mouseClick(label, Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(form.opened, QStringList{empty});

        label->SetEmail(QString::fromUtf8("op\xC3\xA9rateur@example.org"));
        label->SetCompany("Acme");
        label->SetProduct("Velloran");
        // A release off the label also rebuilds the address, and opens nothing.
        QTest::mousePress(label, Qt::LeftButton, {}, QPoint(5, 5));
        QTest::mouseRelease(label, Qt::LeftButton, {}, QPoint(500, 5));
        const QString full =
            "https://www.paypal.com/cgi-bin/webscr?cmd=_xclick&business=op%E9rateur%40example.org"
            "&item_name=Acme%20-%20Velloran"
            "&no_shipping=2&no_note=1&tax=0&currency_code=USD&bn=PP%2BDonationsBF&charset=UTF%2B8";
        QCOMPARE(label->URL(), full);
        QCOMPARE(form.opened.size(), 1);
        QTest::mouseClick(label, Qt::LeftButton, {}, QPoint(5, 5));
        QTest::mouseClick(label, Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(form.opened, (QStringList{empty, full, full}));
    }

    void purgeTimerTicksOnTheEventLoopAndReportsErrors() {
        QStringList errors;
        TQtPurgeTimer timer(
            [&](const std::string& message) { errors << QString::fromStdString(message); });
        int ticks = 0;
        timer.Configure(1, [&] {
            if (++ticks == 2) {
                throw EPacketCacheError("purge failed");
            }
        });
        QVERIFY(!timer.Enabled());
        timer.SetEnabled(true);
        QTRY_VERIFY(ticks >= 3);
        QCOMPARE(errors, QStringList{"purge failed"});
        timer.SetEnabled(false);
        QVERIFY(!timer.Enabled());
        QCOMPARE(timer.IntervalMs(), 1);
    }
};

QTEST_MAIN(LinkLabelTest)
#include "support_link_label_qtest.moc"
