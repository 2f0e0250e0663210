#include "standin/com/Registration.h"

#include "host/ComSupport.h"
#include "host/HostError.h"
#include "host/UIView32.h" // made by widl from host/UIView32.idl

#include <wrl/client.h>

#include <array>

namespace standin::com {

using host::EHostError;
using Microsoft::WRL::ComPtr;

namespace {

struct TClassEntry {
    const CLSID* clsid;
    const wchar_t* name;
};

constexpr std::array<TClassEntry, 4> kClasses{{{&CLSID_clsUIV, L"UIView32.clsUIV"},
                                               {&CLSID_clsMyInfo, L"UIView32.clsMyInfo"},
                                               {&CLSID_clsStationInfo, L"UIView32.clsStationInfo"},
                                               {&CLSID_clsMapInfo, L"UIView32.clsMapInfo"}}};

std::wstring GuidText(const GUID& guid) {
    wchar_t text[40];
    ::StringFromGUID2(guid, text, 40);
    return text;
}

std::wstring ProgramPath() {
    std::wstring path(MAX_PATH, L'\0');
    const DWORD length =
        ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0 || length >= path.size())
        throw EHostError("Cannot find the stand-in host's program file");
    path.resize(length);
    return path;
}

HKEY Root(TRegistryScope scope) {
    return scope == TRegistryScope::AllUsers ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

const char* RootName(TRegistryScope scope) {
    return scope == TRegistryScope::AllUsers ? "HKEY_LOCAL_MACHINE\\Software\\Classes"
                                             : "HKEY_CURRENT_USER\\Software\\Classes";
}

void SetDefaultValue(HKEY root, const std::wstring& key, const std::wstring& value) {
    HKEY handle = nullptr;
    LSTATUS status =
        ::RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &handle, nullptr);
    if (status == ERROR_SUCCESS) {
        status = ::RegSetValueExW(handle, nullptr, 0, REG_SZ,
                                  reinterpret_cast<const BYTE*>(value.c_str()),
                                  static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
        ::RegCloseKey(handle);
    }
    if (status != ERROR_SUCCESS)
        throw EHostError("Cannot write the registry key " +
                         host::com::StatusText(HRESULT_FROM_WIN32(status)));
}

// The per-user type library functions are in oleaut32 but not in every SDK's
// headers.
template <class F> F OleAutFunction(const char* name) {
    const HMODULE oleaut = ::GetModuleHandleW(L"oleaut32.dll");
    return oleaut ? reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(oleaut, name)))
                  : nullptr;
}

SYSKIND OwnSysKind() {
    return sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;
}

} // namespace

std::string RegisterServer(TRegistryScope scope) {
    const std::wstring path = ProgramPath();
    const HKEY root = Root(scope);
    const std::wstring libid = GuidText(LIBID_UIView32);
    for (const TClassEntry& entry : kClasses) {
        const std::wstring key = L"Software\\Classes\\CLSID\\" + GuidText(*entry.clsid);
        SetDefaultValue(root, key, entry.name);
        SetDefaultValue(root, key + L"\\LocalServer32", L"\"" + path + L"\"");
        SetDefaultValue(root, key + L"\\TypeLib", libid);
    }

    ComPtr<ITypeLib> typeLib;
    HRESULT status = ::LoadTypeLibEx(path.c_str(), REGKIND_NONE, typeLib.GetAddressOf());
    if (SUCCEEDED(status)) {
        using Register = HRESULT(WINAPI*)(ITypeLib*, OLECHAR*, OLECHAR*);
        const auto forUser = OleAutFunction<Register>("RegisterTypeLibForUser");
        auto* file = const_cast<OLECHAR*>(path.c_str());
        status = scope == TRegistryScope::CurrentUser && forUser
                     ? forUser(typeLib.Get(), file, nullptr)
                     : ::RegisterTypeLib(typeLib.Get(), file, nullptr);
    }
    if (FAILED(status))
        throw EHostError("Cannot register the type library: " + host::com::StatusText(status));
    return std::string("Registered the stand-in host's classes and type library under ") +
           RootName(scope);
}

std::string UnregisterServer(TRegistryScope scope) {
    const HKEY root = Root(scope);
    for (const TClassEntry& entry : kClasses) {
        const std::wstring key = L"Software\\Classes\\CLSID\\" + GuidText(*entry.clsid);
        ::RegDeleteTreeW(root, key.c_str()); // absent already is fine
    }
    using Unregister = HRESULT(WINAPI*)(REFGUID, WORD, WORD, LCID, SYSKIND);
    const auto forUser = OleAutFunction<Unregister>("UnRegisterTypeLibForUser");
    if (scope == TRegistryScope::CurrentUser && forUser)
        forUser(LIBID_UIView32, 1, 0, LOCALE_NEUTRAL, OwnSysKind());
    else
        ::UnRegisterTypeLib(LIBID_UIView32, 1, 0, LOCALE_NEUTRAL, OwnSysKind());
    return std::string("Removed the stand-in host's classes and type library from ") +
           RootName(scope);
}

} // namespace standin::com
