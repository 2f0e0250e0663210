#pragma once

#include "aloha/Calculation.h"
#include "aloha/RunContext.h"
#include "app/model/ChannelModel.h"
#include "app/model/ErrorReport.h"
#include "app/model/SettingsStore.h"
#include "app/model/TrayRecord.h"
#include "app/model/VersionInfo.h"
#include "app/model/WindowTimer.h"
#include "host/Components.h"
#include "support/APRSCache.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

/// The main window's behaviour, shared by every view of it (the Qt window on
/// Linux, the Win32 window on Windows). Plain C++: a view supplies its widgets
/// and platform services through IFormView and drives the model from its
/// events.
namespace app {

/// The Options controls whose values the settings file keeps, in the order
/// the file keeps them.
enum class TOption {
    cbMinimizeToTray,
    cbShowALOHARadius,
    rbDrawCircle,
    rbDrawEllispe,
    edRecalculateRate,
    edPacketDensity,
    cbUseInternet,
};

/// The three panes a run writes to.
enum class TPane { Summary, Packets, Details };

/// How the user asks for another page of the main window.
enum class TPageChange {
    Click,       ///< a click on a tab
    ArrowKey,    ///< the arrow keys on the tab strip
    NextPageKey, ///< Ctrl+Tab or Ctrl+Shift+Tab
};

/// How the window first appears when the message loop starts.
struct TStartShow {
    /// False only when it goes straight to a tray icon that is really there.
    bool Visible = true;
    /// Starts minimized; the view has the minimize step (AppMinimize) follow.
    bool Minimized = false;
    bool Maximized = false;
};

/// What a view of the main window provides: its controls, panes and the
/// platform services the behaviour needs.
class IFormView : public IPlacementWindow {
public:
    /// The check mark of a check box or radio button. Clearing a radio button
    /// leaves the other of its group alone (the file may say neither shape).
    virtual bool Checked(TOption control) const = 0;
    virtual void SetChecked(TOption control, bool checked) = 0;
    /// The text of an edit box.
    virtual std::string Text(TOption control) const = 0;
    virtual void SetText(TOption control, const std::string& text) = 0;

    virtual void AppendLine(TPane pane, const std::string& line) = 0;
    virtual void ClearPane(TPane pane) = 0;
    virtual void SetCaption(const std::string& caption) = 0;
    /// Panel 0 of the status bar.
    virtual void SetStatusText(const std::string& text) = 0;
    /// Makes "ALOHA Radius" the current page.
    virtual void ShowFirstPage() = 0;
    /// Shows the debug options group.
    virtual void ShowDebugOptions() = 0;
    /// Enables or disables both Calculate commands.
    virtual void SetCalculateEnabled(bool enabled) = 0;
    /// Handles the window's pending messages.
    virtual void ProcessMessages() = 0;
    /// Asks for TFormModel::btnCalculateClick once the running handler has
    /// returned.
    virtual void PostDeferredRun() = 0;
    /// A modal error box.
    virtual void ShowErrorBox(const std::string& caption, const std::string& message) = 0;
    /// Asks the message loop to end once the running handler has returned.
    virtual void RequestTermination() = 0;
    /// Shows or hides the program's taskbar entry.
    virtual void SetTaskbarEntryVisible(bool visible) = 0;
    /// Shows the window in its normal (or maximized) state and activates it:
    /// the platform part of TFormModel::RestoreFromTray.
    virtual void RestoreWindow() = 0;
    /// Pops up the tray menu at the mouse.
    virtual void PopupTrayMenu() = 0;
};

/// What the model is given from outside.
struct TFormServices {
    /// How the host components reach the host.
    std::shared_ptr<host::IHostConnector> Connector;
    /// Command-line arguments without the program name.
    std::vector<std::string> Args;
    /// The settings file.
    std::filesystem::path SettingsFile;
    /// The tray.
    std::shared_ptr<TTrayShell> Tray;
    /// The window handle given in the tray record.
    std::uint32_t TrayWindow = 0;
    /// Makes the packet cache's purge timer on the window's message loop; an
    /// error from a purge goes to the callback.
    std::function<std::unique_ptr<support::IPurgeTimer>(std::function<void(const std::string&)>)>
        MakePurgeTimer;
    /// The program's version block as TVersionInfo reads it, from the
    /// executable's version resource; empty for the one built in.
    std::string VersionBlock;
    /// The application title: caption start and error box caption.
    std::string ApplicationTitle = "Velloran";
};

/// The main window's behaviour: start-up and shut-down order, the Options and
/// their rules, the settings keepers, the runs and their timers, the tray
/// record, error reporting and the ways to end.
///
/// Every handler shows the errors that escape it in an error box (one box at
/// a time) and carries on.
class TFormModel : public aloha::IReportPanes,
                   public aloha::IRunWindow,
                   public aloha::IRunOptions,
                   public host::IHostWait {
public:
    /// The view and both timers must outlive the model.
    TFormModel(IFormView& view, TWindowTimer& calcTimer, TWindowTimer& redrawTimer,
               TFormServices services);
    /// The destruction step: the keepers save what was not saved, the Options
    /// first, then FormDestroy.
    ~TFormModel() override;

    /// Connects clsUIV to the host, once the view is built. Throws when the
    /// host cannot be reached.
    void Loaded();
    /// The creation step: FormCreate, then the saved placement, then the
    /// saved Options (which set the recalculation interval). A shape restored
    /// here starts no run: the own station is not known before the first show.
    void Create();
    /// The destruction step ahead of the model's own end (the view calls it
    /// while its controls still exist); later calls do nothing.
    void Destroy();

    /// The recalculation interval in ms for a rate text in minutes (30 when
    /// the text is not a number; 0, off, for a negative rate; at most the
    /// longest interval a timer counts).
    static std::int32_t RecalculateInterval(const std::string& rateText);
    /// The caption after FormShow: "<title> v<major>.<minor>.<release> -
    /// Station Call Sign - <own call>", " *DEBUG*" added in debug mode.
    std::string Caption() const;

    /// The first show: debug options, the own station, the caption, a run.
    /// Throws what reading the own station throws (callers use Handle).
    void FormShow();
    // Event handlers, each showing its own errors.
    void btnCalculateClick();
    void rbDrawClick();
    /// The user clicked a shape button (already checked by the toolkit): a
    /// shape that changes starts a run; a click on the shape already chosen
    /// does nothing.
    void ShapeClicked(TOption button);
    /// PageControl1Changing: the user is about to leave page `leaving` (0 to
    /// 4; 4 is Options). Leaving the Options saves them, and a failure is
    /// shown. True when the change goes ahead: always after a click or an
    /// arrow key; after Ctrl+Tab a failed save keeps the Options in front.
    bool PageChanging(int leaving, TPageChange how);
    /// The page Ctrl+Tab (Ctrl+Shift+Tab when backwards) brings to the front
    /// from `current` among `count`, wrapping round.
    static int NextPage(int current, int count, bool backwards);
    void btnSaveSettingsClick();
    void miExitClick();
    /// The host's closing event.
    void clsUIVUIView32IsClosing();
    /// A close request (the window's close box): saves both sections with
    /// the values of this moment and ends the program.
    void CloseRequest();
    /// The end-of-session query: the answer is yes, and nothing else runs.
    bool QueryEndSession() const { return true; }
    /// The sections the end of the program saves (Exit, the host closing,
    /// the end of the session): those not saved during the run; never both
    /// anew, as a close request saves them.
    struct TEndSaves {
        bool Settings = false;
        bool MainForm = false;
    };
    TEndSaves ProgramEndSaves() const;
    /// The session ends (log-off or shutdown; SIGTERM and SIGHUP on Linux):
    /// the destruction step at once, with its ProgramEndSaves, then the end
    /// of the program. No close request runs.
    void SessionEnds();
    /// How the window appears at start-up, after Create: from the restored
    /// placement and the system's start-up show command (kSwShowMinNoActive
    /// starts minimized whatever was saved, kSwShowMaximized maximized). A
    /// minimized window is hidden only where a tray icon can bring it back.
    TStartShow StartShow(std::int32_t systemShowCmd = kSwShowNormal) const;
    /// The window's visibility or state changed. True the first time it is
    /// visible and not minimized: the view then has FormShow run once its
    /// handler has returned. Minimizing, restoring and the tray do not count.
    bool WindowShown(bool visible, bool minimized);
    /// The window has been minimized: with "Minimize to Tray" it leaves the
    /// taskbar (when a tray icon can bring it back). Runs once a minimize: a
    /// second call before the window is shown again (WindowShown) or restored
    /// (RestoreFromTray) does nothing. Throws like FormShow.
    void AppMinimize();
    /// Brings the window back from the tray or from being minimized (tray
    /// double click, the tray menu's Restore, a second instance): its taskbar
    /// entry returns, then the view shows and activates it.
    void RestoreFromTray();
    /// A mouse message on the tray icon.
    void TrayIconMessage(std::uint32_t callbackMessage, std::uint32_t mouseMessage);
    /// Reports an error in a box, one box at a time; once the program ends
    /// unattended, to the log instead.
    void ShowError(const std::string& message);
    /// The program is ending with nobody to answer (the end of a session,
    /// SIGTERM or SIGHUP): from now on errors go to log instead of a box, and
    /// a write of the settings file waits at most kUnattendedLockWait for
    /// another program's hold on it, so that the saves of the end take a few
    /// seconds at worst. What the file holds already stays.
    void SetUnattended(std::function<void(const std::string&)> log);
    static constexpr std::chrono::milliseconds kUnattendedLockWait{1000};
    /// Where a view without a standard error (Windows) logs what goes wrong
    /// at the end of a session: beside the settings file.
    std::filesystem::path EndOfSessionLog() const {
        return FServices.SettingsFile.parent_path() / kEndOfSessionLogFile;
    }
    static constexpr const char* kEndOfSessionLogFile = "velloran-end-of-session.log";
    /// Runs a handler, showing an error that escapes it.
    void Handle(const std::function<void()>& handler);

    bool HiddenInTray() const { return FHiddenInTray; }
    bool Destroying() const { return FDestroying; }
    const std::string& ApplicationTitle() const { return FServices.ApplicationTitle; }
    support::TPacketCache* PacketCache() const { return FPacketCache.get(); }

    host::THostComponents Host; ///< clsUIV, clsMyInfo, clsStationInfo, clsMapInfo
    TVersionInfo VersionInfo;
    TOvcIniFileStore OvcIniFileStore1;
    TOvcFormState OvcFormState1;
    TOvcComponentState OvcComponentState1;
    TNotifyIconData TrayIconData;
    aloha::TCalculation Calculation; ///< its State holds PacketDensity, the own station and results
    /// The Channel window's model, made by Create from [Channel] in the settings file.
    std::unique_ptr<TChannelModel> Channel;

    // aloha::IReportPanes
    void LogSummary(const std::string& line) override;
    void LogPackets(const std::string& line) override;
    void LogDetail(const std::string& line) override;
    void ClearSummary() override { FView.ClearPane(TPane::Summary); }
    void ClearPackets() override { FView.ClearPane(TPane::Packets); }
    void ClearDetails() override { FView.ClearPane(TPane::Details); }
    // aloha::IRunWindow
    void SetCalculateEnabled(bool enabled) override { FView.SetCalculateEnabled(enabled); }
    aloha::IRunTimer& CalcTimer() override { return FCalcTimer; }
    aloha::IRunTimer& RedrawTimer() override { return FRedrawTimer; }
    void SetTrayTip(const std::string& tip) override;
    void ProcessMessages() override { FView.ProcessMessages(); }
    void Yield() override;
    void PostDeferredRun() override { FView.PostDeferredRun(); }
    // aloha::IRunOptions
    bool DrawCircleSelected() const override { return FView.Checked(TOption::rbDrawCircle); }
    bool DrawEllipseSelected() const override { return FView.Checked(TOption::rbDrawEllispe); }
    bool ShowRadiusLabel() const override { return FView.Checked(TOption::cbShowALOHARadius); }
    /// Set by FormCreate from the first command-line argument.
    bool DebugMode() const override { return FDebugMode; }
    bool IncludeInternet() const override { return FView.Checked(TOption::cbUseInternet); }
    // host::IHostWait: while a call waits for a slow host the window goes on,
    // with the Calculate commands disabled and no redraw; a run asked for
    // meanwhile starts once the call is over.
    void WaitBegins() override;
    void Waiting() override { FView.ProcessMessages(); }
    void WaitEnds() override;
    bool WaitingForHost() const { return FHostWaits > 0; }

private:
    void FormCreate();
    void FormDestroy();
    /// Where the measured channel is kept over a restart: beside the settings file.
    std::filesystem::path ChannelWindowFile() const {
        return FServices.SettingsFile.parent_path() / kChannelWindowFile;
    }
    void BindSettings();
    void ApplyRecalculateRate();
    void LeaveTray();
    /// Sets a check box or radio button as the settings restore does:
    /// selecting a shape clears the other and starts a run.
    void SetOptionChecked(TOption control, bool checked);

    IFormView& FView;
    TWindowTimer& FCalcTimer;
    TWindowTimer& FRedrawTimer;
    TFormServices FServices;
    bool FDebugMode = false;
    bool FHiddenInTray = false;
    bool FFormShown = false;
    unsigned FRestores = 0;         // restores from the tray so far
    bool FMinimizeStepDone = false; // AppMinimize ran since the window was last shown
    std::optional<TOption> FShape;  // the shape whose selection last started a run
    // The creation step's restore of the Options: a shape it selects starts
    // no run yet, and an error from one of its values is dropped.
    bool FRestoringOptions = false;
    bool FRedrawErrorShown = false; // a failing redraw is reported once a run
    bool FDestroying = false;
    bool FDestroyed = false;
    int FHostWaits = 0;          // host calls waiting for their answer
    bool FRunAfterWait = false;  // a run was asked for while a call waited
    bool FShowAfterWait = false; // the first show came while a call waited
    TErrorBoxGate FErrorBox;
    std::function<void(const std::string&)> FUnattendedLog; ///< set: no boxes, the log
    std::unique_ptr<support::TPacketCache> FPacketCache;
};

} // namespace app
