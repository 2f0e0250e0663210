#include "aloha/MapOverlay.h"

#include "support/TextRules.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace aloha {

double LatitudeAspect(double latitude) {
    return std::cos(latitude / 60.0 * std::numbers::pi / 180.0);
}

TMapOverlay::TMapOverlay(host::TclsUIV& clsUIV, const IRunOptions& options, TRunState& state)
    : FclsUIV(clsUIV), FOptions(options), FState(state) {}

void TMapOverlay::ComputeMapRadius(const TStation& limit) {
    FState.MapRadius = MapRadiusTo(limit);
}

double TMapOverlay::MapRadiusTo(const TStation& station) const {
    // A station counted at its IGate's distance is drawn at its IGate's
    // position too; its own position may be hundreds of kilometres away.
    const float latitude = station.Gated ? station.GateLatitude : station.Latitude;
    const float longitude = station.Gated ? station.GateLongitude : station.Longitude;
    const double dLat = FState.OwnLatitude - static_cast<double>(latitude);
    const double dLong = FState.OwnLongitude - static_cast<double>(longitude);
    double radius = std::sqrt(dLat * dLat + dLong * dLong);
    if (FOptions.DrawEllipseSelected())
        radius = radius / LatitudeAspect(FState.OwnLatitude);
    return radius;
}

void TMapOverlay::DrawAlohaOverlay(double longitude, double latitude, double radius) {
    DrawFigure(longitude, latitude, radius, kAlohaColour);
    if (FOptions.ShowRadiusLabel())
        DrawLabel();
}

void TMapOverlay::DrawReachOverlay(double longitude, double latitude, double radius) {
    DrawFigure(longitude, latitude, radius, kReachColour);
}

void TMapOverlay::tmrRedrawTimer() {
    if (FState.PacketTotal < FState.PacketDensity)
        DrawReachOverlay(FState.OwnLongitude, FState.OwnLatitude, FState.MapRadius);
    else
        DrawAlohaOverlay(FState.OwnLongitude, FState.OwnLatitude, FState.MapRadius);
    DrawMeasuredOverlay();
    DrawFootprintOverlay();
}

void TMapOverlay::DrawFootprintOverlay() {
    // A dot of the map's scale: a twenty-fifth of the run's figure, at
    // least half a unit (about a kilometre).
    const double radius = std::max(FState.MapRadius / 25.0, 0.5);
    const std::array<host::OleVariant, 6> variants{
        std::string(), kLabelVariantSize, false, false, false, false};
    for (const TFootprintMark& mark : FFootprint) {
        DrawFigure(mark.Longitude, mark.Latitude, radius, kFootprintColour);
        FclsUIV.GetMap()->DrawMapText(" " + mark.Call, static_cast<float>(mark.Longitude + radius),
                                      static_cast<float>(mark.Latitude), kFootprintColour,
                                      variants);
    }
}

void TMapOverlay::DrawMeasuredOverlay() {
    if (!FMeasured)
        return;
    const double radius = FMeasured->MapRadius;
    DrawFigure(FState.OwnLongitude, FState.OwnLatitude, radius, kMeasuredColour);
    if (!FOptions.ShowRadiusLabel())
        return;
    // Not at GetTextX/GetTextY, where the run's own label goes: at the top of
    // the figure, so that the two labels stand apart and each by its figure.
    const double top =
        FState.OwnLatitude + radius * static_cast<double>(FigureAspect(FState.OwnLatitude));
    const std::array<host::OleVariant, 6> variants{
        std::string(), kLabelVariantSize, false, false, false, false};
    FclsUIV.GetMap()->DrawMapText(MeasuredLabelText(FMeasured->RadiusKm),
                                  static_cast<float>(FState.OwnLongitude), static_cast<float>(top),
                                  kMeasuredColour, variants);
}

std::string TMapOverlay::MeasuredLabelText(double radiusKm) {
    return " Measured ALOHA radius: " + std::to_string(support::RoundHalfEven(radiusKm)) +
           " KM / " + std::to_string(support::RoundHalfEven(radiusKm * kMilesPerKm)) + " miles";
}

std::string TMapOverlay::LabelText(double radiusKm, double radiusMiles) {
    return " ALOHA radius: " + std::to_string(support::RoundHalfEven(radiusKm)) + " KM / " +
           std::to_string(support::RoundHalfEven(radiusMiles)) + " miles";
}

float TMapOverlay::FigureAspect(double latitude) const {
    // "Draw Circle" decides the aspect, "Draw Ellispe" the radius (see
    // ComputeMapRadius): with neither selected the figure is squeezed but its
    // radius is not stretched, as the window has always drawn it.
    return FOptions.DrawCircleSelected() ? 1.0f : static_cast<float>(LatitudeAspect(latitude));
}

void TMapOverlay::DrawFigure(double longitude, double latitude, double radius,
                             std::uint32_t colour) {
    const float aspect = FigureAspect(latitude);

    // Every call goes to a map object just obtained from the host.
    FclsUIV.GetMap()->SetDrawSettingA(kDrawSettingA);
    FclsUIV.GetMap()->SetDrawSettingB(kDrawSettingB);
    FclsUIV.GetMap()->SetDrawColour(kDrawColour);
    FclsUIV.GetMap()->DrawCircle(static_cast<float>(longitude), static_cast<float>(latitude),
                                 static_cast<float>(radius), colour, kStartAngle, kEndAngle,
                                 aspect);
}

void TMapOverlay::DrawLabel() {
    const float x = FclsUIV.GetMap()->GetTextX();
    const float y = FclsUIV.GetMap()->GetTextY();
    const std::array<host::OleVariant, 6> variants{
        std::string(), kLabelVariantSize, false, false, false, false};
    FclsUIV.GetMap()->DrawMapText(LabelText(FState.RadiusKm, FState.RadiusMiles), x, y,
                                  kLabelColour, variants);
}

} // namespace aloha
