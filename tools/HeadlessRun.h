#pragma once

#include "aloha/Calculation.h"
#include "aloha/RunContext.h"
#include "standin/model/StandinHost.h"
#include "tools/RecordingConnector.h"

#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

/// The calculation without a window: panes that keep their lines, timers that
/// only remember whether they run, fixed options. Used by velloran-report, the
/// benchmarks and the tests.
namespace tools {

/// Three panes that keep their lines and nothing else.
class TLinePanes : public aloha::IReportPanes {
public:
    std::vector<std::string> Summary, Packets, Details;
    /// Runs after every append, where a window would process pending events.
    std::function<void()> OnAppend;

    void LogSummary(const std::string& line) override { Append(Summary, line); }
    void LogPackets(const std::string& line) override { Append(Packets, line); }
    void LogDetail(const std::string& line) override { Append(Details, line); }
    void ClearSummary() override { Summary.clear(); }
    void ClearPackets() override { Packets.clear(); }
    void ClearDetails() override { Details.clear(); }

private:
    void Append(std::vector<std::string>& pane, const std::string& line) {
        pane.push_back(line);
        if (OnAppend)
            OnAppend();
    }
};

/// A timer that only remembers whether it runs, and how often it was started.
class TFlagTimer : public aloha::IRunTimer {
public:
    void Start() override {
        FActive = true;
        ++Starts;
    }
    void Stop() override { FActive = false; }
    bool IsActive() const override { return FActive; }
    int Starts = 0;

private:
    bool FActive = false;
};

/// The options of the window, as plain fields.
class TFixedOptions : public aloha::IRunOptions {
public:
    bool Circle = true;
    bool Ellipse = false;
    bool Label = true;
    bool Debug = false;
    bool Internet = false;

    bool DrawCircleSelected() const override { return Circle; }
    bool DrawEllipseSelected() const override { return Ellipse; }
    bool ShowRadiusLabel() const override { return Label; }
    bool DebugMode() const override { return Debug; }
    bool IncludeInternet() const override { return Internet; }
};

/// Window state a run touches, kept in fields.
class THeadlessWindow : public aloha::IRunWindow {
public:
    TFlagTimer tmrCalc, tmrRedraw;
    bool CalculateEnabled = true;
    std::string TrayTip = "right-click for options";
    int DeferredRuns = 0;
    int Yields = 0;      ///< times the run gave the processor away
    int EventRounds = 0; ///< times the run let window events in

    void SetCalculateEnabled(bool enabled) override { CalculateEnabled = enabled; }
    aloha::IRunTimer& CalcTimer() override { return tmrCalc; }
    aloha::IRunTimer& RedrawTimer() override { return tmrRedraw; }
    void SetTrayTip(const std::string& tip) override { TrayTip = tip; }
    void ProcessMessages() override { ++EventRounds; }
    void Yield() override;
    void PostDeferredRun() override { ++DeferredRuns; }
};

/// A whole calculation set-up, on an embedded stand-in host or on any other
/// connector, with the map calls recorded on the way.
struct THeadlessRun {
    explicit THeadlessRun(standin::TScenario scenario);
    explicit THeadlessRun(std::shared_ptr<host::IHostConnector> connector);

    std::shared_ptr<standin::TStandinHost> Host; ///< the embedded host; null on another connector
    std::shared_ptr<TRecordingConnector> Connector;
    host::THostComponents Components;
    TLinePanes Panes;
    THeadlessWindow Window;
    TFixedOptions Options;
    aloha::TCalculation Calculation;
};

/// Writes the report sections: the three panes, the map calls and the tooltip.
void WriteReport(const THeadlessRun& run, std::ostream& out);

/// The velloran-report program: arguments without the program name. Returns
/// the exit status.
int RunVelloranReport(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

} // namespace tools
