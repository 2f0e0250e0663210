#pragma once

#include "aloha/RunContext.h"
#include "aloha/RunState.h"
#include "aloha/Station.h"
#include "host/Components.h"

#include <cstdint>

/// Drawing the ALOHA radius on the host's map.
namespace overlay {

/// Constants of the drawing calls.
inline constexpr std::int32_t kDrawSettingA = 2;
inline constexpr std::int32_t kDrawSettingB = 2;
inline constexpr std::int32_t kDrawColour = 0x00FFFF00;
inline constexpr std::uint32_t kAlohaColour = 255;
inline constexpr std::uint32_t kReachColour = 0;
inline constexpr std::uint32_t kLabelColour = 0;
inline constexpr float kStartAngle = 6.2831855f;       // 2 pi as single
inline constexpr double kEndAngle = 6.283185307179586; // 2 pi as double
inline constexpr std::int32_t kLabelVariantSize = 8;

/// Map radius, figure and label. Options are read when drawing, so a change
/// of shape or label takes effect at the next call.
class TMapOverlay {
public:
    TMapOverlay(host::TclsUIV& clsUIV, const aloha::IRunOptions& options, aloha::TRunState& state);

    /// Sets MapRadius to the planar distance between the own station and the
    /// limiting station (its IGate, for a station gated to RF), divided by
    /// cos(latitude) when the ellipse is selected.
    void ComputeMapRadius(const aloha::TStation& limit);

    /// The ALOHA circle or ellipse (colour 255) and, when the label option is
    /// on, its text.
    void DrawAlohaOverlay(double longitude, double latitude, double radius);

    /// The fallback circle or ellipse (colour 0), without label.
    void DrawReachOverlay(double longitude, double latitude, double radius);

    /// The redraw timer's tick: draws the last run's figure again, without
    /// clearing the map first and without recomputing the radius.
    void tmrRedrawTimer();

    /// The label text for the given radius.
    static std::string LabelText(double radiusKm, double radiusMiles);

private:
    void DrawFigure(double longitude, double latitude, double radius, std::uint32_t colour);
    void DrawLabel();

    host::TclsUIV& FclsUIV;
    const aloha::IRunOptions& FOptions;
    aloha::TRunState& FState;
};

/// cos(latitude / 60 degrees): the vertical squeeze of an ellipse at the
/// latitude given in host units.
double LatitudeAspect(double latitude);

} // namespace overlay
