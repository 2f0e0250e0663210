#include "app/MainForm.h"

#include "app/InformationText.h"
#include "support/QtPurgeTimer.h"
#include "support/TextRules.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSessionManager>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindowStateChangeEvent>

#include <cctype>
#include <cmath>
#include <limits>
#include <thread>

namespace app {

namespace {

/// Designed placement of the window.
constexpr int kDesignLeft = 235, kDesignTop = 174, kDesignWidth = 527, kDesignHeight = 466;
/// "Save" keeps this distance from the Options tab's right and bottom edges.
constexpr int kSaveRightGap = 4, kSaveBottomGap = 5;
constexpr int kStatusBarHeight = 19;

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

QIcon ProgramIcon() {
    // A radius around a station: a ring and a dot.
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(0, 160, 220), 3));
    painter.drawEllipse(QRectF(3, 3, 26, 26));
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(200, 30, 30));
    painter.drawEllipse(QRectF(12, 12, 8, 8));
    painter.end();
    return QIcon(pixmap);
}

/// Stops the Options tab's "Save" at its corner when the tab is resized.
class TCornerAnchor : public QObject {
public:
    TCornerAnchor(QWidget* button, int rightGap, int bottomGap)
        : QObject(button), FButton(button), FRight(rightGap), FBottom(bottomGap) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Resize) {
            const QWidget* tab = static_cast<QWidget*>(watched);
            FButton->move(tab->width() - FRight - FButton->width(),
                          tab->height() - FBottom - FButton->height());
        }
        return false;
    }

private:
    QWidget* FButton;
    int FRight, FBottom;
};

} // namespace

template <class F> void TMainForm::Handle(F&& handler) {
    try {
        handler();
    } catch (const std::exception& error) {
        ShowError(OperatorErrorText(error));
    } catch (...) {
        ShowError("Unexpected error");
    }
}

TMainForm::TMainForm(TMainFormSetup setup)
    : QMainWindow(nullptr), Host(setup.Connector), OvcIniFileStore1(setup.SettingsFile),
      OvcFormState1(OvcIniFileStore1, *this), OvcComponentState1(OvcIniFileStore1),
      Calculation(Host, *this, *this, *this), FSetup(std::move(setup)) {
    FPlatform = FSetup.Platform ? FSetup.Platform : std::make_shared<TPlatform>();
    FTray = FSetup.Tray ? FSetup.Tray : std::make_shared<TQtTrayShell>(ProgramIcon());

    setWindowTitle(QStringLiteral("Velloran"));
    setWindowIcon(ProgramIcon());
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPointSize(8);
    setFont(font);
    move(kDesignLeft, kDesignTop);
    resize(kDesignWidth, kDesignHeight);

    BuildLayout();
    BuildMenus();
    BindSettings();

    tmrCalc.OnTimer = [this] { tmrCalcTimer(); };
    // The redraw repeats every second: a host that fails it (gone, or its map
    // closed) would otherwise stack one modal error box a second. Its error is
    // shown once until the next run, and the timer keeps ticking.
    tmrRedraw.OnTimer = [this] {
        try {
            tmrRedrawTimer();
        } catch (const std::exception& error) {
            if (!FRedrawErrorShown) {
                FRedrawErrorShown = true;
                ShowError(OperatorErrorText(error));
            }
        }
    };
    FTray->OnCallback = [this](std::uint32_t message, std::uint32_t mouse) {
        if (message == TrayIconData.uCallbackMessage)
            Handle([this, mouse] { TrayIconMessage(mouse); });
    };
    if (auto* application = qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        connect(application, &QGuiApplication::commitDataRequest, this,
                [this](QSessionManager& manager) { EndSessionQuery(manager); });

    // The window is built: the host application object connects now.
    Host.clsUIV.OnUIView32IsClosing = [this] { Handle([this] { clsUIVUIView32IsClosing(); }); };
    Host.Loaded();
}

TMainForm::~TMainForm() {
    FDestroying = true;
    tmrCalc.Stop();
    tmrRedraw.Stop();
    // The settings keepers save what was not saved during the run, the
    // Options first; then the window's own destruction step.
    Handle([this] {
        if (!OvcComponentState1.Saved())
            OvcComponentState1.SaveState();
    });
    Handle([this] {
        if (!OvcFormState1.Saved())
            OvcFormState1.SaveState();
    });
    Handle([this] { FormDestroy(); });
    Host.clsUIV.OnUIView32IsClosing = nullptr;
    FTray->OnCallback = nullptr;
}

QString TMainForm::ApplicationTitle() {
    return QCoreApplication::applicationName();
}

void TMainForm::BuildLayout() {
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    PageControl1 = new TPageControl(central);
    PageControl1->OnChanging = [this](QWidget* leaving, bool& allow) {
        PageControl1Changing(leaving, allow);
    };
    PageControl1->OnError = [this](std::exception_ptr error) {
        Handle([&error] { std::rethrow_exception(error); });
    };
    layout->addWidget(PageControl1, 1);

    // "ALOHA Radius": the summary pane above a lowered strip with the count.
    TabSheet1 = new QWidget;
    auto* sheet1 = new QVBoxLayout(TabSheet1);
    sheet1->setContentsMargins(0, 0, 0, 0);
    sheet1->setSpacing(0);
    Memo1 = new TReportPane(TabSheet1);
    sheet1->addWidget(Memo1, 1);
    Panel1 = new QFrame(TabSheet1);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel1->setFixedHeight(25);
    lblPacketCount = new QLabel(QStringLiteral("Pkts: 0"), Panel1);
    lblPacketCount->move(4, 6);
    sheet1->addWidget(Panel1);

    TabSheet2 = new QWidget;
    Memo2 = new TReportPane(TabSheet2);
    Memo2->SetText(InformationText());
    (new QVBoxLayout(TabSheet2))->addWidget(Memo2);
    TabSheet2->layout()->setContentsMargins(0, 0, 0, 0);

    TabSheet4 = new QWidget;
    Memo4 = new TReportPane(TabSheet4);
    (new QVBoxLayout(TabSheet4))->addWidget(Memo4);
    TabSheet4->layout()->setContentsMargins(0, 0, 0, 0);

    TabSheet3 = new QWidget;
    Memo3 = new TReportPane(TabSheet3);
    (new QVBoxLayout(TabSheet3))->addWidget(Memo3);
    TabSheet3->layout()->setContentsMargins(0, 0, 0, 0);

    tsOptions = new QWidget;
    BuildOptionsTab();

    PageControl1->addTab(TabSheet1, QStringLiteral("ALOHA Radius"));
    PageControl1->addTab(TabSheet2, QStringLiteral("Information"));
    PageControl1->addTab(TabSheet4, QStringLiteral("Calculation Details"));
    PageControl1->addTab(TabSheet3, QStringLiteral("Packets Considered"));
    PageControl1->addTab(tsOptions, QStringLiteral("Options"));

    PacketStatus = new QStatusBar(central);
    PacketStatus->setSizeGripEnabled(false);
    PacketStatus->setFixedHeight(kStatusBarHeight);
    layout->addWidget(PacketStatus);
    setCentralWidget(central);

    StatusBar = statusBar();
    StatusBar->setFixedHeight(kStatusBarHeight);
    StatusPanel0 = new QLabel(StatusBar);
    StatusBar->addWidget(StatusPanel0, 1);
    lblHostNote = new QLabel(StatusBar);
    lblHostNote->setVisible(!FSetup.HostNote.empty());
    if (!FSetup.HostNote.empty()) {
        std::string note = FSetup.HostNote;
        note[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(note[0])));
        lblHostNote->setText(Q(note));
    }
    StatusBar->addPermanentWidget(lblHostNote);
}

void TMainForm::BuildOptionsTab() {
    QWidget* tab = tsOptions;
    const auto place = [](QWidget* widget, int left, int top) {
        widget->adjustSize();
        widget->move(left, top);
    };

    cbMinimizeToTray = new QCheckBox(QStringLiteral("Minimize to Tray"), tab);
    cbMinimizeToTray->setChecked(true);
    cbMinimizeToTray->setToolTip(QStringLiteral("Hide and minimize to the system tray area"));
    place(cbMinimizeToTray, 8, 8);

    cbShowALOHARadius = new QCheckBox(QStringLiteral("Show ALOHA Radius on map (text)"), tab);
    cbShowALOHARadius->setChecked(true);
    place(cbShowALOHARadius, 8, 32);

    Label1 = new QLabel(QStringLiteral("Recalculate Rate"), tab);
    place(Label1, 8, 56);
    edRecalculateRate = new QLineEdit(QStringLiteral("30"), tab);
    edRecalculateRate->setToolTip(QStringLiteral("How often to recalculate the ALOHA radius"));
    edRecalculateRate->setGeometry(8, 72, 33, edRecalculateRate->sizeHint().height());
    Label2 = new QLabel(QStringLiteral("Minutes"), tab);
    place(Label2, 46, 76);

    GroupBox1 = new QGroupBox(tab);
    GroupBox1->setGeometry(8, 104, 321, 65);
    rbDrawCircle = new QRadioButton(QStringLiteral("Draw Circle"), GroupBox1);
    rbDrawCircle->setChecked(true);
    place(rbDrawCircle, 8, 16);
    rbDrawEllispe = new QRadioButton(QStringLiteral("Draw Ellispe"), GroupBox1);
    place(rbDrawEllispe, 8, 40);
    Label4 = new QLabel(QStringLiteral("Both are approximations and will each display with some "
                                       "measurement discrepancies on your map."),
                        GroupBox1);
    Label4->setWordWrap(true);
    // Designed 200 x 44; taller where the font needs more lines.
    Label4->setGeometry(113, 13, 200, std::max(44, Label4->heightForWidth(200)));
    // Selecting a shape (by the user or by the settings restore) starts a run;
    // unselecting does nothing.
    for (QRadioButton* button : {rbDrawCircle, rbDrawEllispe})
        connect(button, &QRadioButton::toggled, this, [this](bool checked) {
            if (checked)
                rbDrawClick();
        });

    gbDebug = new QGroupBox(QStringLiteral("Debug"), tab);
    gbDebug->setGeometry(8, 176, 137, 73);
    gbDebug->setVisible(false);
    Label5 = new QLabel(QStringLiteral("Packet Density"), gbDebug);
    place(Label5, 8, 20);
    edPacketDensity = new QLineEdit(QStringLiteral("1800"), gbDebug);
    edPacketDensity->setGeometry(88, 17, 41, edPacketDensity->sizeHint().height());
    cbUseInternet = new QCheckBox(QStringLiteral("Include Internet"), gbDebug);
    place(cbUseInternet, 9, 45);

    PayPalLabel1 = new support::TPayPalLabel(
        QStringLiteral("If you like Velloran consider making a donation"), tab);
    QFont linkFont(QStringLiteral("MS Sans Serif"));
    linkFont.setStyleHint(QFont::SansSerif);
    linkFont.setPixelSize(11);
    linkFont.setUnderline(true);
    PayPalLabel1->setFont(linkFont);
    PayPalLabel1->SetLinkColor(support::kClRed);
    PayPalLabel1->SetCompany(QStringLiteral("The Velloran Authors"));
    PayPalLabel1->SetProduct(QStringLiteral("Velloran"));
    PayPalLabel1->SetEmail(QStringLiteral("donations@example.org"));
    PayPalLabel1->SetUrlOpener([this](const QString& target) { FPlatform->OpenUrl(target); });
    place(PayPalLabel1, 9, 257);

    FitOptionsTab();

    btnSaveSettings = new QPushButton(QStringLiteral("Save"), tab);
    btnSaveSettings->setGeometry(432, 320, 75, 25);
    tab->installEventFilter(new TCornerAnchor(btnSaveSettings, kSaveRightGap, kSaveBottomGap));
    connect(btnSaveSettings, &QPushButton::clicked, this, [this] { btnSaveSettingsClick(); });
}

void TMainForm::FitOptionsTab() {
    // The designed positions hold where the text fits them. A larger font or
    // scale needs more room: a control then moves right of, or below, the one
    // it would cover, and the frames grow around what they hold.
    const auto below = [](const QWidget* above, int gap) {
        return above->geometry().bottom() + 1 + gap;
    };
    const auto right = [](const QWidget* left, int gap) {
        return left->geometry().right() + 1 + gap;
    };

    cbShowALOHARadius->move(8, std::max(32, below(cbMinimizeToTray, 2)));
    Label1->move(8, std::max(56, below(cbShowALOHARadius, 2)));
    edRecalculateRate->move(8, std::max(72, below(Label1, 1)));
    Label2->move(std::max(46, right(edRecalculateRate, 5)), edRecalculateRate->y() + 4);

    const int radioRight = std::max(right(rbDrawCircle, 6), right(rbDrawEllispe, 6));
    rbDrawEllispe->move(8, std::max(40, below(rbDrawCircle, 2)));
    Label4->move(std::max(113, radioRight), 13);
    Label4->resize(200, std::max(44, Label4->heightForWidth(200)));
    GroupBox1->setGeometry(8, std::max(104, below(edRecalculateRate, 8)),
                           std::max(321, right(Label4, 8)),
                           std::max({65, below(Label4, 6), below(rbDrawEllispe, 6)}));

    edPacketDensity->move(std::max(88, right(Label5, 6)), 17);
    cbUseInternet->move(9, std::max(45, below(edPacketDensity, 3)));
    gbDebug->setGeometry(8, std::max(176, below(GroupBox1, 7)),
                         std::max({137, right(edPacketDensity, 8), right(cbUseInternet, 8)}),
                         std::max(73, below(cbUseInternet, 6)));

    PayPalLabel1->move(9, std::max(257, below(gbDebug, 8)));
}

void TMainForm::BuildMenus() {
    File1 = menuBar()->addMenu(QStringLiteral("File"));
    miExit = File1->addAction(QStringLiteral("E&xit"));
    Action1 = menuBar()->addMenu(QStringLiteral("Action"));
    miCalculate = Action1->addAction(QStringLiteral("Calculate"));
    miCalculate->setShortcut(QKeySequence(Qt::Key_F9));

    mnuTrayPopup = new QMenu(this);
    miRestore = mnuTrayPopup->addAction(QStringLiteral("Restore"));
    miCalc = mnuTrayPopup->addAction(QStringLiteral("Calculate"));
    N1 = mnuTrayPopup->addSeparator();
    MenuItem1 = mnuTrayPopup->addAction(QStringLiteral("E&xit"));

    connect(miExit, &QAction::triggered, this, [this] { Handle([this] { miExitClick(); }); });
    connect(MenuItem1, &QAction::triggered, this, [this] { Handle([this] { miExitClick(); }); });
    connect(miCalculate, &QAction::triggered, this, [this] { btnCalculateClick(); });
    connect(miCalc, &QAction::triggered, this, [this] { btnCalculateClick(); });
    connect(miRestore, &QAction::triggered, this, [this] { Handle([this] { miRestoreClick(); }); });

    Help1 = menuBar()->addMenu(QStringLiteral("&Help"));
    miAbout = Help1->addAction(QStringLiteral("&About Velloran"));
    connect(miAbout, &QAction::triggered, this,
            [this] { QMessageBox::about(this, QStringLiteral("About Velloran"), AboutText()); });
    // Ctrl+Q ends the program as Exit does, without changing the File menu.
    actQuitShortcut = new QAction(this);
    actQuitShortcut->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    actQuitShortcut->setShortcutContext(Qt::WindowShortcut);
    addAction(actQuitShortcut);
    connect(actQuitShortcut, &QAction::triggered, this,
            [this] { Handle([this] { miExitClick(); }); });
}

QString TMainForm::AboutText() const {
    const auto& v = VersionInfo.FileVersion();
    const QString version = QStringLiteral("%1.%2.%3.%4").arg(v[0]).arg(v[1]).arg(v[2]).arg(v[3]);
    return QStringLiteral("<p><b>Velloran %1</b><br>The ALOHA radius of your APRS channel.</p>"
                          "<p>%2</p>"
                          "<p>Settings file: %3</p>"
                          "<p>Host: %4</p>")
        .arg(version, Q(VersionInfo.LegalCopyright()).toHtmlEscaped(),
             Q(OvcIniFileStore1.FileName().string()).toHtmlEscaped(),
             Q(FSetup.HostDescription.empty() ? std::string("not described")
                                              : FSetup.HostDescription)
                 .toHtmlEscaped());
}

void TMainForm::SetRadio(QRadioButton* button, bool checked) {
    if (checked == button->isChecked())
        return;
    if (checked) {
        button->setChecked(true);
        return;
    }
    // An exclusive button refuses to be unchecked directly; the stored
    // options may still say that neither shape is selected.
    button->setAutoExclusive(false);
    button->setChecked(false);
    button->setAutoExclusive(true);
}

void TMainForm::BindSettings() {
    const auto yesNo = [](const QAbstractButton* button) {
        return std::string(button->isChecked() ? "True" : "False");
    };
    const auto checkBox = [&](const char* key, QCheckBox* box) {
        return TStoredProperty{key, [=] { return yesNo(box); },
                               [box](bool checked) { box->setChecked(checked); }, nullptr};
    };
    const auto radio = [&](const char* key, QRadioButton* button) {
        return TStoredProperty{key, [=] { return yesNo(button); },
                               [this, button](bool checked) { SetRadio(button, checked); },
                               nullptr};
    };
    const auto edit = [](const char* key, QLineEdit* line) {
        return TStoredProperty{key, [line] { return line->text().toStdString(); }, nullptr,
                               [line](const std::string& text) { line->setText(Q(text)); }};
    };
    OvcComponentState1.StoredProperties = {
        checkBox("cbMinimizeToTray.Checked", cbMinimizeToTray),
        checkBox("cbShowALOHARadius.Checked", cbShowALOHARadius),
        radio("rbDrawCircle.Checked", rbDrawCircle),
        radio("rbDrawEllispe.Checked", rbDrawEllispe),
        edit("edRecalculateRate.Text", edRecalculateRate),
        edit("edPacketDensity.Text", edPacketDensity),
        checkBox("cbUseInternet.Checked", cbUseInternet),
    };
    OvcComponentState1.OnRestoreState = [this] { OvcComponentState1RestoreState(); };
    OvcComponentState1.OnSaveState = [this] { OvcComponentState1SaveState(); };
}

void TMainForm::Create() {
    FormCreate();
    Handle([this] { OvcFormState1.RestoreState(); });
    // A run that the restored shape starts shows no error; the remaining
    // values are applied all the same.
    FDropErrors = true;
    Handle([this] { OvcComponentState1.RestoreState(); });
    FDropErrors = false;
}

void TMainForm::Start() {
    if (windowState() & Qt::WindowMinimized) {
        // Starting minimized: with "Minimize to Tray" the window is not shown
        // at all; otherwise it sits minimized on the taskbar. Either way the
        // minimize step follows at once.
        if (!cbMinimizeToTray->isChecked())
            show();
        QTimer::singleShot(0, this, [this] { Handle([this] { AppMinimize(); }); });
        return;
    }
    show();
}

// --- Handlers --------------------------------------------------------------

void TMainForm::FormCreate() {
    FDebugMode = !FSetup.Args.empty() && support::UpperAscii(FSetup.Args.front()) == "DEBUG";
    StatusPanel0->setText(QStringLiteral(" ") + Q(VersionInfo.LegalCopyright()));
    PageControl1->setCurrentWidget(TabSheet1);
    tmrCalc.SetInterval(1800000);
    tmrCalc.SetEnabled(false);
    // The minimize step (AppMinimize) is hooked in changeEvent.

    TrayIconData = TNotifyIconData{};
    TrayIconData.cbSize = sizeof(TNotifyIconData);
    TrayIconData.hWnd = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(this));
    TrayIconData.uID = 1;
    TrayIconData.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    TrayIconData.uCallbackMessage = WM_USER + 100;
    TrayIconData.hIcon = 1; // the program's icon, held by the tray shell
    SetTip(TrayIconData, "right-click for options");
    FTray->Shell_NotifyIconA(NIM_ADD, TrayIconData);

    // The cache's purges run on this window's event loop; an error from one
    // is shown like any other handler's.
    FPacketCache = std::make_unique<support::TPacketCache>(std::make_unique<support::TQtPurgeTimer>(
        [this](const std::string& message) { ShowError(message); }));
    FPacketCache->SetExpiryMinutes(45);
}

void TMainForm::FormShow() {
    aloha::TRunState& state = Calculation.State;
    if (FDebugMode) {
        state.PacketDensity = support::IntTextOr(edPacketDensity->text().toStdString(), 1800);
        gbDebug->setVisible(true);
    }
    Calculation.ReadOwnStation();
    QString caption = ApplicationTitle() + QStringLiteral(" v") +
                      QString::number(VersionInfo.Major()) + QLatin1Char('.') +
                      QString::number(VersionInfo.Minor()) + QLatin1Char('.') +
                      QString::number(VersionInfo.Release()) +
                      QStringLiteral(" - Station Call Sign - ") + Q(state.OwnCall);
    if (FDebugMode)
        caption += QStringLiteral(" *DEBUG*");
    setWindowTitle(caption);
    btnCalculateClick();
}

void TMainForm::FormDestroy() {
    FTray->Shell_NotifyIconA(NIM_DELETE, TrayIconData);
    // The cache goes even when its log cannot be written.
    const std::unique_ptr<support::TPacketCache> cache = std::move(FPacketCache);
    if (cache)
        cache->WriteLog("packetcache.log");
}

void TMainForm::btnCalculateClick() {
    if (FDestroying)
        return;
    FRedrawErrorShown = false;
    Handle([this] { Calculation.btnCalculateClick(); });
}

void TMainForm::tmrCalcTimer() {
    btnCalculateClick();
}

void TMainForm::rbDrawClick() {
    tmrCalcTimer();
}

void TMainForm::tmrRedrawTimer() {
    Calculation.tmrRedrawTimer();
}

void TMainForm::PageControl1Changing(QWidget* leaving, bool& allowChange) {
    if (leaving == tsOptions)
        OvcComponentState1.SaveState();
    allowChange = true;
}

void TMainForm::btnSaveSettingsClick() {
    Handle([this] { OvcComponentState1.SaveState(); });
}

std::int32_t TMainForm::RecalculateInterval(const QString& rateText) {
    const std::int64_t minutes = support::IntTextOr(rateText.toStdString(), 30);
    const std::int64_t ms = minutes * 60000;
    // A negative rate turns periodic runs off like 0 does; a rate beyond the
    // longest interval the timer can count (35791 minutes) counts that long.
    if (ms < 0)
        return 0;
    return static_cast<std::int32_t>(
        std::min<std::int64_t>(ms, std::numeric_limits<std::int32_t>::max()));
}

void TMainForm::OvcComponentState1RestoreState() {
    tmrCalc.SetInterval(RecalculateInterval(edRecalculateRate->text()));
}

void TMainForm::OvcComponentState1SaveState() {
    tmrCalc.SetInterval(RecalculateInterval(edRecalculateRate->text()));
}

void TMainForm::miExitClick() {
    FTray->Shell_NotifyIconA(NIM_DELETE, TrayIconData);
    FPlatform->RequestTermination();
}

void TMainForm::clsUIVUIView32IsClosing() {
    FPlatform->RequestTermination();
}

void TMainForm::EndSessionQuery(QSessionManager&) {
    // The session may end: the manager is left alone, which answers yes, and
    // no close step runs.
}

void TMainForm::AppMinimize() {
    if (!cbMinimizeToTray->isChecked())
        return;
    if (Calculation.State.OwnCall.empty())
        FormShow();
    // Without an icon in a notification area (GNOME by default) a hidden
    // window could not be brought back: it stays minimized on the taskbar.
    if (!FTray->IconShown())
        return;
    FPlatform->SetTaskbarEntryVisible(this, false);
    FHiddenInTray = true;
}

void TMainForm::miRestoreClick() {
    Restore();
}

void TMainForm::TrayIconMessage(std::uint32_t mouseMessage) {
    if (mouseMessage == WM_LBUTTONDBLCLK)
        Restore();
    else if (mouseMessage == WM_RBUTTONDOWN)
        FPlatform->PopupMenu(mnuTrayPopup, FPlatform->CursorPos());
}

void TMainForm::BringToFront() {
    Restore();
    if (!isVisible())
        show();
    raise();
    activateWindow();
}

void TMainForm::Restore() {
    FPlatform->SetTaskbarEntryVisible(this, true);
    FHiddenInTray = false;
    if (windowState() & Qt::WindowMinimized) {
        setWindowState(windowState() & ~Qt::WindowMinimized);
        activateWindow();
    }
    CheckFirstShow();
}

// --- Window events ---------------------------------------------------------

void TMainForm::CheckFirstShow() {
    // FormShow runs when the window is first shown in its normal or maximized
    // state; minimizing and restoring, or hiding in the tray, do not count.
    if (FFormShown || !isVisible() || (windowState() & Qt::WindowMinimized))
        return;
    FFormShown = true;
    QTimer::singleShot(0, this, [this] {
        if (!FDestroying)
            Handle([this] { FormShow(); });
    });
}

void TMainForm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    CheckFirstShow();
}

void TMainForm::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange)
        return;
    const auto* change = static_cast<QWindowStateChangeEvent*>(event);
    const bool wasMinimized = change->oldState() & Qt::WindowMinimized;
    const bool minimized = windowState() & Qt::WindowMinimized;
    if (minimized && !wasMinimized && isVisible()) {
        // The minimize step comes after the window has been minimized.
        QTimer::singleShot(0, this, [this] {
            if (!FDestroying)
                Handle([this] { AppMinimize(); });
        });
    }
    if (!minimized)
        CheckFirstShow();
}

void TMainForm::closeEvent(QCloseEvent* event) {
    // The close request saves both sections with the values of this moment,
    // whatever was saved before; a failure is shown and the close goes on.
    Handle([this] { OvcFormState1.SaveState(); });
    Handle([this] { OvcComponentState1.SaveState(); });
    event->accept();
    FPlatform->RequestTermination();
}

void TMainForm::ShowError(const std::string& message) {
    if (FDropErrors || !FErrorBox.TryOpen())
        return;
    FPlatform->ShowError(ApplicationTitle(), Q(support::WithFullStop(message)));
    FErrorBox.Closed();
}

// --- Panes and run window --------------------------------------------------

void TMainForm::LogSummary(const std::string& line) {
    Memo1->AppendLine(Q(line));
    ProcessMessages();
}

void TMainForm::LogPackets(const std::string& line) {
    Memo3->AppendLine(Q(line));
    ProcessMessages();
}

void TMainForm::LogDetail(const std::string& line) {
    Memo4->AppendLine(Q(line));
    ProcessMessages();
}

void TMainForm::ClearSummary() {
    Memo1->Clear();
}
void TMainForm::ClearPackets() {
    Memo3->Clear();
}
void TMainForm::ClearDetails() {
    Memo4->Clear();
}

void TMainForm::SetCalculateEnabled(bool enabled) {
    miCalculate->setEnabled(enabled);
    miCalc->setEnabled(enabled);
}

void TMainForm::SetTrayTip(const std::string& tip) {
    SetTip(TrayIconData, tip);
    FTray->Shell_NotifyIconA(NIM_MODIFY, TrayIconData);
}

void TMainForm::ProcessMessages() {
    QCoreApplication::processEvents();
}

void TMainForm::Yield() {
    std::this_thread::yield();
}

void TMainForm::PostDeferredRun() {
    QTimer::singleShot(0, this, [this] { btnCalculateClick(); });
}

bool TMainForm::DrawCircleSelected() const {
    return rbDrawCircle->isChecked();
}
bool TMainForm::DrawEllipseSelected() const {
    return rbDrawEllispe->isChecked();
}
bool TMainForm::ShowRadiusLabel() const {
    return cbShowALOHARadius->isChecked();
}
bool TMainForm::IncludeInternet() const {
    return cbUseInternet->isChecked();
}

// --- Placement -------------------------------------------------------------

namespace {

QPoint WorkAreaOrigin(const QWidget* window) {
    const QScreen* screen = window->screen();
    return screen ? screen->availableGeometry().topLeft() : QPoint(0, 0);
}

} // namespace

TWindowPlacement TMainForm::GetPlacement() const {
    // The rectangle is the window's frame position with the window's own size
    // (the window manager's frame is not counted: it is not known before the
    // window is shown, and counting it would grow the window at every start).
    // It is relative to the work area, as the file keeps it.
    TWindowPlacement placement;
    const Qt::WindowStates state = windowState();
    placement.ShowCmd = (state & Qt::WindowMinimized)   ? SW_SHOWMINIMIZED
                        : (state & Qt::WindowMaximized) ? SW_SHOWMAXIMIZED
                                                        : SW_SHOWNORMAL;
    placement.Flags =
        ((state & Qt::WindowMinimized) && ((state & Qt::WindowMaximized) || FRestoreToMaximized))
            ? WPF_RESTORETOMAXIMIZED
            : 0;
    const QRect normal = normalGeometry().isValid() ? normalGeometry() : geometry();
    const QPoint frameOffset =
        isVisible() ? geometry().topLeft() - frameGeometry().topLeft() : QPoint();
    const QPoint origin = WorkAreaOrigin(this);
    const int left = normal.x() - frameOffset.x() - origin.x();
    const int top = normal.y() - frameOffset.y() - origin.y();
    placement.NormalPosition = {left, top, left + normal.width(), top + normal.height()};
    return placement;
}

void TMainForm::SetPlacement(const TWindowPlacement& placement) {
    FRestoreToMaximized = (placement.Flags & WPF_RESTORETOMAXIMIZED) != 0;
    // A saved rectangle may be corrupt or come from a larger screen: keep the
    // window on the desktop that is there now.
    const QPoint origin = WorkAreaOrigin(this);
    TRect area{0, 0, 32767, 32767};
    if (const QScreen* screen = this->screen()) {
        const QRect desktop = screen->availableVirtualGeometry().translated(-origin);
        area = {desktop.left(), desktop.top(), desktop.left() + desktop.width(),
                desktop.top() + desktop.height()};
    }
    const TRect r = FitToWorkArea(placement.NormalPosition, area);
    move(origin.x() + r.Left, origin.y() + r.Top);
    resize(r.Right - r.Left, r.Bottom - r.Top);
}

void TMainForm::SetStartState(std::int32_t showCmd) {
    if (showCmd == SW_SHOWMINIMIZED)
        setWindowState(FRestoreToMaximized ? (Qt::WindowMinimized | Qt::WindowMaximized)
                                           : Qt::WindowMinimized);
    else if (showCmd == SW_SHOWMAXIMIZED)
        setWindowState(Qt::WindowMaximized);
    else
        setWindowState(Qt::WindowNoState);
}

bool TMainForm::ApplicationMinimized() const {
    return FHiddenInTray || (windowState() & Qt::WindowMinimized);
}

std::int32_t TMainForm::PixelsPerInch() const {
    const QScreen* screen = this->screen();
    return screen ? static_cast<std::int32_t>(std::lround(screen->logicalDotsPerInch())) : 96;
}

} // namespace app
