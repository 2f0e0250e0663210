// Saves a picture of a top-level window as PNG, for the documentation:
//   velloran-window-snapshot.exe WINDOW_CLASS FILE.png [WAIT_SECONDS]
// It waits for the window (up to WAIT_SECONDS, default 30), then copies what
// the window's menu bar and client area show on the screen and writes it as
// PNG.
#include <windows.h>

#include "support/win32/PngFileWin32.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

std::wstring Wide(const std::string& text) {
    const int n = ::MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(std::max(n, 1)), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(), n);
    wide.resize(wide.size() - 1);
    return wide;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr,
                     "usage: velloran-window-snapshot WINDOW_CLASS FILE.png [WAIT_SECONDS]\n");
        return 2;
    }
    const int wait = argc > 3 ? std::atoi(argv[3]) : 30;
    HWND window = nullptr;
    for (int i = 0; i < wait * 10 && !window; ++i) {
        window = ::FindWindowA(argv[1], nullptr);
        if (!window)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    if (!window) {
        std::fprintf(stderr, "velloran-window-snapshot: no window of class %s\n", argv[1]);
        return 1;
    }
    ::SetForegroundWindow(window);
    ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    // The client area and the menu bar: without a window manager the frame
    // and caption are not drawn, and what lies behind would show there.
    RECT r{};
    ::GetClientRect(window, &r);
    ::MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&r), 2);
    MENUBARINFO menu{};
    menu.cbSize = sizeof menu;
    if (::GetMenu(window)) {
        const bool known =
            ::GetMenuBarInfo(window, OBJID_MENU, 0, &menu) && menu.rcBar.bottom > menu.rcBar.top;
        r.top -= known ? r.top - menu.rcBar.top : ::GetSystemMetrics(SM_CYMENU);
    }
    const int width = r.right - r.left, height = r.bottom - r.top;

    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = ::SelectObject(memory, bitmap);
    ::BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
    ::SelectObject(memory, old);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);

    bool ok = false;
    if (SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        try {
            support::WritePngFile(Wide(argv[2]), static_cast<unsigned>(width),
                                  static_cast<unsigned>(height), static_cast<std::uint32_t*>(bits));
            ok = true;
        } catch (const std::exception& error) {
            std::fprintf(stderr, "velloran-window-snapshot: %s\n", error.what());
        }
        ::CoUninitialize();
    }
    ::DeleteObject(bitmap);
    return ok ? 0 : 1;
}
