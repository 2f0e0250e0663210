#pragma once

#include "app/model/FormModel.h"
#include "app/win32/DpiLayout.h"
#include "app/win32/PaneEdit.h"
#include "app/win32/UrlLabelWin32.h"
#include "app/win32/Win32Layers.h"

#include <windows.h>

#include <array>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

/// The main window on Win32, for Windows.
namespace app::win32 {

/// Control ids, which tests and tools use to find the controls.
enum TControlId : int {
    idTabs = 100,
    idMemo1 = 101, ///< summary pane
    idMemo2 = 102, ///< information text
    idMemo3 = 103, ///< packets pane
    idMemo4 = 104, ///< details pane
    idPacketCount = 105,
    idPacketStatus = 106,
    idStatusBar = 107,
    idMinimizeToTray = 110,
    idShowALOHARadius = 111,
    idRecalculateRate = 112,
    idDrawCircle = 113,
    idDrawEllispe = 114,
    idDebug = 115,
    idPacketDensity = 116,
    idUseInternet = 117,
    idSaveSettings = 118,
    idPayPal = 119,
    idExit = 200,
    idCalculate = 201,
    idRestore = 202,
    idTrayCalc = 203,
    idTrayExit = 204,
    idAbout = 205,
    idChannel = 206, ///< Action > Channel...
};

/// Asks the running window to come to the front (a second velloran.exe sends
/// it, then ends).
inline constexpr UINT kActivateMessage = WM_APP + 4;

/// The window class name of the main window.
inline constexpr const wchar_t* kWindowClass = L"TVelloranForm";

/// The main window: a tab control with the three panes, the Information text
/// and the Options, menus, status bars, timers and tray icon. What it does
/// lives in its TFormModel; the window passes its messages on.
class TWin32Form : public IFormView {
public:
    /// Creates the window (not yet shown) and connects to the host. Throws
    /// when the host cannot be reached. The host description is for About.
    TWin32Form(HINSTANCE instance, TFormServices services, const std::string& hostNote,
               const std::string& hostDescription = "");
    ~TWin32Form() override;
    TWin32Form(const TWin32Form&) = delete;
    TWin32Form& operator=(const TWin32Form&) = delete;

    /// The creation step, then the first show.
    void Start(int showCmd);
    /// Runs the message loop until the program is asked to end; the exit code.
    int Run();

    HWND Handle() const { return FWindow; }

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
    void SetStartState(std::int32_t) override {} // shown by Start, as the model decides
    bool ApplicationMinimized() const override;
    std::int32_t PixelsPerInch() const override;

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK PageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    /// Gives a child the font of its kind for the window's DPI.
    static BOOL CALLBACK SetChildFont(HWND child, LPARAM form);
    LRESULT Message(UINT message, WPARAM wParam, LPARAM lParam);
    void BuildLayout();
    void BuildOptionsPage(HWND page);
    void BuildMenus();
    void Command(int id, int notification);
    void ShowPage(int index);
    /// One message from the queue, in the message loop or while a run lets
    /// messages in: the accelerators, Ctrl+Tab and Ctrl+Shift+Tab, then the
    /// window it is for.
    void Take(MSG& message);
    void Layout();
    /// Fonts for the window's DPI.
    void CreateFonts();
    /// Fonts and layout for the window's DPI (at start, and when it moves to
    /// a monitor of another scale).
    void ApplyDpi();
    /// Records a control of the Options page at its designed rectangle.
    HWND Designed(HWND control, TFit fit);
    /// Shows `hint` while the mouse rests on the control.
    void AddHint(HWND control, std::string_view hint);
    void CheckFirstShow();
    void ShowAbout();
    HWND Control(TOption control) const;
    TPaneBuffer& Pane(TPane pane);
    HWND Child(HWND parent, const wchar_t* windowClass, std::string_view text, DWORD style, int id,
               int left, int top, int width, int height);

    HINSTANCE FInstance;
    HWND FWindow = nullptr;
    HWND FTabs = nullptr;
    std::array<HWND, 5> FPages{};
    HWND FMemo1 = nullptr, FMemo2 = nullptr, FMemo3 = nullptr, FMemo4 = nullptr;
    HWND FPacketPanel = nullptr, FPacketStatus = nullptr, FStatusBar = nullptr;
    std::vector<HWND> FDebugControls;
    std::vector<TPaneBuffer> FPanes; // summary, packets, details
    HMENU FMenu = nullptr, FActionMenu = nullptr, FTrayMenu = nullptr;
    HACCEL FAccelerators = nullptr;
    HFONT FFont = nullptr, FPaneFont = nullptr, FLinkFont = nullptr;
    HICON FIcon = nullptr;
    std::unique_ptr<TPayPalLabelWin32> FPayPalLabel1;
    HWND FHints = nullptr; // the tooltip window
    int FDpi = 96;
    TDesignedLayout FOptionsLayout;
    std::string FHostNote, FHostDescription;
    std::unique_ptr<TWin32Timer> FCalcTimer, FRedrawTimer, FPurgeTimer;
    std::shared_ptr<TWin32Tray> FTray;
    std::unique_ptr<TFormModel> FModel;
    bool FEnding = false;
    int FExitCode = 0;
};

} // namespace app::win32
