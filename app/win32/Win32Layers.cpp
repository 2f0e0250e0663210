#include "app/win32/Win32Layers.h"

#include "support/WideText.h"

#include <shellapi.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <iterator>
#include <vector>

namespace app::win32 {

TWin32Timer::TWin32Timer(HWND window, UINT_PTR id, std::int32_t interval, bool enabled)
    : TWindowTimer(interval, enabled), FWindow(window), FId(id) {
    Update();
}

TWin32Timer::~TWin32Timer() {
    ::KillTimer(FWindow, FId);
}

void TWin32Timer::Restart(bool counting) {
    ::KillTimer(FWindow, FId);
    if (counting)
        ::SetTimer(FWindow, FId, static_cast<UINT>(Interval()), nullptr);
}

void TWin32Timer::Tick() {
    if (Enabled() && OnTimer)
        OnTimer();
}

TWin32PurgeTimer::TWin32PurgeTimer(TWin32Timer& timer,
                                   std::function<void(const std::string&)> reportError)
    : FTimer(timer), FReportError(std::move(reportError)) {}

void TWin32PurgeTimer::Configure(std::int32_t intervalMs, std::function<void()> onTick) {
    FTimer.SetInterval(intervalMs);
    FTimer.OnTimer = [this, onTick = std::move(onTick)] {
        if (!onTick)
            return;
        // An error must not leave the window procedure.
        try {
            onTick();
        } catch (const std::exception& error) {
            if (FReportError)
                FReportError(error.what());
        }
    };
}

bool TWin32Tray::Shell_NotifyIconA(std::uint32_t message, const TNotifyIconData& data) {
    NOTIFYICONDATAW record{};
    // The record in its first form, which every Windows takes.
    record.cbSize = NOTIFYICONDATAW_V1_SIZE;
    record.hWnd = FWindow;
    record.uID = data.uID;
    record.uFlags = data.uFlags;
    record.uCallbackMessage = data.uCallbackMessage;
    record.hIcon = FIcon;
    const std::wstring tip =
        support::Wide(std::string_view(data.szTip, ::strnlen(data.szTip, sizeof data.szTip)));
    const std::size_t length = std::min(tip.size(), std::size(record.szTip) - 1);
    std::copy_n(tip.begin(), length, record.szTip);
    record.szTip[length] = L'\0';
    const bool done = ::Shell_NotifyIconW(message, &record) != FALSE;
    if (done && message == NIM_ADD)
        FShown = true;
    if (message == NIM_DELETE)
        FShown = false;
    return done;
}

std::wstring ExecutablePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n < path.size())
            return path.substr(0, n);
        path.resize(path.size() * 2);
    }
}

std::string ExecutableVersionBlock() {
    const std::wstring exe = ExecutablePath();
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(exe.c_str(), &ignored);
    if (size == 0)
        return {};
    std::vector<char> data(size);
    if (!::GetFileVersionInfoW(exe.c_str(), 0, size, data.data()))
        return {};
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (!::VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) ||
        !fixed || length < sizeof(VS_FIXEDFILEINFO))
        return {};
    std::string block = "FileVersion=" + std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." +
                        std::to_string(LOWORD(fixed->dwFileVersionMS)) + "." +
                        std::to_string(HIWORD(fixed->dwFileVersionLS)) + "." +
                        std::to_string(LOWORD(fixed->dwFileVersionLS)) + "\n";
    // The notice of the first language the resource has.
    struct TTranslation {
        WORD Language, CodePage;
    };
    TTranslation* translation = nullptr;
    if (::VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation",
                         reinterpret_cast<void**>(&translation), &length) &&
        translation && length >= sizeof(TTranslation)) {
        wchar_t query[64];
        std::swprintf(query, std::size(query), L"\\StringFileInfo\\%04x%04x\\LegalCopyright",
                      translation->Language, translation->CodePage);
        wchar_t* notice = nullptr;
        if (::VerQueryValueW(data.data(), query, reinterpret_cast<void**>(&notice), &length) &&
            notice)
            block += "LegalCopyright=" + support::Utf8(notice) + "\n";
    }
    return block;
}

} // namespace app::win32
