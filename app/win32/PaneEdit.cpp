#include "app/win32/PaneEdit.h"

#include "support/WideText.h"

namespace app::win32 {

namespace {

void InsertAtEnd(HWND edit, const std::wstring& text) {
    const int end = ::GetWindowTextLengthW(edit);
    ::SendMessageW(edit, EM_SETSEL, end, end);
    ::SendMessageW(edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
}

} // namespace

std::wstring EditText(const std::string& text) {
    const std::wstring wide = support::Wide(text);
    std::wstring out;
    out.reserve(wide.size() + wide.size() / 32);
    for (const wchar_t c : wide) {
        if (c == L'\n')
            out += L'\r';
        out += c == L'\0' ? kNulStandIn : c;
    }
    return out;
}

void AppendPaneLine(HWND edit, const std::string& line) {
    InsertAtEnd(edit, (::GetWindowTextLengthW(edit) > 0 ? L"\r\n" : L"") + EditText(line));
}

void TPaneBuffer::Append(const std::string& line) {
    if (FHasText || !FPending.empty())
        FPending += L"\r\n";
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
    ::SetWindowTextW(FEdit, L"");
}

} // namespace app::win32
