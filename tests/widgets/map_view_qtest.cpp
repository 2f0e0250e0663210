// The stand-in host's map painted from extreme numbers: every paint ends, and
// what can be seen is still drawn.
#include "aloha/MapDrawCalls.h"
#include "standin/model/Scenario.h"
#include "standin/qt/MapView.h"
#include "standin/qt/StatusLine.h"
#include "tests/common/MapPictures.h"

#include <QImage>
#include <QPainter>
#include <QtTest>

#include <QApplication>
#include <QWheelEvent>

#include <cmath>
#include <limits>
#include <mutex>
#include <optional>

using standin::TMapCall;
using standin::TMapPicture;

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
const QColor kBackground(0xF4, 0xF1, 0xE8);

QImage Paint(const TMapPicture& picture, QSize size = QSize(320, 320)) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(kBackground);
    QPainter painter(&image);
    standin::PaintMap(painter, QSizeF(size), picture);
    return image;
}

/// Pixels of the image that are mostly the colour's red (the circles are red here).
int RedPixels(const QImage& image) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            count += c.red() > 180 && c.green() < 90 && c.blue() < 90;
        }
    return count;
}

using maptest::Circle;
using maptest::Own;

} // namespace

class TMapViewTest : public QObject {
    Q_OBJECT
private slots:
    void ordinaryCircleIsDrawn() {
        TMapPicture picture = Own(2580, -4200);
        picture.drawings.push_back(Circle(-4200, 2580, 20));
        QVERIFY(RedPixels(Paint(picture)) > 200);
    }

    void extremeFiguresEndAndLeaveTheRestDrawn() {
        // Radii that are infinite as a single, not numbers, or at the edge of
        // the single range, with positions to match; a paint used to loop forever.
        TMapPicture picture = maptest::ExtremePicture();
        QVERIFY(RedPixels(Paint(picture)) > 200); // the finite circle is still there

        maptest::AddHugeCircles(picture);
        const QImage image = Paint(picture);
        QVERIFY(RedPixels(image) > 100); // the huge circles fill the view instead
    }

    void ownStationAtTheEdgeOfTheSingleRange() {
        for (const double at : {3e38, -3e38, kInf, kNaN}) {
            TMapPicture picture = Own(at, at);
            picture.drawings.push_back(Circle(at, at, 20));
            picture.stations.push_back({at, at, true, false, "NEAR"});
            const QImage image = Paint(picture);
            QCOMPARE(image.size(), QSize(320, 320));
        }
    }

    void hugeEllipseIsClippedToTheView() {
        QImage image(200, 200, QImage::Format_RGB32);
        image.fill(kBackground);
        {
            QPainter painter(&image);
            standin::TQtMapCanvas canvas(painter);
            const standin::TMapStroke red{{255, 0, 0}, 2.5};
            const standin::map::TBox view{0, 0, 200, 200};
            // Its edge passes through the middle of the view, 1e12 pixels from its centre.
            standin::DrawEllipseOutline(canvas, view, {100, 100 + 1e12}, 1e12, 1e12, red);
            // Beside the view, and all around it: nothing.
            standin::DrawEllipseOutline(canvas, view, {-1e9, 100}, 1e6, 1e6, red);
            standin::DrawEllipseOutline(canvas, view, {100, 100}, 1e12, 1e12, red);
        }
        const int red = RedPixels(image);
        QVERIFY2(red > 200 && red < 1200, qPrintable(QString::number(red)));
        QVERIFY(image.pixelColor(100, 100).red() > 180);
        QCOMPARE(image.pixelColor(100, 20), kBackground);
    }

    void stationsInsideTheDrawnFigureAreCounted() {
        // At 60° north, 10 units of latitude and 20 of longitude are as far.
        TMapPicture picture = Own(3600, 0);
        for (const auto& [lat, lon] : std::initializer_list<std::pair<double, double>>{
                 {3609, 0}, {3600, 19}, {3600, -19}, {3611, 0}, {3600, 21}, {kNaN, 0}})
            picture.stations.push_back({lat, lon, true, false, "S"});
        QCOMPARE(standin::StationsInsideFigure(picture), std::nullopt);
        picture.drawings.push_back(Circle(0, 3600, 10));
        QCOMPARE(standin::StationsInsideFigure(picture), std::optional<int>(3));
        picture.drawings.push_back(Circle(0, 3600, 10, 0.5)); // the last figure counts
        QCOMPARE(standin::StationsInsideFigure(picture), std::optional<int>(2));
        // Not the measured figure drawn after it, in its own colour.
        standin::TMapCall measured = Circle(0, 3600, 1);
        measured.colour = aloha::kMeasuredColour;
        picture.drawings.push_back(measured);
        QCOMPARE(standin::StationsInsideFigure(picture), std::optional<int>(2));
    }

    void wheelZoomsDragMovesDoubleClickReturns() {
        standin::TStandinHost host(standin::ParseScenario(
            R"({"own": {"callsign": "n0call", "lat": 2500, "long": -4300}, "stations": []})",
            "test"));
        std::mutex mutex;
        standin::TMapView view(host, mutex);
        view.resize(400, 400);
        std::optional<int> told = -1;
        view.OnInsideCountChanged = [&](std::optional<int> inside) { told = inside; };
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QTRY_COMPARE(told, std::nullopt); // painted: nothing drawn, nothing inside

        const standin::map::TViewport fit = view.CurrentView();
        const QPointF cursor(300, 120);
        const standin::map::TPoint under = fit.Unproject(cursor.x(), cursor.y());
        QWheelEvent wheel(cursor, view.mapToGlobal(cursor), {}, QPoint(0, 240), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(&view, &wheel);
        const standin::map::TViewport zoomed = view.CurrentView();
        QCOMPARE(zoomed.PixelsPerUnit(), fit.PixelsPerUnit() * 1.25 * 1.25);
        const standin::map::TPoint still = zoomed.Project(under.y, under.x);
        QVERIFY(std::fabs(still.x - cursor.x()) < 1e-6 && std::fabs(still.y - cursor.y()) < 1e-6);

        QTest::mousePress(&view, Qt::LeftButton, {}, QPoint(200, 200));
        QTest::mouseMove(&view, QPoint(230, 190));
        QTest::mouseRelease(&view, Qt::LeftButton, {}, QPoint(230, 190));
        const standin::map::TPoint moved = view.CurrentView().Project(2500, -4300);
        const standin::map::TPoint before = zoomed.Project(2500, -4300);
        QCOMPARE(moved.x - before.x, 30.0);
        QCOMPARE(moved.y - before.y, -10.0);

        QTest::mouseDClick(&view, Qt::LeftButton, {}, QPoint(100, 100));
        QCOMPARE(view.CurrentView().PixelsPerUnit(), fit.PixelsPerUnit());
        QCOMPARE(view.CurrentView().Project(2500, -4300).x, 200.0);
    }

    void statusLineStopsAtTheWindowEdge() {
        QWidget window;
        auto* line = new standin::TStatusLine(&window);
        window.resize(300, 40);
        line->setGeometry(0, 0, 150, 20);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        line->SetSource(QString("Live: 1234 stations · connected to localhost:8001 · packets "
                                "99999, placed 99999, undecodable 0, dropped 0"));
        line->SetMap("12 stations inside the circle");
        QVERIFY(line->fontMetrics().horizontalAdvance(line->text()) <= 150);
        QVERIFY(line->text().endsWith(QChar(0x2026)));
        QVERIFY(line->toolTip().endsWith(" · 12 stations inside the circle"));
        QCOMPARE(line->minimumSizeHint().width(), 0); // never widens the window
        window.resize(2000, 40);
        line->resize(2000, 20);
        QTRY_COMPARE(line->text(), line->FullText());
    }
};

QTEST_MAIN(TMapViewTest)
#include "map_view_qtest.moc"
