#pragma once

#include "aloha/MapOverlay.h"
#include "aloha/MeasuredRadius.h"
#include "aloha/RunContext.h"
#include "aloha/RunState.h"
#include "aloha/Station.h"
#include "aloha/StationKind.h"
#include "host/Components.h"
#include "support/Pacer.h"

#include <functional>
#include <memory>
#include <optional>
#include <string_view>

/// The ALOHA computation: from the host's station list to the radius.
namespace aloha {

/// One calculation run and its steps, working for the window that owns it.
///
/// The window keeps State between runs and implements the panes, the run
/// controls and the options. Host errors are not caught here: they end the run
/// after its cleanup and travel on to the caller.
class TCalculation {
public:
    TCalculation(host::THostComponents& host, IReportPanes& panes, IRunWindow& window,
                 const IRunOptions& options);

    /// Threshold, own station and the last run's results.
    TRunState State;

    /// Reads the own station (call sign upper-cased, latitude, longitude) into
    /// State, each value stored as soon as it has been read.
    void ReadOwnStation();

    /// One full calculation run. The list, the Calculate commands and tmrCalc
    /// are restored whatever happens.
    ///
    /// A request that arrives while a run is in progress (pane appends process
    /// pending events, so a shape change can come in) is deferred, not
    /// refused: it is remembered, and once the current run has cleaned up the
    /// window is asked to run again. Several such requests give one more run.
    void btnCalculateClick();

    /// True from the start of a run to the end of its cleanup.
    bool RunInProgress() const { return FRunning; }

    /// The redraw timer's tick.
    void tmrRedrawTimer();

    // The steps of a run, in their order. They work on the run's station list.
    void GatherRFStations();
    void AdjustThirdPartyDistances();
    void SortStationsByDistance();
    void AccumulateLoad();

    /// 1 when a is farther than b, -1 when nearer, 0 when equal or either is absent.
    static int CompareStationDistance(const TStation* a, const TStation* b);

    /// The run's list; null outside a run (the steps may also be run on a list
    /// given with UseStationList, for tests and tools).
    TStationList* Stations() { return FStations.get(); }
    void UseStationList(std::unique_ptr<TStationList> list) { FStations = std::move(list); }

    TMapOverlay& Overlay() { return FOverlay; }

    /// The last run's list in its order, with each station's estimate, kept
    /// after the run releases its records; empty when the run failed before
    /// its walk.
    const TListedStations& LastStations() const { return FLastStations; }

    /// Set when the radius measured on the channel is to be drawn beside the
    /// run's figure: asked with the run's list once the run has drawn its
    /// figure; the measured radius is drawn when it was reached. Unset, or
    /// giving nothing, the map is drawn as without it.
    std::function<std::optional<TMeasuredRadius>(const TListedStations&)> MeasureChannel;
    /// Set when the digipeaters that repeated the own packets are to be
    /// marked on the map: asked with the run's list after the measured
    /// figure. Unset, or giving none, nothing more is drawn.
    std::function<std::vector<TFootprintMark>(const TListedStations&)> FootprintMarks;

private:
    void RunSteps();
    /// Draws the measured figure after the run's own (see MeasureChannel).
    void DrawMeasured(const TStationList& list);
    /// Gives the processor away during long work, by time rather than per
    /// comparison or station: once every 20 ms. On a busy machine each give-away
    /// costs about a time slice of the others, so more often would slow a run
    /// several times over without helping anyone.
    void GiveWay();

    host::THostComponents& FHost;
    IReportPanes& FPanes;
    IRunWindow& FWindow;
    const IRunOptions& FOptions;
    TMapOverlay FOverlay;
    std::unique_ptr<TStationList> FStations;
    TListedStations FLastStations;
    bool FRunning = false;
    bool FRunPending = false;
    support::TPacer FYieldPacer{std::chrono::milliseconds(20)};
    support::TPacer FEventsPacer{std::chrono::milliseconds(50)};
};

/// The saturation threshold for a typed Packet Density: the text read as a
/// number, or 1800 when it is not one or is below 1 (a threshold of 0 or less
/// would report a radius without counting a single packet).
std::int32_t PacketDensityFromText(std::string_view text);

/// The distance above which a station is too far away to count, in km.
inline constexpr std::int32_t kMaxDistanceKm = 805;

} // namespace aloha
