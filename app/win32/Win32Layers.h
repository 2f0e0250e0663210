#pragma once

#include "app/model/TrayRecord.h"
#include "app/model/WindowTimer.h"
#include "support/APRSCache.h"

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

/// The platform layers of the Win32 window: its timers, the tray and the
/// version resource.
namespace app::win32 {

/// A window timer on SetTimer: WM_TIMER with its id reaches the window, which
/// calls Tick.
class TWin32Timer : public TWindowTimer {
public:
    TWin32Timer(HWND window, UINT_PTR id, std::int32_t interval = 1000, bool enabled = false);
    ~TWin32Timer() override;
    TWin32Timer(const TWin32Timer&) = delete;
    TWin32Timer& operator=(const TWin32Timer&) = delete;

    UINT_PTR Id() const { return FId; }
    /// Runs OnTimer (the window calls this for WM_TIMER of this id).
    void Tick();

protected:
    void Restart(bool counting) override;

private:
    HWND FWindow;
    UINT_PTR FId;
};

/// The packet cache's purge timer on a window timer; an error a purge raises
/// goes to the reporter.
class TWin32PurgeTimer : public support::IPurgeTimer {
public:
    TWin32PurgeTimer(TWin32Timer& timer, std::function<void(const std::string&)> reportError);
    void Configure(std::int32_t intervalMs, std::function<void()> onTick) override;
    void SetEnabled(bool enabled) override { FTimer.SetEnabled(enabled); }
    bool Enabled() const override { return FTimer.Enabled(); }
    std::int32_t IntervalMs() const override { return FTimer.Interval(); }

private:
    TWin32Timer& FTimer;
    std::function<void(const std::string&)> FReportError;
};

/// The shell's tray through Shell_NotifyIconA with the record in its first
/// form. The shell's callback messages reach the window, which calls Callback.
class TWin32Tray : public TTrayShell {
public:
    TWin32Tray(HWND window, HICON icon) : FWindow(window), FIcon(icon) {}
    bool Shell_NotifyIconA(std::uint32_t message, const TNotifyIconData& data) override;
    bool IconShown() const override { return FShown; }
    void Callback(std::uint32_t callbackMessage, std::uint32_t mouseMessage) {
        if (OnCallback)
            OnCallback(callbackMessage, mouseMessage);
    }

private:
    HWND FWindow;
    HICON FIcon;
    bool FShown = false;
};

/// The version block of the executable's version resource in the form
/// TVersionInfo reads ("FileVersion=a.b.c.d\nLegalCopyright=...\n"); empty
/// when it has none.
std::string ExecutableVersionBlock();

/// The executable's full path.
std::wstring ExecutablePath();

} // namespace app::win32
