// The main window on the embedded stand-in host: start-up, runs, settings,
// tray and the ways to end.
#include "app/qt/MainForm.h"
#include "app/qt/VelloranMain.h"
#include "standin/model/Scenario.h"
#include "standin/model/StandinHost.h"
#include "tests/common/Files.h"
#include "tests/common/MobilesScenario.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

using namespace app;

namespace {

class TTestPlatform : public TPlatform {
public:
    QStringList Errors;
    int Terminations = 0;
    int Popups = 0;
    QPoint PopupAt;
    std::function<void()> OnTerminate;
    std::function<void()> WhileErrorShown; // runs while the modal box would be open

    void ShowError(const QString& caption, const QString& message) override {
        Errors << caption + ": " + message;
        if (WhileErrorShown)
            WhileErrorShown();
    }
    void RequestTermination() override {
        ++Terminations;
        if (OnTerminate)
            OnTerminate();
    }
    void PopupMenu(QMenu*, const QPoint& at) override {
        ++Popups;
        PopupAt = at;
    }
    QPoint CursorPos() const override { return {11, 22}; }
};

class TFakeTray : public TTrayShell {
public:
    std::vector<std::pair<std::uint32_t, std::string>> Calls;
    bool Shown = true; // false: a desktop without a notification area
    bool IconShown() const override { return Shown; }
    bool Shell_NotifyIconA(std::uint32_t message, const TNotifyIconData& data) override {
        Calls.emplace_back(message, data.szTip);
        return true;
    }
};

std::string Scenario(int mobiles, const std::string& ownCall = "n1abc",
                     const std::string& fail = "") {
    return MobilesScenario(mobiles, ownCall, fail);
}
/// A main window with its test doubles and settings file in a temporary
/// directory.
struct TRig {
    explicit TRig(const std::string& scenario = Scenario(130), std::vector<std::string> args = {},
                  std::filesystem::path settings = {}) {
        Platform = std::make_shared<TTestPlatform>();
        Tray = std::make_shared<TFakeTray>();
        Host = std::make_shared<standin::TStandinHost>(standin::ParseScenario(scenario, "test"));
        TMainFormSetup setup;
        setup.Connector = std::make_shared<standin::TEmbeddedConnector>(Host);
        setup.Args = std::move(args);
        setup.SettingsFile = settings.empty() ? Ini() : settings;
        setup.Platform = Platform;
        setup.Tray = Tray;
        setup.HostDescription = "embedded test host";
        Form = std::make_unique<TMainForm>(std::move(setup));
    }

    std::filesystem::path Ini() const { return Dir.filePath("velloran.INI").toStdString(); }
    void WriteIni(const std::string& content) { std::ofstream(Ini(), std::ios::binary) << content; }
    /// "[MainForm]" lines that the window accepts as its own screen's.
    std::string PpiLine() const {
        return "PixelsPerInch=" + std::to_string(Form->PixelsPerInch()) + "\r\n";
    }
    /// Runs that reached the map: each clears it once.
    int Runs() const {
        int runs = 0;
        for (const standin::TMapCall& call : Host->MapCalls())
            runs += call.kind == standin::TMapCall::Kind::RefreshMap;
        return runs;
    }
    bool PaneHas(const TReportPane* pane, const QString& text) const {
        for (int i = 0; i < pane->LineCount(); ++i)
            if (pane->Line(i).contains(text))
                return true;
        return false;
    }
    void StartAndWaitForFirstRun() {
        Form->Create();
        Form->Start();
        QTRY_COMPARE(Runs(), 1);
    }

    QTemporaryDir Dir;
    std::shared_ptr<TTestPlatform> Platform;
    std::shared_ptr<TFakeTray> Tray;
    std::shared_ptr<standin::TStandinHost> Host;
    std::unique_ptr<TMainForm> Form;
};

/// Counts the events of one type that reach the watched object.
class TEventCounter : public QObject {
public:
    TEventCounter(QEvent::Type type, int& count) : FType(type), FCount(count) {}

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == FType)
            ++FCount;
        return false;
    }

private:
    QEvent::Type FType;
    int& FCount;
};

void ClickTab(TMainForm& form, int index) {
    QTabBar* bar = form.PageControl1->tabBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(index).center());
}

} // namespace

class TestMainForm : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QCoreApplication::setApplicationName("Velloran"); }

    void layoutAndDesignValues() {
        TRig rig;
        TMainForm& f = *rig.Form;
        QCOMPARE(f.pos(), QPoint(235, 174));
        QCOMPARE(f.size(), QSize(527, 466));
        QStringList tabs;
        for (int i = 0; i < f.PageControl1->count(); ++i)
            tabs << f.PageControl1->tabText(i);
        QCOMPARE(tabs, QStringList({"ALOHA Radius", "Information", "Calculation Details",
                                    "Packets Considered", "Options"}));
        QCOMPARE(f.PageControl1->widget(4), f.tsOptions);
        QVERIFY(f.cbMinimizeToTray->isChecked() && f.cbShowALOHARadius->isChecked());
        QVERIFY(f.rbDrawCircle->isChecked() && !f.rbDrawEllispe->isChecked());
        QCOMPARE(f.edRecalculateRate->text(), QString("30"));
        QCOMPARE(f.edPacketDensity->text(), QString("1800"));
        QVERIFY(!f.cbUseInternet->isChecked());
        QVERIFY(f.gbDebug->isHidden());
        QCOMPARE(f.cbMinimizeToTray->toolTip(),
                 QString("Hide and minimize to the system tray area"));
        QCOMPARE(f.edRecalculateRate->toolTip(),
                 QString("How often to recalculate the ALOHA radius"));
        QCOMPARE(f.lblPacketCount->text(), QString("Pkts: 0"));
        QCOMPARE(f.miCalculate->shortcut(), QKeySequence(Qt::Key_F9));
        QCOMPARE(f.MenuItem1->text(), QString("E&xit"));
        QVERIFY(f.N1->isSeparator());
        QCOMPARE(f.Memo2->Line(0), QString("Some Usage Comments"));
        QCOMPARE(f.Memo2->Line(1), QString(19, '='));
        QVERIFY(f.Memo2->Text().contains("2. Run UI-View32 for at least 30 minutes prior."));
        QCOMPARE(f.Memo1->font().pixelSize(), 12);
        // Fixed pitch as the eye sees it: every character as wide as the next.
        // (Some monospace fonts, Noto Sans Mono among them, do not set the flag.)
        const QFontMetrics metrics(f.Memo1->font());
        for (const QChar c : QString("W.0m "))
            QCOMPARE(metrics.horizontalAdvance(c), metrics.horizontalAdvance(QChar('i')));

        f.Create();
        QVERIFY(f.StatusPanel0->text().startsWith(" Copyright"));
        QCOMPARE(f.tmrCalc.Interval(), 1800000);
        QVERIFY(!f.tmrCalc.Enabled());
        QVERIFY(!std::filesystem::exists(rig.Ini())); // nothing written until a save
        QCOMPARE(rig.Tray->Calls.at(0).first, NIM_ADD);
        QCOMPARE(rig.Tray->Calls.at(0).second, std::string("right-click for options"));

        // "Save" stays in the Options tab's bottom-right corner.
        f.show();
        f.PageControl1->setCurrentWidget(f.tsOptions);
        f.resize(800, 600);
        QTRY_COMPARE(f.btnSaveSettings->geometry().bottomRight() + QPoint(1, 1),
                     QPoint(f.tsOptions->width() - 4, f.tsOptions->height() - 5));
        QTRY_COMPARE(rig.Runs(), 1);
    }

    void debugModeAndCaption_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("debug");
        QTest::newRow("none") << QStringList() << false;
        QTest::newRow("DEBUG") << QStringList{"DEBUG"} << true;
        QTest::newRow("mixed case") << QStringList{"dEbUg", "more"} << true;
        QTest::newRow("second only") << QStringList{"x", "DEBUG"} << false;
        QTest::newRow("longer word") << QStringList{"DEBUGGING"} << false;
    }

    void debugModeAndCaption() {
        QFETCH(QStringList, args);
        QFETCH(bool, debug);
        std::vector<std::string> list;
        for (const QString& arg : args)
            list.push_back(arg.toStdString());
        TRig rig(Scenario(130), list);
        rig.StartAndWaitForFirstRun();
        QCOMPARE(rig.Form->DebugMode(), debug);
        QCOMPARE(!rig.Form->gbDebug->isHidden(), debug);
        QCOMPARE(rig.Form->windowTitle(), QString("Velloran v1.5.0 - Station Call Sign - N1ABC") +
                                              (debug ? " *DEBUG*" : ""));
        QVERIFY(rig.Platform->Errors.isEmpty());
    }

    void packetDensityTextInDebugMode_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("density");
        QTest::newRow("hex") << "$100" << 256;
        QTest::newRow("not a number") << "abc" << 1800;
        QTest::newRow("decimal") << "900" << 900;
    }

    void packetDensityTextInDebugMode() {
        QFETCH(QString, text);
        QFETCH(int, density);
        TRig rig(Scenario(130), {"debug"});
        rig.WriteIni("[Settings]\r\nedPacketDensity.Text=" + text.toStdString() + "\r\n");
        rig.StartAndWaitForFirstRun();
        QCOMPARE(rig.Form->Calculation.State.PacketDensity, density);
    }

    void rateTextSavedTrimmedAndReadBack() {
        QTemporaryDir dir;
        const std::filesystem::path ini = dir.filePath("v.INI").toStdString();
        {
            TRig rig(Scenario(130), {}, ini);
            rig.StartAndWaitForFirstRun();
            rig.Form->edRecalculateRate->setText(" 45 ");
            rig.Form->btnSaveSettings->click();
            QCOMPARE(rig.Form->edRecalculateRate->text(), QString(" 45 "));
            QCOMPARE(rig.Form->tmrCalc.Interval(), 1800000); // the live text is not a number
            QVERIFY(testcommon::ReadWholeFile(ini).find("edRecalculateRate.Text=45\r\n") !=
                    std::string::npos);
        }
        TRig again(Scenario(130), {}, ini);
        again.Form->Create();
        QCOMPARE(again.Form->edRecalculateRate->text(), QString("45"));
        QCOMPARE(again.Form->tmrCalc.Interval(), 2700000);
    }

    void saveWithDesignValuesWritesSevenLines() {
        TRig rig;
        rig.StartAndWaitForFirstRun();
        rig.Form->btnSaveSettings->click();
        QCOMPARE(testcommon::ReadWholeFile(rig.Ini()),
                 std::string("[Settings]\r\ncbMinimizeToTray.Checked=True\r\n"
                             "cbShowALOHARadius.Checked=True\r\nrbDrawCircle.Checked=True\r\n"
                             "rbDrawEllispe.Checked=False\r\nedRecalculateRate.Text=30\r\n"
                             "edPacketDensity.Text=1800\r\ncbUseInternet.Checked=False\r\n"));
        QVERIFY(rig.Form->OvcComponentState1.Saved());
    }

    void optionsSavedOnlyWhenLeavingOptionsTab() {
        TRig rig;
        rig.StartAndWaitForFirstRun();
        ClickTab(*rig.Form, 1);
        ClickTab(*rig.Form, 2);
        QCOMPARE(rig.Form->PageControl1->currentIndex(), 2);
        QVERIFY(!std::filesystem::exists(rig.Ini()));
        ClickTab(*rig.Form, 4);
        QVERIFY(!std::filesystem::exists(rig.Ini()));
        ClickTab(*rig.Form, 0);
        QCOMPARE(rig.Form->PageControl1->currentIndex(), 0);
        QVERIFY(testcommon::ReadWholeFile(rig.Ini()).find("[Settings]") != std::string::npos);
    }

    void unwritableSettingsFile() {
        QTemporaryDir dir;
        // A directory that is a file cannot hold the settings file, whoever
        // runs the test.
        std::ofstream(dir.filePath("blocker").toStdString()) << "x";
        const std::filesystem::path ini = dir.filePath("blocker/velloran.INI").toStdString();
        const QString message =
            "Velloran: Unable to write to " + QString::fromStdString(ini.string()) + ".";
        TRig rig(Scenario(130), {}, ini);
        rig.StartAndWaitForFirstRun();
        TMainForm& f = *rig.Form;
        f.edRecalculateRate->setText("5");

        f.btnSaveSettings->click();
        QCOMPARE(rig.Platform->Errors, QStringList{message});
        QCOMPARE(f.tmrCalc.Interval(), 1800000); // no save event
        QVERIFY(!f.OvcComponentState1.Saved());

        // Ctrl+Tab leaves the Options page in front; a click moves on.
        f.PageControl1->setCurrentWidget(f.tsOptions);
        QTest::keyClick(f.PageControl1, Qt::Key_Tab, Qt::ControlModifier);
        QCOMPARE(rig.Platform->Errors.size(), 2);
        QCOMPARE(f.PageControl1->currentWidget(), f.tsOptions);
        ClickTab(f, 1);
        QCOMPARE(rig.Platform->Errors.size(), 3);
        QCOMPARE(f.PageControl1->currentIndex(), 1);

        // Ending with Exit: the destruction saves try and report both sections.
        f.miExit->trigger();
        rig.Form.reset();
        QCOMPARE(rig.Platform->Errors.size(), 5);
        QCOMPARE(rig.Platform->Errors.last(), message);
    }

    void helpMenuAboutAndCtrlQ() {
        TRig rig;
        rig.StartAndWaitForFirstRun();
        TMainForm& f = *rig.Form;
        QStringList menus;
        for (QAction* action : f.menuBar()->actions())
            menus << action->text();
        QCOMPARE(menus, QStringList({"File", "Action", "&Help"}));
        QCOMPARE(f.File1->actions().size(), 1); // File keeps Exit alone
        QVERIFY(f.miExit->shortcut().isEmpty());

        const QString about = f.AboutText();
        QVERIFY2(about.contains("Velloran 1.5.0.1"), qPrintable(about));
        QVERIFY(about.contains("Free software"));
        QVERIFY(about.contains(QString::fromStdString(rig.Ini().string()).toHtmlEscaped()));
        QVERIFY(about.contains("embedded test host"));

        QCOMPARE(rig.Platform->Terminations, 0);
        QTest::keyClick(&f, Qt::Key_Q, Qt::ControlModifier);
        QCOMPARE(rig.Platform->Terminations, 1);
    }

    // Run at 100 %, 150 % and 200 % (QT_SCALE_FACTOR): every text of the
    // Options tab fits its control, nothing covers or touches a neighbour, and
    // all stays inside its frame. A picture of the tab goes to the test output.
    // A window larger than the screen's available area (saved on a larger
    // screen, or the designed size at a large scale) is fitted into it, and
    // the size saved is the one chosen, not the one forced on it.
    void windowFitsTheScreenAndKeepsTheChosenSize() {
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        const auto savedSize = [](const std::filesystem::path& ini) {
            const std::string text = testcommon::ReadWholeFile(ini);
            const std::size_t at = text.find("NormalPos=");
            int l = 0, t = 0, r = 0, b = 0;
            if (at == std::string::npos ||
                std::sscanf(text.c_str() + at, "NormalPos=%d,%d,%d,%d", &l, &t, &r, &b) != 4)
                return QSize();
            return QSize(r - l, b - t);
        };
        const QSize large(area.width() + 300, area.height() + 200);
        for (const bool resized : {false, true}) {
            TRig rig;
            rig.WriteIni("[MainForm]\r\nShowCmd=1\r\nNormalPos=0,0," +
                         std::to_string(large.width()) + "," + std::to_string(large.height()) +
                         "\r\n" + rig.PpiLine());
            rig.StartAndWaitForFirstRun();
            TMainForm& f = *rig.Form;
            QVERIFY2(
                area.contains(f.geometry()),
                qPrintable(
                    QString("%1,%2 %3x%4").arg(f.x()).arg(f.y()).arg(f.width()).arg(f.height())));
            if (resized)
                f.resize(300, 250); // the user's own choice is saved as it is
            f.close();
            QCOMPARE(savedSize(rig.Ini()), resized ? QSize(300, 250) : large);
        }
        TRig designed;
        designed.StartAndWaitForFirstRun();
        QVERIFY(area.contains(designed.Form->geometry()));
        designed.Form->close();
        QCOMPARE(savedSize(designed.Ini()), QSize(527, 466));
    }

    void optionsTabFitsItsText() {
        TRig rig(Scenario(130), {"DEBUG"});
        rig.StartAndWaitForFirstRun();
        TMainForm& f = *rig.Form;
        f.PageControl1->setCurrentWidget(f.tsOptions);
        QVERIFY(f.gbDebug->isVisible());
        QCoreApplication::processEvents();

        const auto check = [](QWidget* parent, const auto& self) -> void {
            const QList<QWidget*> children =
                parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
            for (QWidget* w : children) {
                if (!w->isVisible() || w->objectName().startsWith("qt_"))
                    continue;
                const QString name = QString("%1 '%2'").arg(w->metaObject()->className(),
                                                            w->property("text").toString());
                QVERIFY2(parent->rect().contains(w->geometry()),
                         qPrintable(name + " leaves its frame"));
                const auto* label = qobject_cast<QLabel*>(w);
                if (label && label->wordWrap())
                    QVERIFY2(w->height() >= label->heightForWidth(w->width()),
                             qPrintable(name + " is cut at the bottom"));
                else if (const auto* button = qobject_cast<QPushButton*>(w))
                    // A push button's size hint holds the style's minimum width.
                    QVERIFY2(button->fontMetrics().horizontalAdvance(button->text()) + 8 <=
                                     button->width() &&
                                 button->fontMetrics().height() + 4 <= button->height(),
                             qPrintable(name + " is cut"));
                else if (!qobject_cast<QGroupBox*>(w) && !qobject_cast<QLineEdit*>(w))
                    QVERIFY2(w->width() >= w->sizeHint().width() &&
                                 w->height() >= w->minimumSizeHint().height(),
                             qPrintable(name + " is cut"));
                for (QWidget* other : children) {
                    if (other == w || !other->isVisible() || other->objectName().startsWith("qt_"))
                        continue;
                    QVERIFY2(!w->geometry().adjusted(-1, 0, 1, 0).intersects(other->geometry()),
                             qPrintable(name + " covers or touches " +
                                        other->metaObject()->className() + " '" +
                                        other->property("text").toString() + "'"));
                }
                self(w, self);
            }
        };
        check(f.tsOptions, check);

        const QString scale = qEnvironmentVariable("QT_SCALE_FACTOR", "1");
        QDir().mkpath(VELLORAN_SCREENSHOT_DIR);
        const QString png =
            QString(VELLORAN_SCREENSHOT_DIR) + "/options-tab-scale-" + scale + ".png";
        QVERIFY(f.grab().save(png));
        qInfo("screenshot: %s", qPrintable(png));
    }

    void settingsPathThatIsNoFile() {
        // A named pipe would block start-up, /dev/zero read without end; a
        // directory cannot be written. Each counts as unreadable, and a save
        // says which file it could not write.
        QTemporaryDir dir;
        const std::filesystem::path fifo = dir.filePath("fifo.INI").toStdString();
        QCOMPARE(mkfifo(fifo.c_str(), 0600), 0);
        const std::filesystem::path folder = dir.filePath("folder.INI").toStdString();
        std::filesystem::create_directory(folder);
        for (const std::filesystem::path& ini :
             {fifo, folder, std::filesystem::path("/dev/zero")}) {
            TRig rig(Scenario(130), {}, ini);
            rig.StartAndWaitForFirstRun();
            QCOMPARE(rig.Form->edRecalculateRate->text(), QString("30"));
            rig.Form->btnSaveSettings->click();
            QCOMPARE(rig.Platform->Errors, QStringList{"Velloran: Unable to write to " +
                                                       QString::fromStdString(ini.string()) + "."});
        }
    }

    void staleTemporarySettingsFilesAreRemoved() {
        TRig probe;
        const std::filesystem::path ini = probe.Ini();
        const std::filesystem::path stale = ini.string() + ".a1B2c3";
        const std::filesystem::path fresh = ini.string() + ".Z9y8X7";
        const std::filesystem::path other = ini.string() + ".bak";
        for (const auto& file : {stale, fresh, other})
            std::ofstream(file) << "[Settings]\r\n";
        std::filesystem::last_write_time(stale, std::filesystem::file_time_type::clock::now() -
                                                    std::chrono::hours(1));
        std::filesystem::last_write_time(other, std::filesystem::file_time_type::clock::now() -
                                                    std::chrono::hours(1));
        TRig rig(Scenario(130), {}, ini);
        QVERIFY(!std::filesystem::exists(stale));
        QVERIFY(std::filesystem::exists(fresh)); // a save in progress, perhaps
        QVERIFY(std::filesystem::exists(other));
    }

    void runDeferredWhileOneIsInProgress() {
        TRig rig;
        rig.StartAndWaitForFirstRun();
        TMainForm& f = *rig.Form;
        f.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&f));
        QTest::keyClick(&f, Qt::Key_F9);
        QCOMPARE(rig.Runs(), 2);

        // During a run F9 is disabled, and a shape change waits for the run.
        bool enabledDuringRun = true;
        std::function<void()> duringRun = [&] {
            // Wait until the run has disabled its commands (after the banner).
            if (!rig.PaneHas(f.Memo1, "-Retrieving list")) {
                QTimer::singleShot(0, &f, duringRun);
                return;
            }
            enabledDuringRun = f.miCalculate->isEnabled() || f.miCalc->isEnabled();
            QTest::keyClick(&f, Qt::Key_F9);
            f.rbDrawEllispe->click();
            f.rbDrawEllispe->click(); // already selected: nothing more
        };
        QTimer::singleShot(0, &f, duringRun);
        f.miCalculate->trigger();
        QVERIFY(!enabledDuringRun);
        QCOMPARE(rig.Runs(), 3);
        QTRY_COMPARE(rig.Runs(), 4);
        QTest::qWait(50);
        QCOMPARE(rig.Runs(), 4);
        QVERIFY(f.miCalculate->isEnabled() && f.tmrCalc.Enabled());
    }

    void exitDuringRunLetsRunFinish() {
        TRig rig;
        rig.StartAndWaitForFirstRun();
        TMainForm& f = *rig.Form;
        int linesAtExit = -1;
        rig.Platform->OnTerminate = [&] { linesAtExit = f.Memo1->LineCount(); };
        QTimer::singleShot(0, &f, [&] { f.MenuItem1->trigger(); });
        f.miCalc->trigger();
        QCOMPARE(rig.Platform->Terminations, 1);
        QVERIFY(linesAtExit >= 0 && linesAtExit < f.Memo1->LineCount());
        QVERIFY(rig.PaneHas(f.Memo1, "Your ALOHA radius is 120 Kilometers or 75 Miles"));
        QVERIFY(std::any_of(rig.Tray->Calls.begin(), rig.Tray->Calls.end(),
                            [](const auto& call) { return call.first == NIM_DELETE; }));
        rig.Form.reset();
        QCOMPARE(rig.Tray->Calls.back().first, NIM_DELETE); // again, harmlessly
    }

    void successfulRunSetsTrayTip() {
        TRig rig;
        rig.StartAndWaitForFirstRun();
        QCOMPARE(rig.Tray->Calls.back().first, NIM_MODIFY);
        QCOMPARE(rig.Tray->Calls.back().second, std::string("ALOHA radius: 120 KM or 75 miles"));
        // Lines of a tab not shown are kept; a single blank is a line of its own.
        QVERIFY(!rig.Form->Memo3->isVisible());
        QCOMPARE(rig.Form->Memo3->Line(0), QString("0: APRS,WIDE1-1"));
        QCOMPARE(rig.Form->Memo1->Line(3), QString(" "));
        QVERIFY(rig.Form->tmrRedraw.Enabled());
    }

    void hostErrorInRunRestoresCommands() {
        TRig rig(Scenario(
            130, "n1abc",
            R"({"operation": "GetStationListEntry", "after": 5, "message": "Station list is gone"})"));
        rig.Form->Create();
        rig.Form->Start();
        QTRY_COMPARE(rig.Platform->Errors, QStringList{"Velloran: Station list is gone."});
        TMainForm& f = *rig.Form;
        QVERIFY(f.miCalculate->isEnabled() && f.miCalc->isEnabled());
        QVERIFY(f.tmrCalc.Enabled());
        QVERIFY(f.Calculation.Stations() == nullptr);
        QVERIFY(rig.PaneHas(f.Memo1, "Searching for stations heard on RF"));
        QCOMPARE(f.windowTitle(), QString("Velloran v1.5.0 - Station Call Sign - N1ABC"));
    }

    void ownStationErrorKeepsCaption() {
        TRig rig(Scenario(
            130, "n1abc",
            R"({"operation": "_clsMyInfo.GetCallsign", "after": 0, "message": "No own station"})"));
        rig.Form->Create();
        rig.Form->Start();
        QTRY_COMPARE(rig.Platform->Errors, QStringList{"Velloran: No own station."});
        QCOMPARE(rig.Form->windowTitle(), QString("Velloran"));
        QCOMPARE(rig.Runs(), 0);
        QVERIFY(!rig.Form->tmrCalc.Enabled());
    }

    void startMinimizedToTrayAndRestore() {
        TRig rig;
        rig.WriteIni("[MainForm]\r\nShowCmd=2\r\nNormalPos=10,20,530,420\r\n" + rig.PpiLine());
        TMainForm& f = *rig.Form;
        f.Create();
        f.Start();
        // Straight to the tray: the own station is read and one run made.
        QTRY_COMPARE(rig.Runs(), 1);
        QTRY_VERIFY(f.HiddenInTray());
        QVERIFY(!f.isVisible());
        QVERIFY(f.windowTitle().endsWith("N1ABC"));

        rig.Tray->OnCallback(f.TrayIconData.uCallbackMessage, WM_LBUTTONUP);
        QVERIFY(!f.isVisible());
        rig.Tray->OnCallback(f.TrayIconData.uCallbackMessage, WM_RBUTTONDOWN);
        QCOMPARE(rig.Platform->Popups, 1);
        QCOMPARE(rig.Platform->PopupAt, QPoint(11, 22));

        rig.Tray->OnCallback(f.TrayIconData.uCallbackMessage, WM_LBUTTONDBLCLK);
        QVERIFY(f.isVisible());
        QVERIFY(!(f.windowState() & Qt::WindowMinimized));
        QTRY_COMPARE(rig.Runs(), 2); // the first show runs again
        QCOMPARE(f.size(), QSize(520, 400));
        QVERIFY(rig.Platform->Errors.isEmpty());
    }

    // Saved minimized, "Minimize to Tray" ticked, and no notification area:
    // the window starts minimized on the taskbar instead of nowhere.
    void startMinimizedWithoutANotificationAreaIsNotLost() {
        TRig rig;
        rig.Tray->Shown = false;
        rig.WriteIni("[MainForm]\r\nShowCmd=2\r\nNormalPos=10,20,530,420\r\n" + rig.PpiLine());
        TMainForm& f = *rig.Form;
        f.Create();
        f.Start();
        QTRY_COMPARE(rig.Runs(), 1);
        QVERIFY(f.isVisible());
        QVERIFY(f.windowState() & Qt::WindowMinimized);
        QVERIFY(!f.HiddenInTray());
        f.showNormal();
        QTRY_COMPARE(rig.Runs(), 2); // the first show
        QVERIFY(rig.Platform->Errors.isEmpty());
    }

    void withoutANotificationAreaMinimizeKeepsTheTaskbarEntry() {
        TRig rig;
        rig.Tray->Shown = false;
        rig.StartAndWaitForFirstRun();
        TMainForm& f = *rig.Form;
        QVERIFY(f.cbMinimizeToTray->isChecked());
        f.showMinimized();
        QTest::qWait(50);
        QVERIFY(!f.HiddenInTray());
        QVERIFY(f.isVisible() && (f.windowState() & Qt::WindowMinimized));
        f.showNormal();
        QVERIFY(f.isVisible() && !(f.windowState() & Qt::WindowMinimized));
    }

    void minimizeToTrayAndEndFromTray() {
        TRig rig;
        rig.StartAndWaitForFirstRun();
        TMainForm& f = *rig.Form;
        f.showMinimized();
        QTRY_VERIFY(f.HiddenInTray());
        QCOMPARE(rig.Runs(), 1); // the own station is known: no run
        f.miRestore->trigger();
        QVERIFY(f.isVisible() && !f.HiddenInTray());

        f.cbMinimizeToTray->setChecked(false);
        f.showMinimized();
        QTest::qWait(20);
        QVERIFY(!f.HiddenInTray() && f.isVisible());
        f.cbMinimizeToTray->setChecked(true);
        f.showNormal();
        f.showMinimized();
        QTRY_VERIFY(f.HiddenInTray());

        f.MenuItem1->trigger();
        QCOMPARE(rig.Platform->Terminations, 1);
        rig.Form.reset();
        const std::string ini = testcommon::ReadWholeFile(rig.Ini());
        QVERIFY(ini.find("ShowCmd=2\r\n") != std::string::npos);
        QVERIFY(ini.find("[Settings]") != std::string::npos); // never saved during the run
    }

    void restoredShapeSelection_data() {
        QTest::addColumn<QString>("circle");
        QTest::addColumn<QString>("ellipse");
        QTest::addColumn<bool>("circleAfter");
        QTest::addColumn<bool>("ellipseAfter");
        QTest::newRow("ellipse") << "False"
                                 << "True" << false << true;
        QTest::newRow("both true") << "True"
                                   << "True" << false << true;
        QTest::newRow("both false") << "False"
                                    << "False" << false << false;
        QTest::newRow("lower case") << "false"
                                    << "TRUE" << false << true;
        QTest::newRow("not yes/no") << "yes"
                                    << "1" << true << false;
    }

    void restoredShapeSelection() {
        QFETCH(QString, circle);
        QFETCH(QString, ellipse);
        QFETCH(bool, circleAfter);
        QFETCH(bool, ellipseAfter);
        TRig rig;
        rig.WriteIni("[Settings]\r\nrbDrawCircle.Checked=" + circle.toStdString() +
                     "\r\nrbDrawEllispe.Checked=" + ellipse.toStdString() + "\r\n");
        rig.Form->Create();
        QCOMPARE(rig.Form->rbDrawCircle->isChecked(), circleAfter);
        QCOMPARE(rig.Form->rbDrawEllispe->isChecked(), ellipseAfter);
        // No run before the own station is known: the first show's run uses
        // the shape.
        QCOMPARE(rig.Runs(), 0);
        QVERIFY(rig.Form->Calculation.State.OwnCall.empty());
    }

    void restoredEllipseStartsNoRunAndTheRestoreGoesOn() {
        TRig rig(Scenario(130, "n1abc",
                          R"({"operation": "GetStationCount", "after": 0, "message": "boom"})"));
        rig.WriteIni("[Settings]\r\nrbDrawEllispe.Checked=True\r\nedRecalculateRate.Text=7\r\n"
                     "cbUseInternet.Checked=True\r\n");
        rig.Form->Create();
        QVERIFY(rig.Platform->Errors.isEmpty());
        QVERIFY(rig.Form->rbDrawEllispe->isChecked());
        QCOMPARE(rig.Form->edRecalculateRate->text(), QString("7"));
        QVERIFY(rig.Form->cbUseInternet->isChecked());
        QCOMPARE(rig.Form->tmrCalc.Interval(), 7 * 60000);
        QVERIFY(!rig.Form->tmrCalc.Enabled()); // no run, so nothing started it
    }

    void placementSettings() {
        TRig rig;
        rig.WriteIni("[MainForm]\r\nNormalPos=100,100,50,50\r\nShowCmd=3\r\n" + rig.PpiLine());
        rig.Form->Create();
        QCOMPARE(rig.Form->size(), QSize(527, 466));
        QVERIFY(rig.Form->windowState() & Qt::WindowMaximized);

        TRig other;
        other.WriteIni("[MainForm]\r\nNormalPos=10,20,310,220\r\nShowCmd=3\r\nPixelsPerInch=1\r\n");
        other.Form->Create();
        QCOMPARE(other.Form->size(), QSize(527, 466));
        QVERIFY(!(other.Form->windowState() & Qt::WindowMaximized));
    }

    void corruptPlacementIsFittedToTheScreen() {
        for (const char* pos : {"-2147483648,-2147483648,2147483647,2147483647",
                                "0,0,100000,100000", "-50000,90000,-49000,90700"}) {
            TRig rig;
            rig.WriteIni(std::string("[MainForm]\r\nNormalPos=") + pos + "\r\n" + rig.PpiLine());
            rig.Form->Create();
            const QRect screen = rig.Form->screen()->availableVirtualGeometry();
            QVERIFY2(rig.Form->width() <= screen.width() && rig.Form->height() <= screen.height(),
                     pos);
            QVERIFY2(screen.contains(rig.Form->geometry().topLeft()), pos);
        }
        // An ordinary one is taken as it is.
        TRig rig;
        rig.WriteIni("[MainForm]\r\nNormalPos=10,20,310,220\r\n" + rig.PpiLine());
        rig.Form->Create();
        QCOMPARE(rig.Form->size(), QSize(300, 200));
    }

    void exitAfterSaveKeepsSavedValuesButCloseStoresCurrent() {
        for (const bool viaClose : {false, true}) {
            TRig rig;
            rig.StartAndWaitForFirstRun();
            TMainForm& f = *rig.Form;
            f.edRecalculateRate->setText("10");
            f.btnSaveSettings->click();
            f.edRecalculateRate->setText("20");
            if (viaClose)
                f.close();
            else
                f.miExit->trigger();
            QCOMPARE(rig.Platform->Terminations, 1);
            rig.Form.reset();
            const std::string ini = testcommon::ReadWholeFile(rig.Ini());
            QVERIFY2(ini.find(viaClose ? "edRecalculateRate.Text=20"
                                       : "edRecalculateRate.Text=10") != std::string::npos,
                     ini.c_str());
            QVERIFY(ini.find("NormalPos=") != std::string::npos);
        }
    }

    void packetCacheLivesWithTheWindow() {
        QTemporaryDir dir;
        const QString previous = QDir::currentPath();
        QDir::setCurrent(dir.path()); // the log goes to the working directory
        {
            TRig rig;
            rig.Form->Create();
            support::TPacketCache* cache = rig.Form->PacketCache();
            QVERIFY(cache != nullptr);
            QCOMPARE(cache->ExpiryMinutes(), 45);
            QVERIFY(cache->PurgeTimer().Enabled());
        }
        QVERIFY(!QFile::exists(dir.filePath("packetcache.log"))); // empty: no log
        {
            TRig rig;
            rig.Form->Create();
            auto packet = std::make_unique<support::TPacket>();
            packet->Key = "N1ABC";
            packet->Text = "N1ABC>APRS:>here";
            packet->Time = 45000.5;
            rig.Form->PacketCache()->Store(std::move(packet));
        }
        QDir::setCurrent(previous);
        QVERIFY(QFile::exists(dir.filePath("packetcache.log")));
    }

    void donationLabel() {
        TRig rig;
        support::TPayPalLabel* label = rig.Form->PayPalLabel1;
        QCOMPARE(label->text(), QString("If you like Velloran consider making a donation"));
        // At its designed place, or lower when the frames above need more room.
        QCOMPARE(label->x(), 9);
        QVERIFY(label->y() >= 257 && label->y() > rig.Form->gbDebug->geometry().bottom());
        QCOMPARE(label->LinkColor(), support::TColor{0x0000FF});
        QVERIFY(label->Email().endsWith("@example.org"));
        QCOMPARE(label->Product(), QString("Velloran"));
    }

    void paneFollowsNewLinesWithinAFrame() {
        TReportPane pane;
        pane.resize(300, 200);
        pane.show();
        QVERIFY(QTest::qWaitForWindowExposed(&pane));
        int paints = 0;
        TEventCounter counter(QEvent::Paint, paints);
        pane.viewport()->installEventFilter(&counter);

        QElapsedTimer clock;
        clock.start();
        // Lines keep coming for a good number of frames.
        int lines = 0;
        while (lines < 3000 || clock.elapsed() < 250) {
            pane.AppendLine(QString("line %1").arg(lines++));
            QCoreApplication::processEvents();
        }
        // About one paint per frame while lines keep coming, not one per line
        // (thousands); the slack is for late frames on a loaded machine.
        QVERIFY2(paints <= 2 * (clock.elapsed() / TReportPane::kFrameMs) + 5,
                 qPrintable(QString("%1 paints in %2 ms").arg(paints).arg(clock.elapsed())));
        // The last line is in view within a frame or two.
        QTRY_VERIFY_WITH_TIMEOUT(pane.verticalScrollBar()->maximum() > lines - 100, 100);
        QCOMPARE(pane.verticalScrollBar()->value(), pane.verticalScrollBar()->maximum());
        const int before = paints;
        QTest::qWait(100); // idle: no paints of its own
        QVERIFY(paints <= before + 1);

        // A line wider than the pane wraps into rows of its own.
        const int rows = pane.verticalScrollBar()->maximum();
        pane.AppendLine(QString(200, 'x'));
        QTRY_VERIFY(pane.verticalScrollBar()->maximum() >= rows + 3);
        QCOMPARE(pane.LineCount(), lines + 1);
        pane.Clear();
        QCOMPARE(pane.LineCount(), 0);
    }

    void qtOptionsBeforeDebugDoNotTurnItOn() {
        // "velloran -reverse DEBUG": the application object takes -reverse out
        // of argv, so the first argument must be read before it is made.
        std::vector<std::string> words{"velloran", "-reverse", "DEBUG"};
        std::vector<char*> argv;
        for (std::string& word : words)
            argv.push_back(word.data());
        const std::vector<std::string> args =
            ProgramArguments(static_cast<int>(argv.size()), argv.data());
        QCOMPARE(args, (std::vector<std::string>{"-reverse", "DEBUG"}));
        TRig rig(Scenario(130), args);
        rig.StartAndWaitForFirstRun();
        QVERIFY(!rig.Form->windowTitle().endsWith("*DEBUG*"));
        QVERIFY(!rig.Form->gbDebug->isVisible());
    }

    void demoScenarioIsShownInTheStatusBar() {
        // No session bus at all: the demo, and a note saying so.
        const QByteArray bus = qgetenv("DBUS_SESSION_BUS_ADDRESS");
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
        qunsetenv("VELLORAN_SCENARIO");
        TMainFormSetup setup;
        setup.Connector = MakeHostConnector(nullptr, &setup.HostNote);
        if (!bus.isEmpty())
            qputenv("DBUS_SESSION_BUS_ADDRESS", bus);
        QCOMPARE(setup.HostNote, std::string(standin::kDemoScenarioNote));
        TRig rig;
        setup.Platform = rig.Platform;
        setup.Tray = rig.Tray;
        setup.SettingsFile = rig.Ini();
        TMainForm form(std::move(setup));
        QCOMPARE(form.lblHostNote->text(),
                 QString("No host found on the session bus; using the built-in demo scenario"));
        QVERIFY(!form.lblHostNote->isHidden());
        // With a real host, or a scenario file, there is nothing to say.
        QVERIFY(rig.Form->lblHostNote->isHidden());
    }

    void unloadableScenarioMeansNoHost() {
        QTemporaryDir dir;
        const QString file = dir.filePath("broken.json");
        std::ofstream(file.toStdString()) << "{";
        qputenv("VELLORAN_SCENARIO", file.toLocal8Bit());
        QVERIFY_THROWS_EXCEPTION(standin::EScenarioError, MakeHostConnector());
        qunsetenv("VELLORAN_SCENARIO");
        QVERIFY(MakeHostConnector() != nullptr);
    }
};

QTEST_MAIN(TestMainForm)
#include "main_form_qtest.moc"
