#include "app/model/FormModel.h"

#include "support/TextRules.h"

#include <algorithm>
#include <limits>
#include <thread>

namespace app {

TFormModel::TFormModel(IFormView& view, TWindowTimer& calcTimer, TWindowTimer& redrawTimer,
                       TFormServices services)
    : Host(services.Connector),
      VersionInfo(services.VersionBlock.empty() ? std::string(BuiltInVersionBlock())
                                                : services.VersionBlock),
      OvcIniFileStore1(services.SettingsFile), OvcFormState1(OvcIniFileStore1, view),
      OvcComponentState1(OvcIniFileStore1), Calculation(Host, *this, *this, *this), FView(view),
      FCalcTimer(calcTimer), FRedrawTimer(redrawTimer), FServices(std::move(services)) {
    BindSettings();
    FCalcTimer.OnTimer = [this] { btnCalculateClick(); };
    // The redraw repeats every second: a host that fails it (gone, or its map
    // closed) would otherwise stack one modal error box a second. Its error is
    // shown once until the next run, and the timer keeps ticking.
    FRedrawTimer.OnTimer = [this] {
        if (FHostWaits > 0)
            return;
        try {
            Calculation.tmrRedrawTimer();
        } catch (const std::exception& error) {
            if (!FRedrawErrorShown) {
                FRedrawErrorShown = true;
                ShowError(OperatorErrorText(error));
            }
        }
    };
    if (FServices.Connector)
        FServices.Connector->SetWait(this);
    if (FServices.Tray)
        FServices.Tray->OnCallback = [this](std::uint32_t message, std::uint32_t mouse) {
            Handle([this, message, mouse] { TrayIconMessage(message, mouse); });
        };
}

TFormModel::~TFormModel() {
    Destroy();
    if (FServices.Connector)
        FServices.Connector->SetWait(nullptr);
    FCalcTimer.OnTimer = nullptr;
    FRedrawTimer.OnTimer = nullptr;
}

void TFormModel::Loaded() {
    Host.clsUIV.OnUIView32IsClosing = [this] { Handle([this] { clsUIVUIView32IsClosing(); }); };
    Host.Loaded();
}

void TFormModel::Create() {
    FormCreate();
    // The measured channel, only when [Channel] names a TNC: without it
    // nothing listens and the program is as it always was.
    Channel = std::make_unique<TChannelModel>(ReadChannelSettings(FServices.SettingsFile));
    // The window measured before a restart, so that the measured radius is
    // there at once rather than after 30 minutes.
    if (Channel->Settings().Tnc)
        Channel->RestoreWindow(ChannelWindowFile());
    Channel->Start();
    // Read at every run, so that switching it off takes the figure away at
    // the next run without a restart.
    Calculation.MeasureChannel =
        [this](const aloha::TListedStations& list) -> std::optional<aloha::TMeasuredRadius> {
        if (!Channel || !ReadDrawMeasured(FServices.SettingsFile))
            return std::nullopt;
        return Channel->Measure(list, Calculation.State.PacketDensity);
    };
    Calculation.FootprintMarks =
        [this](const aloha::TListedStations& list) -> std::vector<aloha::TFootprintMark> {
        if (!Channel || !ReadDrawFootprint(FServices.SettingsFile))
            return {};
        return Channel->FootprintMarks(list, Calculation.State);
    };
    Handle([this] { OvcFormState1.RestoreState(); });
    FRestoringOptions = true;
    Handle([this] { OvcComponentState1.RestoreState(); });
    FRestoringOptions = false;
}

void TFormModel::Destroy() {
    if (FDestroyed)
        return;
    FDestroyed = true;
    FDestroying = true;
    if (Channel) {
        Channel->Stop();
        if (Channel->Settings().Tnc)
            Handle([this] { Channel->SaveWindow(ChannelWindowFile()); });
    }
    FCalcTimer.Stop();
    FRedrawTimer.Stop();
    const TEndSaves saves = ProgramEndSaves();
    if (saves.Settings)
        Handle([this] { OvcComponentState1.SaveState(); });
    if (saves.MainForm)
        Handle([this] { OvcFormState1.SaveState(); });
    Handle([this] { FormDestroy(); });
    Host.clsUIV.OnUIView32IsClosing = nullptr;
    if (FServices.Tray)
        FServices.Tray->OnCallback = nullptr;
}

TFormModel::TEndSaves TFormModel::ProgramEndSaves() const {
    return {!OvcComponentState1.Saved(), !OvcFormState1.Saved()};
}

void TFormModel::SessionEnds() {
    Destroy();
    FView.RequestTermination();
}

void TFormModel::BindSettings() {
    const auto yesNo = [this](TOption control) {
        return TStoredProperty{
            "", [this, control] { return std::string(FView.Checked(control) ? "True" : "False"); },
            [this, control](bool checked) { SetOptionChecked(control, checked); }, nullptr};
    };
    const auto text = [this](TOption control) {
        return TStoredProperty{
            "", [this, control] { return FView.Text(control); }, nullptr,
            [this, control](const std::string& value) { FView.SetText(control, value); }};
    };
    const auto keyed = [](const char* key, TStoredProperty property) {
        property.Key = key;
        return property;
    };
    OvcComponentState1.StoredProperties = {
        keyed("cbMinimizeToTray.Checked", yesNo(TOption::cbMinimizeToTray)),
        keyed("cbShowALOHARadius.Checked", yesNo(TOption::cbShowALOHARadius)),
        keyed("rbDrawCircle.Checked", yesNo(TOption::rbDrawCircle)),
        keyed("rbDrawEllispe.Checked", yesNo(TOption::rbDrawEllispe)),
        keyed("edRecalculateRate.Text", text(TOption::edRecalculateRate)),
        keyed("edPacketDensity.Text", text(TOption::edPacketDensity)),
        keyed("cbUseInternet.Checked", yesNo(TOption::cbUseInternet)),
    };
    OvcFormState1.HiddenInTray = [this] { return FHiddenInTray; };
    OvcComponentState1.OnRestoreState = [this] { ApplyRecalculateRate(); };
    OvcComponentState1.OnSaveState = [this] { ApplyRecalculateRate(); };
}

std::int32_t TFormModel::RecalculateInterval(const std::string& rateText) {
    const std::int64_t minutes = support::IntTextOr(rateText, 30);
    const std::int64_t ms = minutes * 60000;
    // A negative rate turns periodic runs off like 0 does; a rate beyond the
    // longest interval the timer can count (35791 minutes) counts that long.
    if (ms < 0)
        return 0;
    return static_cast<std::int32_t>(
        std::min<std::int64_t>(ms, std::numeric_limits<std::int32_t>::max()));
}

void TFormModel::ApplyRecalculateRate() {
    FCalcTimer.SetInterval(RecalculateInterval(FView.Text(TOption::edRecalculateRate)));
}

std::string TFormModel::Caption() const {
    std::string caption = ApplicationTitle() + " v" + std::to_string(VersionInfo.Major()) + "." +
                          std::to_string(VersionInfo.Minor()) + "." +
                          std::to_string(VersionInfo.Release()) + " - Station Call Sign - " +
                          Calculation.State.OwnCall;
    if (FDebugMode)
        caption += " *DEBUG*";
    return caption;
}

// --- Handlers --------------------------------------------------------------

void TFormModel::FormCreate() {
    FDebugMode = !FServices.Args.empty() && support::UpperAscii(FServices.Args.front()) == "DEBUG";
    FView.SetStatusText(" " + VersionInfo.LegalCopyright());
    FView.ShowFirstPage();
    FCalcTimer.SetInterval(1800000);
    FCalcTimer.SetEnabled(false);
    FShape.reset();
    for (const TOption shape : {TOption::rbDrawCircle, TOption::rbDrawEllispe})
        if (FView.Checked(shape))
            FShape = shape;

    TrayIconData = TNotifyIconData{};
    TrayIconData.cbSize = sizeof(TNotifyIconData);
    TrayIconData.hWnd = FServices.TrayWindow;
    TrayIconData.uID = 1;
    TrayIconData.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    TrayIconData.uCallbackMessage = WM_USER + 100;
    TrayIconData.hIcon = 1; // the program's icon, held by the tray shell
    SetTip(TrayIconData, "right-click for options");
    if (FServices.Tray)
        FServices.Tray->Shell_NotifyIconA(NIM_ADD, TrayIconData);

    // The cache's purges run on the window's message loop; an error from one
    // is shown like any other handler's.
    std::unique_ptr<support::IPurgeTimer> purge =
        FServices.MakePurgeTimer
            ? FServices.MakePurgeTimer([this](const std::string& message) { ShowError(message); })
            : std::make_unique<support::TManualPurgeTimer>();
    FPacketCache = std::make_unique<support::TPacketCache>(std::move(purge));
    FPacketCache->SetExpiryMinutes(45);
}

void TFormModel::FormShow() {
    // A show that comes while a host call waits (the window's events are let
    // in meanwhile, a minimized start's own show among them) is made once the
    // call is over: reading the own station now would call the host again.
    if (FHostWaits > 0) {
        FShowAfterWait = true;
        return;
    }
    if (FDebugMode) {
        Calculation.State.PacketDensity =
            aloha::PacketDensityFromText(FView.Text(TOption::edPacketDensity));
        FView.ShowDebugOptions();
    }
    Calculation.ReadOwnStation();
    if (Channel)
        Channel->SetOwnCall(Calculation.State.OwnCall);
    FView.SetCaption(Caption());
    btnCalculateClick();
}

void TFormModel::FormDestroy() {
    if (FServices.Tray)
        FServices.Tray->Shell_NotifyIconA(NIM_DELETE, TrayIconData);
    // The cache goes even when its log cannot be written.
    const std::unique_ptr<support::TPacketCache> cache = std::move(FPacketCache);
    if (cache)
        cache->WriteLog("packetcache.log");
}

void TFormModel::btnCalculateClick() {
    if (FDestroying)
        return;
    if (FHostWaits > 0) {
        FRunAfterWait = true;
        return;
    }
    if (FShowAfterWait) {
        // The show put off during a host call, with its run.
        FShowAfterWait = false;
        Handle([this] { FormShow(); });
        return;
    }
    if (!Calculation.State.OwnStationKnown) {
        // No run around a position nobody read. The settings restore's run is
        // left to the first show, which reads the own station; any later
        // request reads it first, as the first show does, and a failed read
        // is shown instead of a figure at 0,0.
        if (!FRestoringOptions)
            Handle([this] { FormShow(); });
        return;
    }
    FRedrawErrorShown = false;
    Handle([this] { Calculation.btnCalculateClick(); });
}

void TFormModel::WaitBegins() {
    if (FHostWaits++ == 0)
        FView.SetCalculateEnabled(false);
}

void TFormModel::WaitEnds() {
    if (--FHostWaits > 0)
        return;
    if (!Calculation.RunInProgress())
        FView.SetCalculateEnabled(true);
    if ((FRunAfterWait || FShowAfterWait) && !FDestroying) {
        FRunAfterWait = false;
        FView.PostDeferredRun();
    }
}

void TFormModel::rbDrawClick() {
    btnCalculateClick();
}

namespace {

bool IsShape(TOption control) {
    return control == TOption::rbDrawCircle || control == TOption::rbDrawEllispe;
}

TOption OtherShape(TOption shape) {
    return shape == TOption::rbDrawCircle ? TOption::rbDrawEllispe : TOption::rbDrawCircle;
}

constexpr int kOptionsPage = 4;

} // namespace

void TFormModel::ShapeClicked(TOption button) {
    if (!IsShape(button) || !FView.Checked(button) || FShape == button)
        return;
    FShape = button;
    rbDrawClick();
}

void TFormModel::SetOptionChecked(TOption control, bool checked) {
    const bool was = FView.Checked(control);
    FView.SetChecked(control, checked);
    if (!IsShape(control))
        return;
    if (!checked) {
        if (FShape == control)
            FShape.reset();
        return;
    }
    if (was)
        return;
    FView.SetChecked(OtherShape(control), false);
    FShape = control;
    rbDrawClick();
}

bool TFormModel::PageChanging(int leaving, TPageChange how) {
    if (leaving != kOptionsPage)
        return true;
    try {
        OvcComponentState1.SaveState();
    } catch (const std::exception& error) {
        ShowError(OperatorErrorText(error));
        return how != TPageChange::NextPageKey;
    }
    return true;
}

int TFormModel::NextPage(int current, int count, bool backwards) {
    if (count <= 0)
        return current;
    return ((current + (backwards ? -1 : 1)) % count + count) % count;
}

void TFormModel::btnSaveSettingsClick() {
    Handle([this] { OvcComponentState1.SaveState(); });
}

void TFormModel::miExitClick() {
    if (FServices.Tray)
        FServices.Tray->Shell_NotifyIconA(NIM_DELETE, TrayIconData);
    FView.RequestTermination();
}

void TFormModel::clsUIVUIView32IsClosing() {
    FView.RequestTermination();
}

void TFormModel::CloseRequest() {
    // Both sections with the values of this moment, whatever was saved
    // before; a failure is shown and the close goes on.
    Handle([this] { OvcFormState1.SaveState(); });
    Handle([this] { OvcComponentState1.SaveState(); });
    FView.RequestTermination();
}

TStartShow TFormModel::StartShow(std::int32_t systemShowCmd) const {
    TStartShow show;
    const std::int32_t restored = OvcFormState1.StartShowCmd();
    show.Minimized = restored == kSwShowMinimized || systemShowCmd == kSwShowMinNoActive ||
                     systemShowCmd == kSwShowMinimized || systemShowCmd == kSwMinimize;
    show.Maximized =
        !show.Minimized && (restored == kSwShowMaximized || systemShowCmd == kSwShowMaximized);
    // A window that starts hidden with no icon to bring it back would be lost,
    // at this start and, saved minimized again, at every later one.
    show.Visible = !(show.Minimized && FView.Checked(TOption::cbMinimizeToTray) && FServices.Tray &&
                     FServices.Tray->IconShown());
    return show;
}

bool TFormModel::WindowShown(bool visible, bool minimized) {
    if (visible && !minimized)
        FMinimizeStepDone = false;
    if (FFormShown || !visible || minimized || FDestroying)
        return false;
    FFormShown = true;
    return true;
}

void TFormModel::RestoreFromTray() {
    ++FRestores;
    FMinimizeStepDone = false;
    LeaveTray();
    FView.RestoreWindow();
}

void TFormModel::AppMinimize() {
    // Once a minimize: a view may hear of one minimize twice (the start's own
    // notice and the window system's), and a second step would read the own
    // station, or show its error, again.
    if (FMinimizeStepDone)
        return;
    FMinimizeStepDone = true;
    if (!FView.Checked(TOption::cbMinimizeToTray))
        return;
    if (!Calculation.State.OwnStationKnown) {
        // The run FormShow makes lets the tray's messages in: a restore
        // during it is the operator's last word.
        const unsigned restores = FRestores;
        FormShow();
        if (FRestores != restores)
            return;
    }
    // Without an icon in a notification area (GNOME by default) a hidden
    // window could not be brought back: it stays minimized on the taskbar.
    if (!FServices.Tray || !FServices.Tray->IconShown())
        return;
    FView.SetTaskbarEntryVisible(false);
    FHiddenInTray = true;
}

void TFormModel::LeaveTray() {
    FView.SetTaskbarEntryVisible(true);
    FHiddenInTray = false;
}

void TFormModel::TrayIconMessage(std::uint32_t callbackMessage, std::uint32_t mouseMessage) {
    if (callbackMessage != TrayIconData.uCallbackMessage)
        return;
    if (mouseMessage == WM_LBUTTONDBLCLK)
        RestoreFromTray();
    else if (mouseMessage == WM_RBUTTONDOWN)
        FView.PopupTrayMenu();
}

void TFormModel::SetUnattended(std::function<void(const std::string&)> log) {
    FUnattendedLog = std::move(log);
    OvcIniFileStore1.SetLockWait(kUnattendedLockWait);
}

void TFormModel::ShowError(const std::string& message) {
    if (FRestoringOptions)
        return;
    if (FUnattendedLog) {
        FUnattendedLog(support::WithFullStop(message));
        return;
    }
    if (!FErrorBox.TryOpen())
        return;
    FView.ShowErrorBox(ApplicationTitle(), support::WithFullStop(message));
    FErrorBox.Closed();
}

void TFormModel::Handle(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const std::exception& error) {
        ShowError(OperatorErrorText(error));
    } catch (...) {
        ShowError("Unexpected error");
    }
}

// --- Panes and run window --------------------------------------------------

void TFormModel::LogSummary(const std::string& line) {
    FView.AppendLine(TPane::Summary, line);
    FView.ProcessMessages();
}

void TFormModel::LogPackets(const std::string& line) {
    FView.AppendLine(TPane::Packets, line);
    FView.ProcessMessages();
}

void TFormModel::LogDetail(const std::string& line) {
    FView.AppendLine(TPane::Details, line);
    FView.ProcessMessages();
}

void TFormModel::SetTrayTip(const std::string& tip) {
    SetTip(TrayIconData, tip);
    if (FServices.Tray)
        FServices.Tray->Shell_NotifyIconA(NIM_MODIFY, TrayIconData);
}

void TFormModel::Yield() {
    std::this_thread::yield();
}

} // namespace app
