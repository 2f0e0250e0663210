// The Win32 window's report pane under a long run, side by side in one run
// with an edit control that takes one insertion a line and a naive one that
// reads its whole text back and sets it again for every line: 20,000 lines,
// each followed by the window's pending messages, as a run does. Run on
// Windows or under Wine.
#include "app/win32/PaneEdit.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

namespace {

constexpr int kLines = 20000;
/// The naive pane stops here when it has not finished.
constexpr double kCutoffSeconds = 60;

std::string LineText(int i) {
    return "  Moving. Adding 15 packets to running total - new total is: " + std::to_string(i * 15);
}

void ProcessMessages() {
    MSG message;
    while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&message);
        ::DispatchMessageA(&message);
    }
}

/// How a pane is written: Append for each line, Finish once at the end.
struct TWriter {
    std::function<void(const std::string&)> Append;
    std::function<void()> Finish = [] {};
};

/// Lines per second through the writer made for the pane, and how many lines
/// it took.
std::pair<double, int> Measure(const std::function<TWriter(HWND)>& makeWriter) {
    HINSTANCE instance = ::GetModuleHandleA(nullptr);
    HWND window = ::CreateWindowExA(0, "STATIC", "pane bench", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0,
                                    0, 520, 380, nullptr, nullptr, instance, nullptr);
    HWND pane = ::CreateWindowExA(0, "EDIT", "",
                                  WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_READONLY |
                                      ES_AUTOVSCROLL,
                                  0, 0, 500, 350, window, nullptr, instance, nullptr);
    if (!window || !pane) {
        std::fprintf(stderr, "pane_bench: no window (error %lu)\n", ::GetLastError());
        std::exit(1);
    }
    ::SendMessageA(pane, EM_SETLIMITTEXT, 0, 0);
    ProcessMessages();
    const TWriter writer = makeWriter(pane);
    const auto start = std::chrono::steady_clock::now();
    int lines = 0;
    double seconds = 0;
    while (lines < kLines && seconds < kCutoffSeconds) {
        writer.Append(LineText(lines));
        ProcessMessages();
        ++lines;
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    writer.Finish();
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const int length = ::GetWindowTextLengthA(pane);
    const int expected = static_cast<int>((LineText(lines - 1).size() + 2) * lines) - 2;
    if (length < expected - 2 * lines)
        std::fprintf(stderr, "pane_bench: the pane holds %d bytes, too few\n", length);
    ::DestroyWindow(window);
    return {lines / seconds, lines};
}

} // namespace

int main() {
    const auto [ours, ourLines] = Measure([](HWND pane) {
        const auto buffer = std::make_shared<app::win32::TPaneBuffer>(pane);
        return TWriter{[buffer](const std::string& line) { buffer->Append(line); },
                       [buffer] { buffer->Flush(); }};
    });
    const auto [single, singleLines] = Measure([](HWND pane) {
        return TWriter{[pane](const std::string& line) { app::win32::AppendPaneLine(pane, line); }};
    });
    const auto [naive, naiveLines] = Measure([](HWND pane) {
        return TWriter{[pane](const std::string& line) {
            const int length = ::GetWindowTextLengthA(pane);
            std::string text(static_cast<std::size_t>(length) + 1, '\0');
            ::GetWindowTextA(pane, text.data(), length + 1);
            text.resize(static_cast<std::size_t>(length));
            text += (length > 0 ? "\r\n" : "") + line;
            ::SetWindowTextA(pane, text.c_str());
        }};
    });
    const auto report = [](const char* name, int lines, double rate) {
        std::printf("%-24s %6d lines, %10.0f lines/s%s\n", name, lines, rate,
                    lines < kLines ? " (stopped after 60 s)" : "");
    };
    report("Win32 pane:", ourLines, ours);
    report("one insertion a line:", singleLines, single);
    report("naive edit control:", naiveLines, naive);
    std::printf("ratio: the Win32 pane appends %.0f times as fast as the naive one\n",
                ours / naive);
    return 0;
}
