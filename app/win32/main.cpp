// velloran.exe: the Velloran window beside the host on Windows.

// Ahead of <windows.h>, whose GetObject macro would rename the connectors' call.
#include "host/com/ComConnector.h"
#include "standin/model/StandinHost.h"

#include "app/model/CommandLine.h"
#include "app/model/ErrorReport.h"
#include "app/model/SettingsStore.h"
#include "app/win32/Win32Form.h"
#include "host/UIView32_TLB.h"
#include "host/com/ComSupport.h"
#include "support/APRSParser.h"
#include "support/ProgramInfo.h"
#include "support/TextRules.h"
#include "support/WideText.h"

#include <shellapi.h>

#include <cwchar>
#include <string>
#include <vector>

namespace {

/// The command-line arguments without the program name.
std::vector<std::string> Arguments() {
    std::vector<std::string> args;
    int count = 0;
    LPWSTR* list = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    for (int i = 1; list && i < count; ++i)
        args.push_back(support::Utf8(list[i]));
    ::LocalFree(list);
    return args;
}

/// Writes the text where whoever started the program reads it: its standard
/// output or error when that leads somewhere (a console, a file, a pipe), else
/// the console of the program that started it, else a message box.
void Tell(const std::string& text, bool error) {
    HANDLE out = ::GetStdHandle(error ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    bool own = false;
    if ((!out || out == INVALID_HANDLE_VALUE) && ::AttachConsole(ATTACH_PARENT_PROCESS)) {
        out = ::CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
        own = true;
    }
    if (out && out != INVALID_HANDLE_VALUE) {
        DWORD mode = 0, written = 0;
        if (::GetConsoleMode(out, &mode)) {
            const std::wstring wide = support::Wide(text);
            ::WriteConsoleW(out, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        } else {
            ::WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        }
        if (own)
            ::CloseHandle(out);
        return;
    }
    ::MessageBoxW(nullptr, support::Wide(text).c_str(), L"Velloran",
                  MB_OK | (error ? MB_ICONERROR : MB_ICONINFORMATION));
}

/// Which host COM starts for Velloran: the program registered for the host's
/// application class.
std::string HostDescription() {
    const std::wstring key = L"CLSID\\" + support::Wide(host::CLASS_clsUIV) + L"\\LocalServer32";
    // COM starts a host of either bitness: this program's view first.
    for (const DWORD view : {0x0UL, 0x10000UL /* 64-bit view */, 0x20000UL /* 32-bit view */}) {
        std::wstring value(1024, L'\0');
        DWORD size = static_cast<DWORD>(value.size() * sizeof(wchar_t));
        if (::RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, RRF_RT_REG_SZ | view, nullptr,
                           value.data(), &size) == ERROR_SUCCESS) {
            value.resize(::wcsnlen(value.c_str(), value.size()));
            return "UIView32.clsUIV over COM: " + support::Utf8(value);
        }
    }
    return "UIView32.clsUIV over COM";
}

/// The host Velloran uses, and its description for Help > About: with
/// VELLORAN_SCENARIO=FILE an embedded stand-in host on that scenario, as on
/// Linux; otherwise the host over COM (the running one, or the registered one
/// started).
std::shared_ptr<host::IHostConnector> MakeHostConnector(std::string& description) {
    const DWORD length = ::GetEnvironmentVariableW(L"VELLORAN_SCENARIO", nullptr, 0);
    std::wstring file(length, L'\0');
    if (length > 1 &&
        ::GetEnvironmentVariableW(L"VELLORAN_SCENARIO", file.data(), length) == length - 1) {
        file.resize(length - 1);
        const std::string path = support::Utf8(file);
        description = "embedded stand-in host on the scenario " + path;
        return std::make_shared<standin::TEmbeddedConnector>(
            std::make_shared<standin::TStandinHost>(standin::LoadScenarioFile(path)));
    }
    description = HostDescription();
    return std::make_shared<host::TComConnector>();
}

/// Brings the running Velloran's window to the front (it may still be
/// starting: its window is waited for a while).
void ActivateRunning() {
    for (int i = 0; i < 100; ++i) {
        if (HWND window = ::FindWindowW(app::win32::kWindowClass, nullptr)) {
            DWORD process = 0;
            ::GetWindowThreadProcessId(window, &process);
            // Windows lets the running one take the foreground from us.
            ::AllowSetForegroundWindow(process);
            ::PostMessageW(window, app::win32::kActivateMessage, 0, 0);
            return;
        }
        ::Sleep(100);
    }
}

} // namespace

/// The APRS text patterns come first and go last, around everything else.
struct TAprsPatterns {
    TAprsPatterns() { support::InitializeAprsPatterns(); }
    ~TAprsPatterns() { support::FinalizeAprsPatterns(); }
    TAprsPatterns(const TAprsPatterns&) = delete;
    TAprsPatterns& operator=(const TAprsPatterns&) = delete;
};

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCmd) {
    const std::vector<std::string> args = Arguments();
    const app::TCommandLine line = app::ParseCommandLine(args);
    switch (line.Action) {
    case app::TCommandLine::TAction::Help:
        Tell(app::VelloranUsage(), false);
        return 0;
    case app::TCommandLine::TAction::Version:
        Tell(support::VersionText("velloran"), false);
        return 0;
    case app::TCommandLine::TAction::Error:
        Tell(line.Error, true);
        return 2;
    case app::TCommandLine::TAction::Run:
        break;
    }
    // One Velloran a session: two would show two tray icons and share one
    // settings file. Held until the program ends.
    const HANDLE instanceMutex = ::CreateMutexW(nullptr, FALSE, L"Local\\Velloran.Velloran");
    if (instanceMutex && ::GetLastError() == ERROR_ALREADY_EXISTS) {
        ActivateRunning();
        ::CloseHandle(instanceMutex);
        return 0;
    }
    int status = 1;
    try {
        const TAprsPatterns patterns;
        const host::com::TApartment apartment;
        app::TFormServices services;
        std::string hostDescription;
        services.Connector = MakeHostConnector(hostDescription);
        services.Args = args;
        services.SettingsFile = app::TOvcIniFileStore::ExeDirIniPath(app::win32::ExecutablePath());
        services.VersionBlock = app::win32::ExecutableVersionBlock();
        app::win32::TWin32Form form(instance, std::move(services), "", hostDescription);
        form.Start(showCmd);
        status = form.Run();
    } catch (const std::exception& error) {
        ::MessageBoxW(nullptr, support::Wide(app::StartUpErrorText(error)).c_str(), L"Velloran",
                      MB_OK | MB_ICONERROR);
        status = 1;
    }
    if (instanceMutex)
        ::CloseHandle(instanceMutex);
    return status;
}
