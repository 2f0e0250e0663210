// velloran.exe: the Velloran window beside the host on Windows.

// Ahead of <windows.h>, whose GetObject macro would rename the connector's call.
#include "host/ComConnector.h"

#include "app/model/SettingsStore.h"
#include "app/win32/Win32Form.h"
#include "host/ComSupport.h"
#include "support/APRSParser.h"
#include "support/TextRules.h"

#include <shellapi.h>

#include <string>
#include <vector>

namespace {

/// The command-line arguments without the program name.
std::vector<std::string> Arguments() {
    std::vector<std::string> args;
    int count = 0;
    LPWSTR* list = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    for (int i = 1; list && i < count; ++i) {
        const int size =
            ::WideCharToMultiByte(CP_ACP, 0, list[i], -1, nullptr, 0, nullptr, nullptr);
        std::string arg(static_cast<std::size_t>(std::max(size, 1)), '\0');
        ::WideCharToMultiByte(CP_ACP, 0, list[i], -1, arg.data(), size, nullptr, nullptr);
        arg.resize(arg.size() - 1);
        args.push_back(arg);
    }
    ::LocalFree(list);
    return args;
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
    const TAprsPatterns patterns;
    const host::com::TApartment apartment;
    try {
        app::TFormServices services;
        services.Connector = std::make_shared<host::TComConnector>();
        services.Args = Arguments();
        services.SettingsFile = app::TOvcIniFileStore::ExeDirIniPath(app::win32::ExecutablePath());
        services.VersionBlock = app::win32::ExecutableVersionBlock();
        app::win32::TWin32Form form(instance, std::move(services), "");
        form.Start(showCmd);
        return form.Run();
    } catch (const std::exception& error) {
        ::MessageBoxA(nullptr, support::WithFullStop(error.what()).c_str(), "Velloran",
                      MB_OK | MB_ICONERROR);
        return 1;
    }
}
