#pragma once

#include "app/model/FormModel.h"
#include "app/qt/PageControl.h"
#include "app/qt/Platform.h"
#include "app/qt/ReportPane.h"
#include "app/qt/Timer.h"
#include "app/qt/TrayIcon.h"
#include "support/qt/PayPalLabel.h"

#include <QMainWindow>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

class QAction;
class QAbstractButton;
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

/// The main window on Qt: tabs with the report panes and the Options, menus,
/// timers and tray icon. What it does lives in its TFormModel; the window
/// holds the widgets and passes their events on.
class TMainForm : public QMainWindow, public IFormView {
public:
    /// Builds the window from its layout, then connects clsUIV to the host.
    /// Throws when the host cannot be reached.
    explicit TMainForm(TMainFormSetup setup);
    /// The model's destruction step (saves, then FormDestroy).
    ~TMainForm() override;

    /// The creation step (see TFormModel::Create).
    void Create() { Model.Create(); }
    /// Shows the window, or, when it is to start minimized, minimizes the
    /// application at once.
    void Start();
    /// Brings the window to the front, from the tray or minimized too (a
    /// second start of the program asks for this).
    void BringToFront();
    /// The end of a session (SIGTERM, SIGHUP): ends the program as a log-off
    /// does, with nobody to answer, so that a save that fails is written to
    /// standard error rather than shown in a box.
    void EndUnattended();

    /// The recalculation interval in ms for a rate text in minutes.
    static std::int32_t RecalculateInterval(const QString& rateText) {
        return TFormModel::RecalculateInterval(rateText.toStdString());
    }

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
    QAction* miChannel = nullptr; ///< Action > Channel...
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
    TTimer tmrCalc{1000, false};
    TTimer tmrRedraw{1000, false};
    TFormModel Model;
    // The model's parts, by the names the window has always had.
    host::THostComponents& Host;
    const TVersionInfo& VersionInfo;
    TOvcIniFileStore& OvcIniFileStore1;
    TOvcFormState& OvcFormState1;
    TOvcComponentState& OvcComponentState1;
    const TNotifyIconData& TrayIconData;
    aloha::TCalculation& Calculation;

    void miExitClick() { Model.miExitClick(); }
    /// The end-of-session query: answers yes at once; nothing else runs.
    void EndSessionQuery(QSessionManager& manager);
    void miRestoreClick() { Model.RestoreFromTray(); }

    support::TPacketCache* PacketCache() const { return Model.PacketCache(); }
    bool HiddenInTray() const { return Model.HiddenInTray(); }
    bool DebugMode() const { return Model.DebugMode(); }
    void ShowError(const std::string& message) { Model.ShowError(message); }
    /// The error box caption: the application title.
    static QString ApplicationTitle();

    // IFormView
    bool Checked(TOption control) const override;
    void SetChecked(TOption control, bool checked) override;
    std::string Text(TOption control) const override;
    void SetText(TOption control, const std::string& text) override;
    void AppendLine(TPane pane, const std::string& line) override;
    void ClearPane(TPane pane) override;
    void SetCaption(const std::string& caption) override;
    void SetStatusText(const std::string& text) override;
    void ShowFirstPage() override;
    void ShowDebugOptions() override;
    void SetCalculateEnabled(bool enabled) override;
    void ProcessMessages() override;
    void PostDeferredRun() override;
    void ShowErrorBox(const std::string& caption, const std::string& message) override;
    void RequestTermination() override;
    void SetTaskbarEntryVisible(bool visible) override;
    void RestoreWindow() override;
    void PopupTrayMenu() override;
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
    TFormServices Services(const TMainFormSetup& setup) const;
    void BuildLayout();
    void BuildOptionsTab();
    /// Moves and grows the Options controls so that no text is cut or covered.
    void FitOptionsTab();
    void BuildMenus();
    void SetRadio(QRadioButton* button, bool checked);
    QAbstractButton* Button(TOption control) const;
    QLineEdit* Edit(TOption control) const;
    TReportPane* Pane(TPane pane) const;
    void CheckFirstShow();
    /// Shrinks a window larger than its screen's available area to fit it,
    /// frame included, remembering the size it had, and moves it inside.
    void FitIntoScreen();
    /// Runs a handler, showing an error that escapes it.
    template <class F> void Handle(F&& handler) { Model.Handle(std::forward<F>(handler)); }

    TMainFormSetup FSetup;
    std::shared_ptr<TPlatform> FPlatform;
    bool FRestoreToMaximized = false;
    // The size the user chose, and the smaller one the screen forced on the
    // window at start; the placement saves the first while the second holds.
    QSize FChosenSize;
    QSize FForcedSize;
};

} // namespace app
