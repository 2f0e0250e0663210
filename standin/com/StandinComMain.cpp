// velloran-standin-host.exe: the stand-in host as a COM local server, serving
// a scenario (or the demo scenario) to Velloran on Windows.

#include "host/com/ComSupport.h"
#include "standin/com/ComServer.h"
#include "standin/com/ControlMessages.h"
#include "standin/com/MapWindow.h"
#include "standin/com/Registration.h"
#include "standin/model/Scenario.h"
#include "standin/model/StandinHost.h"
#include "support/ProgramInfo.h"

#include <cstdlib>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr const char* kUsage =
    "usage: velloran-standin-host [--scenario FILE] [--snapshot FILE.png]\n"
    "                             [--fail OPERATION AFTER MESSAGE] [--replace-objects]\n"
    "       velloran-standin-host /RegServer [/AllUsers] | /UnregServer [/AllUsers] | --close\n"
    "Serves the host's automation interface over COM from a scenario file, the file named\n"
    "in VELLORAN_SCENARIO, or the demo scenario.\n"
    "  --scenario FILE     the host's scenario (JSON)\n"
    "  --snapshot FILE     write the map as a PNG after the next drawing\n"
    "  --fail OP N MSG     fail operation OP with MSG once N calls of it have succeeded\n"
    "  --replace-objects   hand back new station objects from GetStationInfo and GetMyInfo\n"
    "  /RegServer          register the classes and the type library for this user\n"
    "  /UnregServer        remove that registration\n"
    "  /AllUsers           with /RegServer or /UnregServer: for all users of the machine\n"
    "  --close             close the running stand-in host (it tells its clients first)\n"
    "  --help              show this text and exit\n"
    "  --version           show the version and exit\n"
    "Closing its map window or its console, or the control command, tells clients\n"
    "(event 3) and ends.\n";

bool IsSwitch(const std::string& arg, const char* name) {
    if (arg.size() < 2 || (arg[0] != '/' && arg[0] != '-'))
        return false;
    return ::lstrcmpiA(arg.c_str() + 1, name) == 0;
}

struct TOptions {
    std::optional<std::string> scenario;
    std::optional<std::string> snapshot;
    std::optional<standin::TScenarioFail> fail;
    bool replaceObjects = false;
    std::optional<bool> registerServer; // true: register, false: unregister
    bool allUsers = false;
    bool close = false;
};

// Parses the command line; on nullopt the program ends with the status.
std::optional<TOptions> ParseArgs(const std::vector<std::string>& args, int& status) {
    TOptions options;
    // --help and --version come first, wherever they are, as on Linux.
    switch (support::FindStandardRequest(args)) {
    case support::TStandardRequest::Help:
        std::cout << kUsage;
        status = 0;
        return std::nullopt;
    case support::TStandardRequest::Version:
        std::cout << support::VersionText("velloran-standin-host");
        status = 0;
        return std::nullopt;
    case support::TStandardRequest::None:
        break;
    }
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const auto need = [&](std::size_t count) {
            if (i + count < args.size())
                return true;
            std::cerr << "velloran-standin-host: " << arg << " needs " << count
                      << (count == 1 ? " value\n" : " values\n");
            return false;
        };
        if (arg == "-h" || arg == "/?") {
            std::cout << kUsage;
            status = 0;
            return std::nullopt;
        } else if (arg == "--scenario" && need(1)) {
            options.scenario = args[++i];
        } else if (arg == "--snapshot" && need(1)) {
            options.snapshot = args[++i];
        } else if (arg == "--fail" && need(3)) {
            char* end = nullptr;
            const long long after = std::strtoll(args[i + 2].c_str(), &end, 10);
            if (!standin::IsHostOperationName(args[i + 1]) || args[i + 2].empty() || *end ||
                after < 0) {
                std::cerr << "velloran-standin-host: --fail needs an operation of the host and a "
                             "count of 0 or more\n";
                status = 2;
                return std::nullopt;
            }
            options.fail = standin::TScenarioFail{args[i + 1], after, args[i + 3]};
            i += 3;
        } else if (arg == "--replace-objects") {
            options.replaceObjects = true;
        } else if (arg == "--close") {
            options.close = true;
        } else if (IsSwitch(arg, "RegServer")) {
            options.registerServer = true;
        } else if (IsSwitch(arg, "UnregServer")) {
            options.registerServer = false;
        } else if (IsSwitch(arg, "AllUsers")) {
            options.allUsers = true;
        } else if (IsSwitch(arg, "Embedding") || IsSwitch(arg, "Automation")) {
            // Started by COM: the scenario comes from the environment.
        } else {
            if (arg == "--scenario" || arg == "--snapshot" || arg == "--fail")
                status = 2; // need() said what was missing
            else
                std::cerr << "velloran-standin-host: unknown option '" << arg << "'\n";
            std::cerr << kUsage;
            status = 2;
            return std::nullopt;
        }
    }
    return options;
}

// Asks the running host to close and waits until it has ended.
int CloseRunningHost() {
    const HWND window = ::FindWindowW(standin::com::kControlWindowClass, nullptr);
    if (!window) {
        std::cerr << "velloran-standin-host: no stand-in host is running\n";
        return 1;
    }
    DWORD processId = 0;
    ::GetWindowThreadProcessId(window, &processId);
    const HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, processId);
    ::PostMessageW(window, WM_CLOSE, 0, 0);
    if (process) {
        const DWORD waited = ::WaitForSingleObject(process, 30000);
        ::CloseHandle(process);
        if (waited != WAIT_OBJECT_0) {
            std::cerr << "velloran-standin-host: the running host did not end\n";
            return 1;
        }
    }
    return 0;
}

LRESULT CALLBACK ControlWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* server =
        reinterpret_cast<standin::com::TComHostServer*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!server)
        return ::DefWindowProcW(window, message, wParam, lParam);
    switch (message) {
    case standin::com::WM_STANDIN_SEND_EVENT:
        server->SendEvent(static_cast<std::int32_t>(wParam));
        return 0;
    case standin::com::WM_STANDIN_EVENTS_DELIVERED:
        return static_cast<LRESULT>(server->EventsDelivered());
    case standin::com::WM_STANDIN_REPLACEMENT_READS:
        return static_cast<LRESULT>(server->ReplacementReads());
    case WM_CLOSE:
        server->Close();
        ::DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        ::PostQuitMessage(0);
        return 0;
    default:
        return ::DefWindowProcW(window, message, wParam, lParam);
    }
}

// Closing the console closes the host the same way as the control command;
// the system ends the program when this returns, so wait for the host's end.
BOOL WINAPI ConsoleClosing(DWORD) {
    const HWND window = ::FindWindowW(standin::com::kControlWindowClass, nullptr);
    DWORD processId = 0;
    const DWORD threadId = window ? ::GetWindowThreadProcessId(window, &processId) : 0;
    if (!window || processId != ::GetCurrentProcessId())
        return FALSE;
    const HANDLE thread = ::OpenThread(SYNCHRONIZE, FALSE, threadId);
    ::PostMessageW(window, WM_CLOSE, 0, 0);
    if (thread) {
        ::WaitForSingleObject(thread, 5000);
        ::CloseHandle(thread);
    }
    return TRUE;
}

int Serve(const TOptions& options) {
    standin::TScenario scenario;
    try {
        const char* fromEnvironment = std::getenv("VELLORAN_SCENARIO");
        if (options.scenario)
            scenario = standin::LoadScenarioFile(*options.scenario);
        else if (fromEnvironment && *fromEnvironment)
            scenario = standin::LoadScenarioFile(fromEnvironment);
        else
            scenario = standin::LoadDemoScenario();
    } catch (const std::exception& error) {
        std::cerr << "velloran-standin-host: " << error.what() << '\n';
        return 2;
    }
    if (options.fail)
        scenario.fail = options.fail;

    auto model = std::make_shared<standin::TStandinHost>(std::move(scenario));
    model->SetRecordMapCalls(false); // a long-running host keeps only the scene
    standin::com::TComHostServer server(model);
    server.SetReplaceObjects(options.replaceObjects);

    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = ControlWindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = standin::com::kControlWindowClass;
    ::RegisterClassW(&windowClass);
    try {
        server.Start();
    } catch (const std::exception& error) {
        std::cerr << "velloran-standin-host: " << error.what() << '\n';
        return 1;
    }
    HWND control = nullptr;
    std::unique_ptr<standin::com::TMapWindow> map;
    try {
        map = std::make_unique<standin::com::TMapWindow>(
            *model,
            "Serving " + std::to_string(model->Scenario().stations.size()) + " stations over COM",
            [&control] {
                if (control)
                    ::PostMessageW(control, WM_CLOSE, 0, 0);
            });
    } catch (const std::exception& error) {
        std::cerr << "velloran-standin-host: " << error.what() << '\n';
        return 1;
    }
    if (options.snapshot)
        map->SnapshotAfterNextDrawing(*options.snapshot, [](const std::string& line) {
            std::cerr << "velloran-standin-host: " << line << std::endl;
        });
    // Created last: once it can be found, the host is ready for clients.
    control = ::CreateWindowExW(0, standin::com::kControlWindowClass, L"Velloran stand-in host",
                                WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr, instance, nullptr);
    if (!control) {
        std::cerr << "velloran-standin-host: "
                  << host::com::StatusText(HRESULT_FROM_WIN32(::GetLastError())) << '\n';
        return 1;
    }
    ::SetWindowLongPtrW(control, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&server));
    ::SetConsoleCtrlHandler(ConsoleClosing, TRUE);
    std::cout << "velloran-standin-host: serving " << model->Scenario().stations.size()
              << " stations over COM" << std::endl;

    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    ::SetConsoleCtrlHandler(ConsoleClosing, FALSE);
    server.Close();
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    int status = 2;
    const std::optional<TOptions> options = ParseArgs(args, status);
    if (!options)
        return status;
    if (options->close)
        return CloseRunningHost();

    try {
        const host::com::TApartment apartment;
        if (options->registerServer) {
            const auto scope = options->allUsers ? standin::com::TRegistryScope::AllUsers
                                                 : standin::com::TRegistryScope::CurrentUser;
            std::cout << (*options->registerServer ? standin::com::RegisterServer(scope)
                                                   : standin::com::UnregisterServer(scope))
                      << '\n';
            return 0;
        }
        return Serve(*options);
    } catch (const std::exception& error) {
        std::cerr << "velloran-standin-host: " << error.what() << '\n';
        return 1;
    }
}
