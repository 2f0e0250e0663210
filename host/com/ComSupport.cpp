#include "host/com/ComSupport.h"

#include "host/HostError.h"
#include "support/WideText.h"

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
    return support::Wide(utf8);
}

BSTR ToBstr(std::string_view utf8) {
    const std::wstring wide = ToWide(utf8);
    BSTR text = ::SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    if (!text)
        throw EHostError("Out of memory");
    return text;
}

std::string ToUtf8(BSTR text) {
    return support::Utf8(std::wstring_view(text, ::SysStringLen(text)));
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

THostFailure FailureOf(HRESULT status) {
    switch (static_cast<unsigned long>(status)) {
    case 0x80040154: // REGDB_E_CLASSNOTREG
    case 0x800401F3: // CO_E_CLASSSTRING
    case 0x80070002: // the registered program file is not there
        return THostFailure::NotInstalled;
    case 0x800706BA: // RPC_S_SERVER_UNAVAILABLE
    case 0x800706BE: // RPC_S_CALL_FAILED
    case 0x800706BF: // RPC_S_CALL_FAILED_DNE
    case 0x80010007: // RPC_E_SERVER_DIED
    case 0x80010012: // RPC_E_SERVER_DIED_DNE
    case 0x80010108: // RPC_E_DISCONNECTED
    case 0x800401FD: // CO_E_OBJNOTCONNECTED
        return THostFailure::Gone;
    default:
        return THostFailure::Failed;
    }
}

void ThrowHostError(HRESULT status) {
    throw EHostError(StatusText(status), FailureOf(status));
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
    throw EHostError(description.empty() ? StatusText(status) : description, FailureOf(status));
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
