// The window's platform layers without a window: the settings file, the
// settings keepers, the timer and the version information.
#include "app/model/ProfileFile.h"
#include "app/model/SettingsStore.h"
#include "app/model/VersionInfo.h"
#include "app/qt/Timer.h"
#include "app/qt/TrayIcon.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

using namespace app;

namespace {

std::string ReadFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void WriteFile(const std::filesystem::path& file, const std::string& content) {
    std::ofstream(file, std::ios::binary) << content;
}

/// A window that only keeps what the form keeper gives it.
class TFakeWindow : public IPlacementWindow {
public:
    TWindowPlacement Placement{0, kSwShowNormal, {235, 174, 762, 640}};
    std::int32_t StartState = -1;
    int PlacementsApplied = 0;
    bool Minimized = false;
    std::int32_t Ppi = 96;

    TWindowPlacement GetPlacement() const override { return Placement; }
    void SetPlacement(const TWindowPlacement& placement) override {
        Placement.Flags = placement.Flags;
        Placement.NormalPosition = placement.NormalPosition;
        ++PlacementsApplied;
    }
    void SetStartState(std::int32_t showCmd) override { StartState = showCmd; }
    bool ApplicationMinimized() const override { return Minimized; }
    std::int32_t PixelsPerInch() const override { return Ppi; }
};

bool CanMakeReadOnly(const QString& dir) {
    // Root ignores directory permissions; such tests cannot run there.
    ::chmod(dir.toLocal8Bit().constData(), 0555);
    const bool readOnly = ::access(dir.toLocal8Bit().constData(), W_OK) != 0;
    ::chmod(dir.toLocal8Bit().constData(), 0755);
    return readOnly;
}

} // namespace

class TestPlatformLayers : public QObject {
    Q_OBJECT

private slots:
    void profileReadsNamesWithoutCaseAndTrimsValues() {
        QTemporaryDir dir;
        const std::filesystem::path file = dir.filePath("a.INI").toStdString();
        WriteFile(file, "[Other]\r\nRate=1\r\n[ settings ]\r\n  RATE  =  a = b  \r\nq=\"30\"\r\n"
                        "s='x'\r\nhalf=\"x\r\n");
        QCOMPARE(ReadProfileString(file, "SETTINGS", "rate", "d"), std::string("a = b"));
        QCOMPARE(ReadProfileString(file, "Settings", "q", "d"), std::string("30"));
        QCOMPARE(ReadProfileString(file, "Settings", "s", "d"), std::string("x"));
        QCOMPARE(ReadProfileString(file, "Settings", "half", "d"), std::string("\"x"));
        QCOMPARE(ReadProfileString(file, "Settings", "missing", "d"), std::string("d"));
        QCOMPARE(ReadProfileString(file, "Missing", "rate", "d"), std::string("d"));
        QCOMPARE(ReadProfileString(dir.filePath("none.INI").toStdString(), "S", "k", "d"),
                 std::string("d"));
    }

    void profileReadsLineFeedOnlyFilesAndLimitsLength() {
        QTemporaryDir dir;
        const std::filesystem::path file = dir.filePath("a.INI").toStdString();
        WriteFile(file, "[S]\nk=v\nlong=" + std::string(3000, 'x') + "\n");
        QCOMPARE(ReadProfileString(file, "S", "k", ""), std::string("v"));
        QCOMPARE(ReadProfileString(file, "S", "long", "").size(), std::size_t{2047});
    }

    void profileWriteChangesOnlyItsKey() {
        QTemporaryDir dir;
        const std::filesystem::path file = dir.filePath("a.INI").toStdString();
        WriteProfileString(file, "Settings", "A", "1"); // creates the file
        QCOMPARE(ReadFile(file), std::string("[Settings]\r\nA=1\r\n"));

        WriteFile(file, "; mine\r\n[settings]\r\nHand=kept\r\na=1\r\n\r\n[Other]\r\nX=y\n");
        WriteProfileString(file, "Settings", "A", "2");     // in place
        WriteProfileString(file, "Settings", "B", "");      // end of its section, empty value
        WriteProfileString(file, "MainForm", "Flags", "0"); // new section at the end
        QCOMPARE(ReadFile(file), std::string("; mine\r\n[settings]\r\nHand=kept\r\nA=2\r\nB=\r\n"
                                             "\r\n[Other]\r\nX=y\n[MainForm]\r\nFlags=0\r\n"));
        QCOMPARE(ReadProfileString(file, "Settings", "b", "d"), std::string());
    }

    void profileWriteKeepsValueOnOneLine() {
        QTemporaryDir dir;
        const std::filesystem::path file = dir.filePath("a.INI").toStdString();
        WriteProfileString(file, "S", "k", "a\r\n[Evil]\nb");
        QCOMPARE(ReadFile(file), std::string("[S]\r\nk=a  [Evil] b\r\n"));
    }

    void profileWriteFailureNamesFileAndChangesNothing() {
        QTemporaryDir dir;
        if (!CanMakeReadOnly(dir.path()))
            QSKIP("directory permissions are not enforced for this user");
        const std::filesystem::path file = dir.filePath("a.INI").toStdString();
        WriteFile(file, "[S]\r\nk=old\r\n");
        ::chmod(dir.path().toLocal8Bit().constData(), 0555);
        QString message;
        try {
            WriteProfileString(file, "S", "k", "new");
        } catch (const EProfileWriteError& error) {
            message = error.what();
        }
        ::chmod(dir.path().toLocal8Bit().constData(), 0755);
        QCOMPARE(message, QString("Unable to write to ") + QString::fromStdString(file.string()));
        QCOMPARE(ReadFile(file), std::string("[S]\r\nk=old\r\n"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 1); // no stray temporary file
    }

    void profileWriteRefusesReadOnlyFile() {
        QTemporaryDir dir;
        if (!CanMakeReadOnly(dir.path()))
            QSKIP("file permissions are not enforced for this user");
        const std::filesystem::path file = dir.filePath("a.INI").toStdString();
        WriteFile(file, "[S]\r\nk=old\r\n");
        ::chmod(file.c_str(), 0444);
        QVERIFY_THROWS_EXCEPTION(EProfileWriteError, WriteProfileString(file, "S", "k", "new"));
        QCOMPARE(ReadFile(file), std::string("[S]\r\nk=old\r\n"));
    }

    void iniFileNameFollowsExecutable() {
        QCOMPARE(TOvcIniFileStore::ExeDirIniPath("/opt/v/Velloran").string(),
                 std::string("/opt/v/Velloran.INI"));
        QCOMPARE(TOvcIniFileStore::ExeDirIniPath("/opt/v/Velloran.exe").string(),
                 std::string("/opt/v/Velloran.INI"));
    }

    void componentStateSavesTrimmedCopiesInOrder() {
        QTemporaryDir dir;
        TOvcIniFileStore store(dir.filePath("a.INI").toStdString());
        TOvcComponentState state(store);
        bool flag = true;
        std::string text;
        int saves = 0;
        state.StoredProperties = {
            {"cb.Checked", [&] { return std::string(flag ? "True" : "False"); },
             [&](bool v) { flag = v; }, nullptr},
            {"ed.Text", [&] { return text; }, nullptr, [&](const std::string& v) { text = v; }},
        };
        state.OnSaveState = [&] { ++saves; };

        state.SaveState(); // not restored yet: nothing
        QVERIFY(!std::filesystem::exists(store.FileName()));
        state.RestoreState();
        QVERIFY(state.Restored() && !state.Saved());
        text = " 45 ";
        state.SaveState();
        QCOMPARE(ReadFile(store.FileName()),
                 std::string("[Settings]\r\ncb.Checked=True\r\ned.Text=45\r\n"));
        QCOMPARE(text, std::string(" 45 ")); // the control keeps its text
        QCOMPARE(saves, 1);
        QVERIFY(state.Saved());
    }

    void componentStateRestoreRules() {
        QTemporaryDir dir;
        TOvcIniFileStore store(dir.filePath("a.INI").toStdString());
        WriteFile(store.FileName(),
                  "[Settings]\r\na.Checked= TRUE\r\nb.Checked=yes\r\n"
                  "c.Checked=false\r\ned.Text=\r\nboom.Text=x\r\nlast.Text=z\r\n");
        TOvcComponentState state(store);
        int a = -1, b = -1, c = -1;
        std::string ed = "30", last;
        const auto flag = [](int& target, const char* key) {
            return TStoredProperty{key, [] { return std::string("True"); },
                                   [&target](bool v) { target = v; }, nullptr};
        };
        state.StoredProperties = {
            flag(a, "a.Checked"),
            flag(b, "b.Checked"),
            flag(c, "c.Checked"),
            {"ed.Text", [&] { return ed; }, nullptr, [&](const std::string& v) { ed = v; }},
            {"boom.Text", [] { return std::string(); }, nullptr,
             [](const std::string&) { throw std::runtime_error("boom"); }},
            {"last.Text", [&] { return last; }, nullptr, [&](const std::string& v) { last = v; }},
        };
        int restores = 0;
        state.OnRestoreState = [&] { ++restores; };
        state.RestoreState();
        QCOMPARE(a, 1);
        QCOMPARE(b, -1); // neither True nor False: unchanged
        QCOMPARE(c, 0);
        QCOMPARE(ed, std::string());      // an empty text is taken
        QCOMPARE(last, std::string("z")); // after the failing entry
        QCOMPARE(restores, 1);
    }

    void failedSaveLeavesMarkAndEvent() {
        QTemporaryDir dir;
        // A directory that is a file cannot hold the settings file, whoever
        // runs the test.
        WriteFile(dir.filePath("blocker").toStdString(), "x");
        const std::filesystem::path file = dir.filePath("blocker/a.INI").toStdString();
        TOvcIniFileStore store(file);
        TOvcComponentState state(store);
        state.StoredProperties = {
            {"k", [] { return std::string("v"); }, nullptr, [](const std::string&) {}}};
        int saves = 0;
        state.OnSaveState = [&] { ++saves; };
        state.RestoreState();
        QString message;
        try {
            state.SaveState();
        } catch (const EProfileWriteError& error) {
            message = error.what();
        }
        QCOMPARE(message, "Unable to write to " + QString::fromStdString(file.string()));
        QCOMPARE(saves, 0);
        QVERIFY(!state.Saved());
    }

    void formStateRestore_data() {
        QTest::addColumn<QString>("section");
        QTest::addColumn<int>("placements");
        QTest::addColumn<QString>("rect");
        QTest::addColumn<int>("startState");
        QTest::newRow("full") << "NormalPos=10,20,310,220\r\nShowCmd=3\r\n"
                              << 1 << "10,20,310,220" << kSwShowMaximized;
        QTest::newRow("two words") << "NormalPos=100 , 100\r\n"
                                   << 1 << "100,100,762,640" << kSwShowNormal;
        QTest::newRow("bad word") << "NormalPos=1,x,300,400\r\nShowCmd=6\r\n"
                                  << 1 << "1,174,300,400" << kSwShowMinimized;
        QTest::newRow("right not beyond left") << "NormalPos=100,100,50,50\r\nShowCmd=2\r\n"
                                               << 0 << "235,174,762,640" << kSwShowMinimized;
        QTest::newRow("no NormalPos") << "ShowCmd=3\r\n" << 0 << "235,174,762,640" << -1;
        QTest::newRow("other PixelsPerInch")
            << "PixelsPerInch=120\r\nNormalPos=10,20,310,220\r\nShowCmd=3\r\n"
            << 0 << "235,174,762,640" << -1;
        QTest::newRow("odd ShowCmd") << "NormalPos=10,20,310,220\r\nShowCmd=abc\r\n"
                                     << 1 << "10,20,310,220" << kSwShowNormal;
    }

    void formStateRestore() {
        QFETCH(QString, section);
        QFETCH(int, placements);
        QFETCH(QString, rect);
        QFETCH(int, startState);
        QTemporaryDir dir;
        TOvcIniFileStore store(dir.filePath("a.INI").toStdString());
        WriteFile(store.FileName(), "[MainForm]\r\n" + section.toStdString());
        TFakeWindow window;
        TOvcFormState state(store, window);
        state.RestoreState();
        const TRect& r = window.Placement.NormalPosition;
        QCOMPARE(window.PlacementsApplied, placements);
        QCOMPARE(QString("%1,%2,%3,%4").arg(r.Left).arg(r.Top).arg(r.Right).arg(r.Bottom), rect);
        QCOMPARE(window.StartState, startState);
        QVERIFY(state.Restored());
    }

    void formStateSaveWritesFiveKeys() {
        QTemporaryDir dir;
        TOvcIniFileStore store(dir.filePath("a.INI").toStdString());
        TFakeWindow window;
        window.Minimized = true; // hidden in the tray counts as minimized
        TOvcFormState state(store, window);
        state.RestoreState();
        state.SaveState();
        QCOMPARE(ReadFile(store.FileName()),
                 std::string("[MainForm]\r\nFlags=0\r\nShowCmd=2\r\nNormalPos=235,174,762,640\r\n"
                             "PixelsPerInch=96\r\nColor=-16777201\r\n"));
    }

    void timerIntervalRules() {
        TTimer timer(0, true);
        int ticks = 0;
        timer.OnTimer = [&] { ++ticks; };
        QVERIFY(!timer.Counting()); // interval 0 never fires
        QTest::qWait(30);
        QCOMPARE(ticks, 0);

        timer.SetEnabled(false);
        timer.SetInterval(10); // stopped: only stored
        QVERIFY(!timer.Counting());
        timer.Start();
        QTRY_VERIFY(ticks >= 2);

        // The same interval does not restart the countdown; another one does.
        TTimer slow(400, true);
        int slowTicks = 0;
        slow.OnTimer = [&] { ++slowTicks; };
        QTest::qWait(250);
        slow.SetInterval(400);
        QTest::qWait(250);
        QCOMPARE(slowTicks, 1);
        slow.SetInterval(401);
        QTest::qWait(250);
        QCOMPARE(slowTicks, 1);
        slow.SetInterval(-5);
        QVERIFY(!slow.Counting());
    }

    void versionInfoAndTrayRecord() {
        const TVersionInfo built;
        QCOMPARE(built.Major(), 1);
        QCOMPARE(built.Minor(), 5);
        QCOMPARE(built.Release(), 0);
        QCOMPARE(built.Build(), 1);
        QVERIFY(!built.LegalCopyright().empty());
        QVERIFY(built.LegalCopyright().find('\n') == std::string::npos);

        TNotifyIconData data;
        SetTip(data, std::string(70, 'x'));
        QCOMPARE(std::string(data.szTip).size(), std::size_t{63});
        SetTip(data, "ab");
        QCOMPARE(std::string(data.szTip), std::string("ab"));
    }
};

QTEST_GUILESS_MAIN(TestPlatformLayers)
#include "platform_layers_qtest.moc"
