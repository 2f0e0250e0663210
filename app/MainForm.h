#pragma once

#include "aloha/Calculation.h"
#include "aloha/RunContext.h"
#include "app/ErrorReport.h"
#include "app/PageControl.h"
#include "app/Platform.h"
#include "app/ReportPane.h"
#include "app/SettingsStore.h"
#include "app/Timer.h"
#include "app/TrayIcon.h"
#include "app/VersionInfo.h"
#include "host/Components.h"
#include "support/APRSCache.h"
#include "support/PayPalLabel.h"

#include <QMainWindow>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

class QAction;
class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QRadioButton;
class QSessionManager;
class QStatusBar;

/// The program's main window and what it owns.
namespace app {

/// Everything the main window is given from outside.
struct TMainFormSetup {
    /// How the host components reach the host.
    std::shared_ptr<host::IHostConnector> Connector;
    /// Command-line arguments without the program name.
    std::vector<std::string> Args;
    /// The settings file.
    std::filesystem::path SettingsFile;
    /// Desktop services; a plain TPlatform when null.
    std::shared_ptr<TPlatform> Platform;
    /// The tray; a TQtTrayShell when null.
    std::shared_ptr<TTrayShell> Tray;
    /// Which host is attached, in words, for the About box.
    std::string HostDescription;
    /// A line about the host for the status bar (the demo scenario is in
    /// use); empty for none.
    std::string HostNote;
};

/// The main window: tabs with the report panes and the Options, menus,
/// timers, tray icon, settings keepers and host components.
///
/// Its event handlers carry the program's behaviour. Every handler shows the
/// errors that escape it in an error box and carries on.
class TMainForm : public QMainWindow,
                  public aloha::IReportPanes,
                  public aloha::IRunWindow,
                  public aloha::IRunOptions,
                  public IPlacementWindow {
public:
    /// Builds the window from its layout, then connects clsUIV to the host.
    /// Throws when the host cannot be reached.
    explicit TMainForm(TMainFormSetup setup);
    /// Runs the settings keepers' destruction saves and then FormDestroy.
    ~TMainForm() override;

    /// The creation step: FormCreate, then the saved placement, then the
    /// saved Options (which set the recalculation interval).
    void Create();
    /// Shows the window, or, when it is to start minimized, minimizes the
    /// application at once.
    void Start();
    /// Brings the window to the front, from the tray or minimized too (a
    /// second start of the program asks for this).
    void BringToFront();

    /// The recalculation interval in ms for a rate text in minutes (30 when
    /// the text is not a number).
    static std::int32_t RecalculateInterval(const QString& rateText);

    // Elements of the layout.
    TPageControl* PageControl1 = nullptr;
    QWidget* TabSheet1 = nullptr; ///< "ALOHA Radius"
    QWidget* TabSheet2 = nullptr; ///< "Information"
    QWidget* TabSheet4 = nullptr; ///< "Calculation Details"
    QWidget* TabSheet3 = nullptr; ///< "Packets Considered"
    QWidget* tsOptions = nullptr; ///< "Options"
    TReportPane* Memo1 = nullptr; ///< summary pane
    TReportPane* Memo2 = nullptr; ///< information text
    TReportPane* Memo3 = nullptr; ///< packets pane
    TReportPane* Memo4 = nullptr; ///< details pane
    QFrame* Panel1 = nullptr;
    QLabel* lblPacketCount = nullptr;
    QStatusBar* PacketStatus = nullptr;
    QStatusBar* StatusBar = nullptr;
    QLabel* StatusPanel0 = nullptr; ///< panel 0 of StatusBar
    QLabel* lblHostNote = nullptr;  ///< StatusBar, right: what host is in use, if not a real one
    QCheckBox* cbMinimizeToTray = nullptr;
    QCheckBox* cbShowALOHARadius = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* edRecalculateRate = nullptr;
    QLabel* Label2 = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    QRadioButton* rbDrawCircle = nullptr;
    QRadioButton* rbDrawEllispe = nullptr;
    QLabel* Label4 = nullptr;
    QGroupBox* gbDebug = nullptr;
    QLabel* Label5 = nullptr;
    QLineEdit* edPacketDensity = nullptr;
    QCheckBox* cbUseInternet = nullptr;
    support::TPayPalLabel* PayPalLabel1 = nullptr;
    QPushButton* btnSaveSettings = nullptr;
    QMenu* File1 = nullptr;
    QAction* miExit = nullptr;
    QMenu* Action1 = nullptr;
    QAction* miCalculate = nullptr;
    QMenu* mnuTrayPopup = nullptr;
    QAction* miRestore = nullptr;
    QAction* miCalc = nullptr;
    QAction* N1 = nullptr;
    QAction* MenuItem1 = nullptr;
    // Additions of our own: Help > About, and Ctrl+Q for Exit.
    QMenu* Help1 = nullptr;
    QAction* miAbout = nullptr;
    QAction* actQuitShortcut = nullptr;

    /// What Help > About says: version, licence, settings file, host.
    QString AboutText() const;

    // Non-visual elements.
    host::THostComponents Host; ///< clsUIV, clsMyInfo, clsStationInfo, clsMapInfo
    TVersionInfo VersionInfo;
    TTimer tmrCalc{1000, false};
    TTimer tmrRedraw{1000, false};
    TOvcIniFileStore OvcIniFileStore1;
    TOvcFormState OvcFormState1;
    TOvcComponentState OvcComponentState1;
    TNotifyIconData TrayIconData;
    aloha::TCalculation Calculation; ///< its State holds PacketDensity, the own station and results

    // Event handlers.
    void FormCreate();
    void FormShow();
    void FormDestroy();
    void btnCalculateClick();
    void tmrCalcTimer();
    void rbDrawClick();
    void tmrRedrawTimer();
    void PageControl1Changing(QWidget* leaving, bool& allowChange);
    void btnSaveSettingsClick();
    void OvcComponentState1RestoreState();
    void OvcComponentState1SaveState();
    void miExitClick();
    void clsUIVUIView32IsClosing();
    /// The end-of-session query: answers yes at once; nothing else runs.
    void EndSessionQuery(QSessionManager& manager);
    void AppMinimize();
    void miRestoreClick();
    void TrayIconMessage(std::uint32_t mouseMessage);

    /// The packet cache: created by FormCreate, destroyed by FormDestroy.
    support::TPacketCache* PacketCache() const { return FPacketCache.get(); }

    /// True while the application is hidden in the tray.
    bool HiddenInTray() const { return FHiddenInTray; }
    /// The error box caption: the application title.
    static QString ApplicationTitle();

    // aloha::IReportPanes
    void LogSummary(const std::string& line) override;
    void LogPackets(const std::string& line) override;
    void LogDetail(const std::string& line) override;
    void ClearSummary() override;
    void ClearPackets() override;
    void ClearDetails() override;
    // aloha::IRunWindow
    void SetCalculateEnabled(bool enabled) override;
    aloha::IRunTimer& CalcTimer() override { return tmrCalc; }
    aloha::IRunTimer& RedrawTimer() override { return tmrRedraw; }
    void SetTrayTip(const std::string& tip) override;
    void ProcessMessages() override;
    void Yield() override;
    void PostDeferredRun() override;
    // aloha::IRunOptions
    bool DrawCircleSelected() const override;
    bool DrawEllipseSelected() const override;
    bool ShowRadiusLabel() const override;
    /// Set by FormCreate from the first command-line argument.
    bool DebugMode() const override { return FDebugMode; }
    bool IncludeInternet() const override;
    // IPlacementWindow
    TWindowPlacement GetPlacement() const override;
    void SetPlacement(const TWindowPlacement& placement) override;
    void SetStartState(std::int32_t showCmd) override;
    bool ApplicationMinimized() const override;
    std::int32_t PixelsPerInch() const override;

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildLayout();
    void BuildOptionsTab();
    /// Moves and grows the Options controls so that no text is cut or covered.
    void FitOptionsTab();
    void BuildMenus();
    void BindSettings();
    void SetRadio(QRadioButton* button, bool checked);
    void Restore();
    void CheckFirstShow();
    void ShowError(const std::string& message);
    /// Runs a handler, showing an error that escapes it.
    template <class F> void Handle(F&& handler);

    TMainFormSetup FSetup;
    std::shared_ptr<TPlatform> FPlatform;
    std::shared_ptr<TTrayShell> FTray;
    bool FDebugMode = false;
    bool FFormShown = false; // FormShow has run for a real show
    bool FHiddenInTray = false;
    bool FDropErrors = false;       // errors of the run a settings restore starts
    bool FRedrawErrorShown = false; // a failing redraw is reported once a run
    TErrorBoxGate FErrorBox;
    bool FDestroying = false;
    bool FRestoreToMaximized = false;
    std::unique_ptr<support::TPacketCache> FPacketCache;
};

} // namespace app
