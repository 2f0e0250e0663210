#include "app/qt/MainForm.h"

#include "app/model/AboutInfo.h"
#include "app/model/DonationLabel.h"
#include "app/model/InformationText.h"
#include "app/model/OptionHints.h"
#include "app/qt/ChannelWindow.h"
#include "support/TextRules.h"
#include "support/qt/QtPurgeTimer.h"

#include <iostream>

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
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindowStateChangeEvent>

#include <algorithm>
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

QString Q(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
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

TFormServices TMainForm::Services(const TMainFormSetup& setup) const {
    TFormServices services;
    services.Connector = setup.Connector;
    services.Args = setup.Args;
    services.SettingsFile = setup.SettingsFile;
    services.Tray = setup.Tray ? setup.Tray : std::make_shared<TQtTrayShell>(ProgramIcon());
    services.TrayWindow = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(this));
    services.MakePurgeTimer = [](std::function<void(const std::string&)> onError) {
        return std::make_unique<support::TQtPurgeTimer>(std::move(onError));
    };
    services.ApplicationTitle = ApplicationTitle().toStdString();
    return services;
}

TMainForm::TMainForm(TMainFormSetup setup)
    : QMainWindow(nullptr), Model(*this, tmrCalc, tmrRedraw, Services(setup)), Host(Model.Host),
      VersionInfo(Model.VersionInfo), OvcIniFileStore1(Model.OvcIniFileStore1),
      OvcFormState1(Model.OvcFormState1), OvcComponentState1(Model.OvcComponentState1),
      TrayIconData(Model.TrayIconData), Calculation(Model.Calculation), FSetup(std::move(setup)) {
    FPlatform = FSetup.Platform ? FSetup.Platform : std::make_shared<TPlatform>();

    setWindowTitle(QStringLiteral("Velloran"));
    setWindowIcon(ProgramIcon());
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPointSize(8);
    setFont(font);
    move(kDesignLeft, kDesignTop);
    resize(kDesignWidth, kDesignHeight);

    BuildLayout();
    BuildMenus();

    if (auto* application = qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        connect(application, &QGuiApplication::commitDataRequest, this,
                [this](QSessionManager& manager) { EndSessionQuery(manager); });

    // The window is built: the host application object connects now.
    Model.Loaded();
}

TMainForm::~TMainForm() {
    Model.Destroy();
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
    PageControl1->OnChanging = [this](int leaving, TPageChange how) {
        return Model.PageChanging(leaving, how);
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
    Memo2->SetText(Q(InformationText()));
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
    cbMinimizeToTray->setToolTip(Q(kMinimizeToTrayHint));
    place(cbMinimizeToTray, 8, 8);

    cbShowALOHARadius = new QCheckBox(QStringLiteral("Show ALOHA Radius on map (text)"), tab);
    cbShowALOHARadius->setChecked(true);
    place(cbShowALOHARadius, 8, 32);

    Label1 = new QLabel(QStringLiteral("Recalculate Rate"), tab);
    place(Label1, 8, 56);
    edRecalculateRate = new QLineEdit(QStringLiteral("30"), tab);
    edRecalculateRate->setToolTip(Q(kRecalculateRateHint));
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
    // The model decides which clicks start a run (the settings restore
    // selects a shape through the model itself).
    connect(rbDrawCircle, &QRadioButton::clicked, this,
            [this] { Model.ShapeClicked(TOption::rbDrawCircle); });
    connect(rbDrawEllispe, &QRadioButton::clicked, this,
            [this] { Model.ShapeClicked(TOption::rbDrawEllispe); });

    gbDebug = new QGroupBox(QStringLiteral("Debug"), tab);
    gbDebug->setGeometry(8, 176, 137, 73);
    gbDebug->setVisible(false);
    Label5 = new QLabel(QStringLiteral("Packet Density"), gbDebug);
    place(Label5, 8, 20);
    edPacketDensity = new QLineEdit(QStringLiteral("1800"), gbDebug);
    edPacketDensity->setGeometry(88, 17, 41, edPacketDensity->sizeHint().height());
    cbUseInternet = new QCheckBox(QStringLiteral("Include Internet"), gbDebug);
    place(cbUseInternet, 9, 45);

    const auto fromView = [](std::string_view text) {
        return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    };
    PayPalLabel1 = new support::TPayPalLabel(fromView(kDonationLabel.Caption), tab);
    QFont linkFont(QStringLiteral("MS Sans Serif"));
    linkFont.setStyleHint(QFont::SansSerif);
    linkFont.setPixelSize(11);
    linkFont.setUnderline(true);
    PayPalLabel1->setFont(linkFont);
    PayPalLabel1->SetLinkColor(support::kClRed);
    PayPalLabel1->SetCompany(fromView(kDonationLabel.Company));
    PayPalLabel1->SetProduct(fromView(kDonationLabel.Product));
    PayPalLabel1->SetEmail(fromView(kDonationLabel.Email));
    PayPalLabel1->SetUrlOpener([this](const QString& target) { FPlatform->OpenUrl(target); });
    place(PayPalLabel1, 9, 257);

    FitOptionsTab();

    btnSaveSettings = new QPushButton(QStringLiteral("Save"), tab);
    btnSaveSettings->setGeometry(432, 320, 75, 25);
    tab->installEventFilter(new TCornerAnchor(btnSaveSettings, kSaveRightGap, kSaveBottomGap));
    connect(btnSaveSettings, &QPushButton::clicked, this, [this] { Model.btnSaveSettingsClick(); });
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
    miChannel = Action1->addAction(QStringLiteral("Channel..."));
    connect(miChannel, &QAction::triggered, this, [this] {
        Handle([this] {
            if (!Model.Channel)
                return;
            auto* window = new TChannelWindow(
                [this] {
                    return Model.Channel->Picture(Model.Calculation.LastStations(),
                                                  Model.Calculation.State);
                },
                this);
            window->setAttribute(Qt::WA_DeleteOnClose);
            window->show();
        });
    });

    mnuTrayPopup = new QMenu(this);
    miRestore = mnuTrayPopup->addAction(QStringLiteral("Restore"));
    miCalc = mnuTrayPopup->addAction(QStringLiteral("Calculate"));
    N1 = mnuTrayPopup->addSeparator();
    MenuItem1 = mnuTrayPopup->addAction(QStringLiteral("E&xit"));

    connect(miExit, &QAction::triggered, this, [this] { Handle([this] { miExitClick(); }); });
    connect(MenuItem1, &QAction::triggered, this, [this] { Handle([this] { miExitClick(); }); });
    connect(miCalculate, &QAction::triggered, this, [this] { Model.btnCalculateClick(); });
    connect(miCalc, &QAction::triggered, this, [this] { Model.btnCalculateClick(); });
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
    const TAboutInfo about =
        MakeAboutInfo(VersionInfo, OvcIniFileStore1.FileName(), FSetup.HostDescription);
    return QStringLiteral("<p><b>Velloran %1</b><br>The ALOHA radius of your APRS channel.</p>"
                          "<p>%2</p>"
                          "<p>Settings file: %3</p>"
                          "<p>Host: %4</p>")
        .arg(Q(about.Version), Q(about.Notice).toHtmlEscaped(),
             Q(about.SettingsFile).toHtmlEscaped(), Q(about.Host).toHtmlEscaped());
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

QAbstractButton* TMainForm::Button(TOption control) const {
    switch (control) {
    case TOption::cbMinimizeToTray:
        return cbMinimizeToTray;
    case TOption::cbShowALOHARadius:
        return cbShowALOHARadius;
    case TOption::rbDrawCircle:
        return rbDrawCircle;
    case TOption::rbDrawEllispe:
        return rbDrawEllispe;
    case TOption::cbUseInternet:
        return cbUseInternet;
    default:
        return nullptr;
    }
}

QLineEdit* TMainForm::Edit(TOption control) const {
    return control == TOption::edRecalculateRate ? edRecalculateRate
           : control == TOption::edPacketDensity ? edPacketDensity
                                                 : nullptr;
}

TReportPane* TMainForm::Pane(TPane pane) const {
    return pane == TPane::Summary ? Memo1 : pane == TPane::Packets ? Memo3 : Memo4;
}

bool TMainForm::Checked(TOption control) const {
    const QAbstractButton* button = Button(control);
    return button && button->isChecked();
}

void TMainForm::SetChecked(TOption control, bool checked) {
    if (auto* radio = qobject_cast<QRadioButton*>(Button(control)))
        SetRadio(radio, checked);
    else if (QAbstractButton* button = Button(control))
        button->setChecked(checked);
}

std::string TMainForm::Text(TOption control) const {
    const QLineEdit* line = Edit(control);
    return line ? line->text().toStdString() : std::string();
}

void TMainForm::SetText(TOption control, const std::string& text) {
    if (QLineEdit* line = Edit(control))
        line->setText(Q(text));
}

void TMainForm::Start() {
    FitIntoScreen();
    const TStartShow start = Model.StartShow();
    if (start.Minimized && !(windowState() & Qt::WindowMinimized))
        setWindowState(windowState() | Qt::WindowMinimized);
    if (start.Visible)
        show();
    if (start.Minimized)
        QTimer::singleShot(0, this, [this] { Handle([this] { Model.AppMinimize(); }); });
}

void TMainForm::SetStatusText(const std::string& text) {
    StatusPanel0->setText(Q(text));
}

void TMainForm::ShowFirstPage() {
    PageControl1->setCurrentWidget(TabSheet1);
}

void TMainForm::ShowDebugOptions() {
    gbDebug->setVisible(true);
}

void TMainForm::SetCaption(const std::string& caption) {
    setWindowTitle(Q(caption));
}

void TMainForm::EndSessionQuery(QSessionManager&) {
    // The session may end: the manager is left alone, which answers yes, and
    // no close step runs.
}

void TMainForm::SetTaskbarEntryVisible(bool visible) {
    FPlatform->SetTaskbarEntryVisible(this, visible);
}

void TMainForm::PopupTrayMenu() {
    FPlatform->PopupMenu(mnuTrayPopup, FPlatform->CursorPos());
}

void TMainForm::RequestTermination() {
    FPlatform->RequestTermination();
}

void TMainForm::ShowErrorBox(const std::string& caption, const std::string& message) {
    FPlatform->ShowError(Q(caption), Q(message));
}

void TMainForm::BringToFront() {
    Model.RestoreFromTray();
    raise();
    activateWindow();
}

void TMainForm::RestoreWindow() {
    if (windowState() & Qt::WindowMinimized)
        setWindowState(windowState() & ~Qt::WindowMinimized);
    if (!isVisible())
        show();
    activateWindow();
    CheckFirstShow();
}

// --- Window events ---------------------------------------------------------

void TMainForm::CheckFirstShow() {
    if (!Model.WindowShown(isVisible(), windowState() & Qt::WindowMinimized))
        return;
    QTimer::singleShot(0, this, [this] {
        if (!Model.Destroying())
            Handle([this] { Model.FormShow(); });
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
            if (!Model.Destroying())
                Handle([this] { Model.AppMinimize(); });
        });
    }
    if (!minimized)
        CheckFirstShow();
}

void TMainForm::EndUnattended() {
    Model.SetUnattended(
        [](const std::string& message) { std::cerr << "velloran: " << message << std::endl; });
    Model.SessionEnds();
}

void TMainForm::closeEvent(QCloseEvent* event) {
    event->accept();
    Model.CloseRequest();
}

// --- Panes and run window --------------------------------------------------

void TMainForm::AppendLine(TPane pane, const std::string& line) {
    Pane(pane)->AppendLine(Q(line));
}

void TMainForm::ClearPane(TPane pane) {
    Pane(pane)->Clear();
}

void TMainForm::SetCalculateEnabled(bool enabled) {
    miCalculate->setEnabled(enabled);
    miCalc->setEnabled(enabled);
}

void TMainForm::ProcessMessages() {
    QCoreApplication::processEvents();
}

void TMainForm::PostDeferredRun() {
    QTimer::singleShot(0, this, [this] { Model.btnCalculateClick(); });
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
    placement.ShowCmd = (state & Qt::WindowMinimized)   ? kSwShowMinimized
                        : (state & Qt::WindowMaximized) ? kSwShowMaximized
                                                        : kSwShowNormal;
    placement.Flags =
        ((state & Qt::WindowMinimized) && ((state & Qt::WindowMaximized) || FRestoreToMaximized))
            ? kWpfRestoreToMaximized
            : 0;
    QRect normal = normalGeometry().isValid() ? normalGeometry() : geometry();
    if (FChosenSize.isValid() && normal.size() == FForcedSize)
        normal.setSize(FChosenSize);
    const QPoint frameOffset =
        isVisible() ? geometry().topLeft() - frameGeometry().topLeft() : QPoint();
    const QPoint origin = WorkAreaOrigin(this);
    const int left = normal.x() - frameOffset.x() - origin.x();
    const int top = normal.y() - frameOffset.y() - origin.y();
    placement.NormalPosition = {left, top, left + normal.width(), top + normal.height()};
    return placement;
}

void TMainForm::SetPlacement(const TWindowPlacement& placement) {
    FRestoreToMaximized = (placement.Flags & kWpfRestoreToMaximized) != 0;
    // A saved rectangle may be corrupt or come from a larger screen: keep the
    // window on the screen nearest to it, in the part windows may use.
    const QPoint origin = WorkAreaOrigin(this);
    const auto rect = [&origin](QRect r) {
        r.translate(-origin);
        return TRect{r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
    };
    std::vector<TScreenArea> screens;
    for (const QScreen* screen : QGuiApplication::screens())
        screens.push_back({rect(screen->geometry()), rect(screen->availableGeometry())});
    const TRect r = FitToWorkArea(
        placement.NormalPosition,
        NearestAvailableArea(placement.NormalPosition, screens, {0, 0, 32767, 32767}));
    move(origin.x() + r.Left, origin.y() + r.Top);
    resize(r.Right - r.Left, r.Bottom - r.Top);
    const TRect& saved = placement.NormalPosition;
    const std::int64_t savedWidth = std::int64_t{saved.Right} - saved.Left;
    const std::int64_t savedHeight = std::int64_t{saved.Bottom} - saved.Top;
    if (savedWidth > 0 && savedHeight > 0 && savedWidth <= QWIDGETSIZE_MAX &&
        savedHeight <= QWIDGETSIZE_MAX) {
        FChosenSize = QSize(static_cast<int>(savedWidth), static_cast<int>(savedHeight));
        FForcedSize = size();
    }
}

void TMainForm::FitIntoScreen() {
    const QScreen* screen = this->screen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    // The window manager's frame is not known before the first show: room
    // for a title bar and borders as the style draws them.
    const int border = style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
    const QSize frame(2 * border, style()->pixelMetric(QStyle::PM_TitleBarHeight) + 2 * border);
    const QSize room = (area.size() - frame).expandedTo(minimumSize());
    if (width() > room.width() || height() > room.height()) {
        if (!FChosenSize.isValid() || size() != FForcedSize)
            FChosenSize = size();
        resize(size().boundedTo(room));
        FForcedSize = size();
    }
    // The designed position may lie beyond a small screen's edge too.
    const QSize outer = size() + frame;
    const int maxLeft = std::max(area.left(), area.left() + area.width() - outer.width());
    const int maxTop = std::max(area.top(), area.top() + area.height() - outer.height());
    move(std::clamp(x(), area.left(), maxLeft), std::clamp(y(), area.top(), maxTop));
}

void TMainForm::SetStartState(std::int32_t showCmd) {
    if (showCmd == kSwShowMinimized)
        setWindowState(FRestoreToMaximized ? (Qt::WindowMinimized | Qt::WindowMaximized)
                                           : Qt::WindowMinimized);
    else if (showCmd == kSwShowMaximized)
        setWindowState(Qt::WindowMaximized);
    else
        setWindowState(Qt::WindowNoState);
}

bool TMainForm::ApplicationMinimized() const {
    return windowState() & Qt::WindowMinimized;
}

std::int32_t TMainForm::PixelsPerInch() const {
    const QScreen* screen = this->screen();
    return screen ? static_cast<std::int32_t>(std::lround(screen->logicalDotsPerInch())) : 96;
}

} // namespace app
