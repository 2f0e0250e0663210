#include "host/ComSupport.h"

#include "host/HostError.h"

#include <cstdio>

namespace host::com {

TBstr::TBstr(std::string_view utf8) : FValue(ToBstr(utf8)) {}

BSTR* TBstr::Out() {
    ::SysFreeString(FValue);
    FValue = nullptr;
    return &FValue;
}

BSTR TBstr::Detach() {
    BSTR value = FValue;
    FValue = nullptr;
    return value;
}

std::wstring ToWide(std::string_view utf8) {
    if (utf8.empty())
        return {};
    const int length =
        ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(),
                          length);
    return wide;
}

BSTR ToBstr(std::string_view utf8) {
    const std::wstring wide = ToWide(utf8);
    BSTR text = ::SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    if (!text)
        throw EHostError("Out of memory");
    return text;
}

std::string ToUtf8(BSTR text) {
    const int wideLength = static_cast<int>(::SysStringLen(text));
    if (wideLength == 0)
        return {};
    const int length =
        ::WideCharToMultiByte(CP_UTF8, 0, text, wideLength, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(length), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text, wideLength, utf8.data(), length, nullptr, nullptr);
    return utf8;
}

GUID GuidFromText(std::string_view text) {
    GUID guid{};
    const std::wstring wide = ToWide(text);
    if (FAILED(::CLSIDFromString(wide.c_str(), &guid)))
        throw EHostError("Not a class id: " + std::string(text));
    return guid;
}

namespace {

std::string SystemMessage(DWORD code) {
    wchar_t* buffer = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::string text;
    if (length > 0 && buffer) {
        BSTR wide = ::SysAllocStringLen(buffer, length);
        text = ToUtf8(wide);
        ::SysFreeString(wide);
    }
    ::LocalFree(buffer);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    return text;
}

// The texts Windows gives for the codes a host link meets most, for systems
// whose message table lacks them (Wine has none for most COM codes).
struct TKnownStatus {
    HRESULT status;
    const char* text;
};
constexpr TKnownStatus kKnownStatuses[] = {
    {static_cast<HRESULT>(0x80040154), "Class not registered"},
    {static_cast<HRESULT>(0x80080005), "Server execution failed"},
    {static_cast<HRESULT>(0x80004002), "No such interface supported"},
    {static_cast<HRESULT>(0x80004005), "Unspecified error"},
    {static_cast<HRESULT>(0x800401E3), "Operation unavailable"},
    {static_cast<HRESULT>(0x80010108), "The object invoked has disconnected from its clients."},
    {static_cast<HRESULT>(0x80010114), "The requested object does not exist."},
};

} // namespace

std::string StatusText(HRESULT status) {
    std::string text = SystemMessage(static_cast<DWORD>(status));
    if (text.empty() && HRESULT_FACILITY(status) == FACILITY_WIN32)
        text = SystemMessage(static_cast<DWORD>(HRESULT_CODE(status)));
    for (const TKnownStatus& known : kKnownStatuses) {
        if (text.empty() && known.status == status)
            text = known.text;
    }
    if (text.empty()) {
        char code[32];
        std::snprintf(code, sizeof code, "Error 0x%08lX", static_cast<unsigned long>(status));
        text = code;
    }
    return text;
}

void ThrowHostError(HRESULT status) {
    throw EHostError(StatusText(status));
}

void ThrowHostError(HRESULT status, IUnknown* object, const IID& iid) {
    // Taken first: asking the object whether it leaves error information is a
    // call of its own, and may replace the thread's.
    IErrorInfo* info = nullptr;
    if (::GetErrorInfo(0, &info) != S_OK)
        info = nullptr;
    // Only an object that says it leaves error information has left this
    // call's; anything else in the thread's slot belongs to an earlier call.
    std::string description;
    ISupportErrorInfo* support = nullptr;
    if (info && object &&
        SUCCEEDED(
            object->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(&support)))) {
        const bool supported = support->InterfaceSupportsErrorInfo(iid) == S_OK;
        support->Release();
        BSTR text = nullptr;
        if (supported && SUCCEEDED(info->GetDescription(&text)) && text)
            description = ToUtf8(text);
        ::SysFreeString(text);
    }
    if (info)
        info->Release();
    throw EHostError(description.empty() ? StatusText(status) : description);
}

TApartment::TApartment() {
    const HRESULT status = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(status))
        throw EHostError(StatusText(status));
}

TApartment::~TApartment() {
    ::CoUninitialize();
}

} // namespace host::com
