#pragma once

#include <string>

/// What the calculation needs from the window that owns it. The main window
/// implements these; so do the command-line tool and the tests.
namespace aloha {

/// The three report panes. Each append adds one line as the pane's new last
/// line and then lets the owner process pending events before returning.
class IReportPanes {
public:
    virtual ~IReportPanes() = default;
    virtual void LogSummary(const std::string& line) = 0; ///< "ALOHA Radius" pane
    virtual void LogPackets(const std::string& line) = 0; ///< "Packets Considered" pane
    virtual void LogDetail(const std::string& line) = 0;  ///< "Calculation Details" pane
    virtual void ClearSummary() = 0;
    virtual void ClearPackets() = 0;
    virtual void ClearDetails() = 0;
};

/// A timer the calculation starts and stops (tmrCalc, tmrRedraw).
class IRunTimer {
public:
    virtual ~IRunTimer() = default;
    virtual void Start() = 0;
    virtual void Stop() = 0;
    virtual bool IsActive() const = 0;
};

/// Options read at the moment they are used.
class IRunOptions {
public:
    virtual ~IRunOptions() = default;
    virtual bool DrawCircleSelected() const = 0;  ///< "Draw Circle" (rbDrawCircle)
    virtual bool DrawEllipseSelected() const = 0; ///< "Draw Ellispe" (rbDrawEllispe)
    virtual bool ShowRadiusLabel() const = 0;     ///< "Show ALOHA Radius on map (text)"
    virtual bool DebugMode() const = 0;
    virtual bool IncludeInternet() const = 0; ///< "Include Internet"; counts in debug mode only
};

/// The rest of the window a run touches.
class IRunWindow {
public:
    virtual ~IRunWindow() = default;
    /// Enables or disables both Calculate commands (miCalculate, miCalc).
    virtual void SetCalculateEnabled(bool enabled) = 0;
    virtual IRunTimer& CalcTimer() = 0;   ///< tmrCalc
    virtual IRunTimer& RedrawTimer() = 0; ///< tmrRedraw
    /// Sets the tray tooltip (at most 63 characters) and updates the icon.
    virtual void SetTrayTip(const std::string& tip) = 0;
    /// Lets the window process all pending events.
    virtual void ProcessMessages() = 0;
    /// Gives the processor away for a moment (a zero-length sleep).
    virtual void Yield() = 0;
    /// Asked when a run was requested while one was in progress: the window
    /// runs btnCalculateClick again once control is back in its event loop.
    virtual void PostDeferredRun() = 0;
};

} // namespace aloha
