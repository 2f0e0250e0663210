#include "app/win32/PaneEdit.h"

namespace app::win32 {

namespace {

void InsertAtEnd(HWND edit, const std::string& text) {
    const int end = ::GetWindowTextLengthA(edit);
    ::SendMessageA(edit, EM_SETSEL, end, end);
    ::SendMessageA(edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
}

} // namespace

std::string EditText(const std::string& text) {
    std::string out;
    out.reserve(text.size() + text.size() / 32);
    for (const char c : text) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}

void AppendPaneLine(HWND edit, const std::string& line) {
    InsertAtEnd(edit, (::GetWindowTextLengthA(edit) > 0 ? "\r\n" : "") + EditText(line));
}

void TPaneBuffer::Append(const std::string& line) {
    if (FHasText || !FPending.empty())
        FPending += "\r\n";
    FPending += EditText(line);
    if (Clock::now() >= FNext)
        Flush();
}

void TPaneBuffer::Flush() {
    if (FPending.empty())
        return;
    const Clock::time_point start = Clock::now();
    InsertAtEnd(FEdit, FPending);
    FPending.clear();
    FHasText = true;
    const Clock::time_point end = Clock::now();
    FNext = end + 10 * (end - start);
}

void TPaneBuffer::Clear() {
    FPending.clear();
    FHasText = false;
    FNext = {};
    ::SetWindowTextA(FEdit, "");
}

} // namespace app::win32
