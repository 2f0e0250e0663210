#include "standin/map/MapGeometry.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using namespace standin::map;

TEST(MapGeometry, ProjectionKeepsDistancesAlikeInBothDirections) {
    // At 60° north a unit of longitude is half as long as one of latitude.
    const double lat = 60 * 60;
    const TViewport view(lat, -4300, 10, 800, 600, LonFactor(lat));
    const TPoint centre = view.Project(lat, -4300);
    EXPECT_DOUBLE_EQ(centre.x, 400);
    EXPECT_DOUBLE_EQ(centre.y, 300);
    const TPoint east = view.Project(lat, -4300 + 10);
    const TPoint north = view.Project(lat + 10, -4300);
    EXPECT_NEAR(east.x - 400, 50, 1e-9);
    EXPECT_NEAR(300 - north.y, 100, 1e-9); // north is up
    const TPoint back = view.Unproject(east.x, north.y);
    EXPECT_NEAR(back.x, -4300 + 10, 1e-9);
    EXPECT_NEAR(back.y, lat + 10, 1e-9);
    EXPECT_NEAR(view.KmPerPixel(), 0.1852, 1e-12);

    // Fit: extent units each side fill the shorter side.
    const TViewport fit = TViewport::Fit(0, 0, 100, 800, 600, 1);
    EXPECT_NEAR(fit.Project(100, 0).y, 0, 1e-9);
    EXPECT_NEAR(fit.Project(-100, 0).y, 600, 1e-9);
}

TEST(MapGeometry, ZoomKeepsThePointUnderTheCursorAndDragMovesWithTheMouse) {
    const TViewport view(2500, -4300, 4, 760, 740, LonFactor(2500));
    const TPoint under = view.Unproject(600, 100);
    const TViewport zoomed = view.ZoomedAt(1.25, 600, 100);
    EXPECT_DOUBLE_EQ(zoomed.PixelsPerUnit(), 5);
    const TPoint again = zoomed.Project(under.y, under.x);
    EXPECT_NEAR(again.x, 600, 1e-9);
    EXPECT_NEAR(again.y, 100, 1e-9);
    EXPECT_DOUBLE_EQ(zoomed.LonFactor(), view.LonFactor()); // no bending when moved

    const TPoint before = view.Project(2510, -4290);
    const TPoint after = view.Dragged(30, -20).Project(2510, -4290);
    EXPECT_NEAR(after.x - before.x, 30, 1e-9);
    EXPECT_NEAR(after.y - before.y, -20, 1e-9);

    // A resized window keeps centre and zoom.
    const TViewport resized = view.Resized(1000, 500);
    EXPECT_DOUBLE_EQ(resized.Project(2500, -4300).x, 500);
    EXPECT_DOUBLE_EQ(resized.PixelsPerUnit(), 4);
}

TEST(MapGeometry, ScaleBarIsRoundAndFitsInBothUnits) {
    const TScaleBar bar = ChooseScaleBar(0.5, 120); // 60 km would fit
    EXPECT_DOUBLE_EQ(bar.km, 50);
    EXPECT_DOUBLE_EQ(bar.kmPixels, 100);
    EXPECT_DOUBLE_EQ(bar.miles, 20); // 37.3 miles fit: 20
    EXPECT_NEAR(bar.milesPixels, 20 * kKmPerMile / 0.5, 1e-9);
    for (const double kmPerPixel : {0.0007, 0.013, 0.4, 3.0, 90.0}) {
        const TScaleBar b = ChooseScaleBar(kmPerPixel, 120);
        EXPECT_LE(b.kmPixels, 120 + 1e-9) << kmPerPixel;
        EXPECT_GT(b.kmPixels, 120 / 2.5 - 1e-9) << kmPerPixel; // never a stub
        EXPECT_LE(b.milesPixels, 120 + 1e-9) << kmPerPixel;
        EXPECT_GT(b.milesPixels, 120 / 2.5 - 1e-9) << kmPerPixel;
    }
    EXPECT_EQ(ChooseScaleBar(std::nan(""), 120).kmPixels, 0);
    EXPECT_EQ(ChooseScaleBar(0, 120).kmPixels, 0);
    EXPECT_EQ(ScaleText(0.5, false), "500 m");
    EXPECT_EQ(ScaleText(20, false), "20 km");
    EXPECT_EQ(ScaleText(0.2, true), "0.2 mi");
}

TEST(MapGeometry, GraticuleAdaptsToTheZoomAndNamesItsLines) {
    EXPECT_EQ(GraticuleStep(1.0, 70), 120);   // 1° would be 60 px: 2°
    EXPECT_EQ(GraticuleStep(1.2, 70), 60);    // 72 px: 1°
    EXPECT_EQ(GraticuleStep(40, 70), 2);      // zoomed in: 2'
    EXPECT_EQ(GraticuleStep(1e-6, 70), 1800); // the coarsest there is
    EXPECT_EQ(GraticuleLabel(2505, true), "41°45'N");
    EXPECT_EQ(GraticuleLabel(-4320, false), "72°W");
    EXPECT_EQ(GraticuleLabel(-1, true), "0°01'S");
}

TEST(MapGeometry, RangeRingsEvery10_25Or50Km) {
    EXPECT_EQ(RingSpacingKm(40, 8), 10);
    EXPECT_EQ(RingSpacingKm(80, 8), 10);
    EXPECT_EQ(RingSpacingKm(150, 8), 25);
    EXPECT_EQ(RingSpacingKm(390, 8), 50);
    EXPECT_EQ(RingSpacingKm(5000, 8), 50);
}

TEST(MapGeometry, LabelsThatWouldCoverAnEarlierOneAreSkipped) {
    const std::vector<TBox> labels{
        {0, 0, 40, 10},    // shown
        {30, 5, 40, 10},   // covers the first: skipped
        {40, 0, 40, 10},   // touches the first only at its edge: shown
        {65, 8, 20, 10},   // covers the third: skipped
        {200, 200, 5, 5},  // far away: shown
        {62, 300, 40, 10}, // shown, in another grid cell than anything
        {90, 12, 10, 3},   // covers only the skipped fourth: shown
    };
    EXPECT_EQ(PlaceLabels(labels), (std::vector<bool>{true, false, true, false, true, true, true}));
    // Labels far off any screen, or of no size that makes sense, are not placed.
    EXPECT_EQ(
        PlaceLabels(
            {{3e38, -3e38, 40, 10}, {-1e300, 0, 40, 10}, {0, 0, std::nan(""), 5}, {0, 0, 40, 10}}),
        (std::vector<bool>{false, false, false, true}));
    // Many labels on one spot: one is shown.
    const std::vector<TBox> pile(5000, TBox{10, 10, 30, 8});
    const std::vector<bool> shown = PlaceLabels(pile);
    EXPECT_EQ(std::count(shown.begin(), shown.end(), true), 1);
}

TEST(MapGeometry, InsideTheFigureAsDrawn) {
    // A circle of 10 units at 60° north reaches 20 units of longitude east.
    const double lat = 3600, factor = LonFactor(lat);
    EXPECT_TRUE(InsideFigure(lat, 19.5, lat, 0, 10, 1, factor));
    EXPECT_FALSE(InsideFigure(lat, 20.5, lat, 0, 10, 1, factor));
    EXPECT_TRUE(InsideFigure(lat + 9.9, 0, lat, 0, 10, 1, factor));
    // An ellipse is squeezed north-south by its aspect; an aspect above 1 is
    // drawn as a circle.
    EXPECT_FALSE(InsideFigure(lat + 6, 0, lat, 0, 10, 0.5f, factor));
    EXPECT_TRUE(InsideFigure(lat + 4.9, 0, lat, 0, 10, 0.5f, factor));
    EXPECT_TRUE(InsideFigure(lat + 9.9, 0, lat, 0, 10, 3, factor));
    EXPECT_FALSE(InsideFigure(lat, 0, lat, 0, 0, 1, factor)); // no figure, nothing inside
    EXPECT_FALSE(InsideFigure(lat, 0, lat, 0, std::nan(""), 1, factor));
}

} // namespace
