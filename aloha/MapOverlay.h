#pragma once

#include "aloha/MapDrawCalls.h"
#include "aloha/RunContext.h"
#include "aloha/RunState.h"
#include "aloha/Station.h"
#include "host/Components.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

/// Drawing the ALOHA radius on the host's map.
namespace aloha {

/// A digipeater that repeated the own packets, marked on the map.
struct TFootprintMark {
    std::string Call;
    double Longitude = 0.0; ///< host position units
    double Latitude = 0.0;
};

/// The ALOHA radius measured on the channel, drawn as a second figure.
struct TMeasuredFigure {
    double MapRadius = 0.0; ///< host position units, as MapRadius
    double RadiusKm = 0.0;
};

/// Map radius, figure and label. Options are read when drawing, so a change
/// of shape or label takes effect at the next call.
class TMapOverlay {
public:
    TMapOverlay(host::TclsUIV& clsUIV, const IRunOptions& options, TRunState& state);

    /// Sets MapRadius to the planar distance between the own station and the
    /// limiting station (its IGate, for a station gated to RF), divided by
    /// cos(latitude) when the ellipse is selected.
    void ComputeMapRadius(const TStation& limit);
    /// The radius in host position units that reaches the station, by the
    /// rule of ComputeMapRadius.
    double MapRadiusTo(const TStation& station) const;

    /// The ALOHA circle or ellipse (colour 255) and, when the label option is
    /// on, its text.
    void DrawAlohaOverlay(double longitude, double latitude, double radius);

    /// The fallback circle or ellipse (colour 0), without label.
    void DrawReachOverlay(double longitude, double latitude, double radius);

    /// The redraw timer's tick: draws the last run's figure again, without
    /// clearing the map first and without recomputing the radius, and the
    /// measured figure after it when there is one.
    void tmrRedrawTimer();

    /// The label text for the given radius.
    static std::string LabelText(double radiusKm, double radiusMiles);

    /// The measured figure a run found, drawn by DrawMeasuredOverlay and
    /// every redraw until the next run replaces or removes it.
    void SetMeasuredFigure(std::optional<TMeasuredFigure> figure) { FMeasured = figure; }
    const std::optional<TMeasuredFigure>& MeasuredFigure() const { return FMeasured; }

    /// The measured figure around the own station, in the shape of the run's
    /// figure, and when the label option is on its label at the top of the
    /// figure; nothing when there is none.
    void DrawMeasuredOverlay();

    /// The measured figure's label text.
    static std::string MeasuredLabelText(double radiusKm);

    /// The digipeaters a run marks, drawn by DrawFootprintOverlay and every
    /// redraw until the next run replaces or removes them.
    void SetFootprint(std::vector<TFootprintMark> marks) { FFootprint = std::move(marks); }
    /// A small circle and the call at each digipeater of the footprint, in
    /// their own colour; nothing when there are none.
    void DrawFootprintOverlay();

private:
    void DrawFigure(double longitude, double latitude, double radius, std::uint32_t colour);
    float FigureAspect(double latitude) const;
    void DrawLabel();

    host::TclsUIV& FclsUIV;
    const IRunOptions& FOptions;
    TRunState& FState;
    std::optional<TMeasuredFigure> FMeasured;
    std::vector<TFootprintMark> FFootprint;
};

/// cos(latitude / 60 degrees): the vertical squeeze of an ellipse at the
/// latitude given in host units.
double LatitudeAspect(double latitude);

} // namespace aloha
