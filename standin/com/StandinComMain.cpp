// velloran-standin-host.exe: the stand-in host as a COM local server, serving
// a scenario (or the demo scenario) to Velloran on Windows.

#include "host/com/ComSupport.h"
#include "standin/HostOptions.h"
#include "standin/com/ComServer.h"
#include "standin/com/ControlMessages.h"
#include "standin/com/MapWindow.h"
#include "standin/com/Registration.h"
#include "standin/model/Scenario.h"
#include "standin/model/StandinHost.h"

#include <cstdlib>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

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

int Serve(const standin::THostOptions& options) {
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
    const standin::THostCommandLine line = standin::ParseHostOptions(
        standin::THostProgramKind::Com, std::vector<std::string>(argv + 1, argv + argc));
    if (!line.options) {
        std::cout << line.out;
        std::cerr << line.err;
        return line.status;
    }
    const standin::THostOptions& options = *line.options;
    if (options.close)
        return CloseRunningHost();

    try {
        const host::com::TApartment apartment;
        if (options.registerServer) {
            const auto scope = options.allUsers ? standin::com::TRegistryScope::AllUsers
                                                : standin::com::TRegistryScope::CurrentUser;
            std::cout << (*options.registerServer ? standin::com::RegisterServer(scope)
                                                  : standin::com::UnregisterServer(scope))
                      << '\n';
            return 0;
        }
        return Serve(options);
    } catch (const std::exception& error) {
        std::cerr << "velloran-standin-host: " << error.what() << '\n';
        return 1;
    }
}
