#pragma once

#include "host/com/ComSupport.h"
#include "standin/com/ControlMessages.h"

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <stdexcept>
#include <string>

/// The COM stand-in host as a process of its own, for the Windows tests and
/// benchmarks (which the build puts two folders below the build's root).
namespace comtest {

inline std::wstring ProgramDirectory() {
    std::wstring path(MAX_PATH, L'\0');
    path.resize(::GetModuleFileNameW(nullptr, path.data(), MAX_PATH));
    return path.substr(0, path.find_last_of(L"\\/"));
}

// Where the build puts the host, seen from a test or benchmark program, unless
// VELLORAN_TEST_HOST names another (a host of the other bitness).
inline std::wstring HostProgram() {
    if (const wchar_t* other = ::_wgetenv(L"VELLORAN_TEST_HOST"); other && *other)
        return other;
    return ProgramDirectory() + L"\\..\\..\\standin\\com\\velloran-standin-host.exe";
}

// Processes messages (incoming calls and events reach this apartment that
// way) until the condition holds; false after 20 seconds without.
inline bool PumpUntil(const std::function<bool()>& done) {
    const ULONGLONG deadline = ::GetTickCount64() + 20000;
    while (!done()) {
        if (::GetTickCount64() > deadline)
            return false;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
    }
    return true;
}

// The stand-in host as a process of its own, ready once its control window
// exists; closed (or ended) when the test is done with it.
class THostProcess {
public:
    explicit THostProcess(const std::string& args) {
        std::wstring command = L"\"" + HostProgram() + L"\" " + host::com::ToWide(args);
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                              &startup, &info))
            throw std::runtime_error("cannot start the stand-in host");
        ::CloseHandle(info.hThread);
        FProcess = info.hProcess;
        const ULONGLONG deadline = ::GetTickCount64() + 30000;
        while (!(FWindow = ::FindWindowW(standin::com::kControlWindowClass, nullptr))) {
            if (::WaitForSingleObject(FProcess, 20) == WAIT_OBJECT_0 ||
                ::GetTickCount64() > deadline)
                throw std::runtime_error("the stand-in host did not come up");
        }
    }
    ~THostProcess() {
        if (!Ended()) {
            ::PostMessageW(FWindow, WM_CLOSE, 0, 0);
            PumpUntil([this] { return Ended(); });
            if (!Ended())
                ::TerminateProcess(FProcess, 1);
        }
        ::WaitForSingleObject(FProcess, 10000);
        ::CloseHandle(FProcess);
    }
    THostProcess(const THostProcess&) = delete;
    THostProcess& operator=(const THostProcess&) = delete;

    bool Ended() const { return ::WaitForSingleObject(FProcess, 0) == WAIT_OBJECT_0; }
    void Kill() {
        ::TerminateProcess(FProcess, 9);
        ::WaitForSingleObject(FProcess, 10000);
    }
    /// Stops or resumes every thread of the host, as a hung host stands still.
    void Suspend() { Whole("NtSuspendProcess"); }
    void Resume() { Whole("NtResumeProcess"); }
    void Post(UINT message, WPARAM wParam = 0) { ::PostMessageW(FWindow, message, wParam, 0); }
    std::uint64_t Ask(UINT message) {
        return static_cast<std::uint64_t>(::SendMessageW(FWindow, message, 0, 0));
    }

private:
    void Whole(const char* call) {
        using TCall = LONG(WINAPI*)(HANDLE);
        const auto change = reinterpret_cast<TCall>(
            reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), call)));
        if (!change || change(FProcess) < 0)
            throw std::runtime_error(std::string(call) + " failed on the stand-in host");
    }

    HANDLE FProcess = nullptr;
    HWND FWindow = nullptr;
};

} // namespace comtest
