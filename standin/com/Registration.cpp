#include "standin/com/Registration.h"

#include "host/HostError.h"
#include "host/com/ComSupport.h"
#include "host/com/UIView32.h" // made by widl from host/com/UIView32.idl

#include <wrl/client.h>

#include <array>
#include <cwchar>
#include <optional>
#include <vector>

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

/// The default value of the key, when the key has one.
std::optional<std::wstring> DefaultValue(HKEY root, const std::wstring& key) {
    std::wstring value(1024, L'\0');
    DWORD size = static_cast<DWORD>(value.size() * sizeof(wchar_t));
    if (::RegGetValueW(root, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, value.data(), &size) !=
        ERROR_SUCCESS)
        return std::nullopt;
    value.resize(::wcsnlen(value.c_str(), value.size()));
    return value;
}

/// Whether a registered command line ("\"C:\\...\\x.exe\" /args" or a bare
/// path) starts this program.
bool SameProgram(std::wstring command, const std::wstring& path) {
    if (!command.empty() && command.front() == L'"') {
        const std::size_t end = command.find(L'"', 1);
        command = command.substr(1, end == std::wstring::npos ? std::wstring::npos : end - 1);
    }
    return ::CompareStringOrdinal(command.c_str(), static_cast<int>(command.size()), path.c_str(),
                                  static_cast<int>(path.size()), TRUE) == CSTR_EQUAL;
}

SYSKIND OwnSysKind() {
    return sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;
}

/// The registry view of the other bitness (the 32-bit view for a 64-bit
/// program and the other way round), or 0 where Windows has only one.
REGSAM OtherView() {
    if (sizeof(void*) == 8)
        return KEY_WOW64_32KEY;
    BOOL wow64 = FALSE;
    return ::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64 ? KEY_WOW64_64KEY : 0;
}

void SetValue(HKEY root, REGSAM view, const std::wstring& key, const wchar_t* name,
              const std::wstring& value) {
    HKEY handle = nullptr;
    LSTATUS status = ::RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_WRITE | view, nullptr,
                                       &handle, nullptr);
    if (status == ERROR_SUCCESS) {
        status =
            ::RegSetValueExW(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                             static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
        ::RegCloseKey(handle);
    }
    if (status != ERROR_SUCCESS)
        throw EHostError("Cannot write the registry key " +
                         host::com::StatusText(HRESULT_FROM_WIN32(status)));
}

void DeleteTree(HKEY root, REGSAM view, const std::wstring& key) {
    HKEY handle = nullptr;
    if (::RegOpenKeyExW(root, key.c_str(), 0, KEY_ALL_ACCESS | view, &handle) != ERROR_SUCCESS)
        return;
    ::RegDeleteTreeW(handle, nullptr);
    ::RegCloseKey(handle);
    ::RegDeleteKeyExW(root, key.c_str(), view, 0);
}

/// The interfaces of the type library that a client's marshaler looks up:
/// each with its name and its proxy (the type library marshaler for dual and
/// automation interfaces, the dispatch proxy for pure dispatch interfaces).
struct TInterfaceEntry {
    std::wstring iid, name, proxy;
};

std::vector<TInterfaceEntry> Interfaces(ITypeLib* typeLib) {
    std::vector<TInterfaceEntry> entries;
    for (UINT i = 0; i < typeLib->GetTypeInfoCount(); ++i) {
        ComPtr<ITypeInfo> info;
        TYPEATTR* attr = nullptr;
        if (FAILED(typeLib->GetTypeInfo(i, info.GetAddressOf())) ||
            FAILED(info->GetTypeAttr(&attr)))
            continue;
        const bool dual = attr->wTypeFlags & (TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION);
        if (attr->typekind == TKIND_DISPATCH || (attr->typekind == TKIND_INTERFACE && dual)) {
            BSTR name = nullptr;
            info->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr);
            entries.push_back({GuidText(attr->guid), name ? name : L"",
                               dual ? L"{00020424-0000-0000-C000-000000000046}"
                                    : L"{00020420-0000-0000-C000-000000000046}"});
            ::SysFreeString(name);
        }
        info->ReleaseTypeAttr(attr);
    }
    return entries;
}

std::wstring TypeLibKey(const wchar_t* sysKind) {
    return L"Software\\Classes\\TypeLib\\" + GuidText(LIBID_UIView32) + L"\\1.0\\0\\" + sysKind;
}

const wchar_t* OtherSysKindName() {
    return sizeof(void*) == 8 ? L"win32" : L"win64";
}

/// The file of the type library registered in the other view, if any.
std::optional<std::wstring> OtherViewLibrary(HKEY root, REGSAM view) {
    HKEY handle = nullptr;
    if (::RegOpenKeyExW(root, TypeLibKey(OtherSysKindName()).c_str(), 0, KEY_READ | view,
                        &handle) != ERROR_SUCCESS)
        return std::nullopt;
    std::optional<std::wstring> library = DefaultValue(handle, L"");
    ::RegCloseKey(handle);
    return library;
}

/// Registers the interfaces and the type library in the other bitness's
/// registry view as well, so that a Velloran of either bitness reaches this
/// stand-in host: each looks the interfaces up in its own view.
void RegisterForOtherBitness(HKEY root, ITypeLib* typeLib, const std::wstring& path) {
    const REGSAM view = OtherView();
    if (view == 0)
        return;
    // A type library of the other bitness registered by another program is
    // the real host's: left as it is.
    if (const auto library = OtherViewLibrary(root, view); library && !SameProgram(*library, path))
        return;
    const std::wstring libid = GuidText(LIBID_UIView32);
    for (const TInterfaceEntry& entry : Interfaces(typeLib)) {
        const std::wstring key = L"Software\\Classes\\Interface\\" + entry.iid;
        SetValue(root, view, key, nullptr, entry.name);
        SetValue(root, view, key + L"\\ProxyStubClsid32", nullptr, entry.proxy);
        SetValue(root, view, key + L"\\ProxyStubClsid", nullptr, entry.proxy);
        SetValue(root, view, key + L"\\TypeLib", nullptr, libid);
        SetValue(root, view, key + L"\\TypeLib", L"Version", L"1.0");
    }
    SetValue(root, view, L"Software\\Classes\\TypeLib\\" + libid + L"\\1.0", nullptr, L"UIView32");
    SetValue(root, view, L"Software\\Classes\\TypeLib\\" + libid + L"\\1.0\\FLAGS", nullptr, L"0");
    SetValue(root, view, TypeLibKey(OtherSysKindName()), nullptr, path);
}

/// Removes the type library's version key (its name and FLAGS) and then its
/// id's key, once no library of any platform is registered under it: what is
/// left after this program's library went. A version that still names a
/// library (the real host's, or this program's other bitness) stays whole.
void RemoveEmptyTypeLib(HKEY root, REGSAM view) {
    const std::wstring idKey = L"Software\\Classes\\TypeLib\\" + GuidText(LIBID_UIView32);
    const std::wstring versionKey = idKey + L"\\1.0";
    HKEY handle = nullptr;
    if (::RegOpenKeyExW(root, versionKey.c_str(), 0, KEY_READ | view, &handle) != ERROR_SUCCESS)
        return;
    bool namesALibrary = false;
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = 256;
        if (::RegEnumKeyExW(handle, i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        // Besides FLAGS and HELPDIR, each subkey is a locale: it names a
        // library when it holds a platform's key (win32, win64).
        if (::lstrcmpiW(name, L"FLAGS") == 0 || ::lstrcmpiW(name, L"HELPDIR") == 0)
            continue;
        HKEY locale = nullptr;
        DWORD platforms = 1; // unreadable: counted as naming one
        if (::RegOpenKeyExW(handle, name, 0, KEY_READ | view, &locale) == ERROR_SUCCESS) {
            ::RegQueryInfoKeyW(locale, nullptr, nullptr, nullptr, &platforms, nullptr, nullptr,
                               nullptr, nullptr, nullptr, nullptr, nullptr);
            ::RegCloseKey(locale);
        }
        namesALibrary = namesALibrary || platforms > 0;
    }
    ::RegCloseKey(handle);
    if (namesALibrary)
        return;
    DeleteTree(root, view, versionKey);
    // The id's key goes when no other version is left in it.
    if (::RegOpenKeyExW(root, idKey.c_str(), 0, KEY_READ | view, &handle) != ERROR_SUCCESS)
        return;
    DWORD subkeys = 0;
    const bool empty =
        ::RegQueryInfoKeyW(handle, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr,
                           nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
        subkeys == 0;
    ::RegCloseKey(handle);
    if (empty)
        ::RegDeleteKeyExW(root, idKey.c_str(), view, 0);
}

/// Removes what RegisterForOtherBitness wrote, when it still names this
/// program.
void UnregisterForOtherBitness(HKEY root, ITypeLib* typeLib, const std::wstring& path) {
    const REGSAM view = OtherView();
    if (view == 0)
        return;
    const std::optional<std::wstring> library = OtherViewLibrary(root, view);
    if (!library || !SameProgram(*library, path))
        return;
    for (const TInterfaceEntry& entry : Interfaces(typeLib))
        DeleteTree(root, view, L"Software\\Classes\\Interface\\" + entry.iid);
    DeleteTree(root, view, TypeLibKey(OtherSysKindName()));
    RemoveEmptyTypeLib(root, view);
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
    RegisterForOtherBitness(root, typeLib.Get(), path);
    return std::string("Registered the stand-in host's classes and type library under ") +
           RootName(scope);
}

std::string UnregisterServer(TRegistryScope scope) {
    // The classes and the type library are the real host's too: only what
    // names this program is removed, so that the real host's registration
    // stays whatever else is registered.
    const std::wstring path = ProgramPath();
    const HKEY root = Root(scope);
    int removed = 0, others = 0;
    for (const TClassEntry& entry : kClasses) {
        const std::wstring key = L"Software\\Classes\\CLSID\\" + GuidText(*entry.clsid);
        const std::optional<std::wstring> server = DefaultValue(root, key + L"\\LocalServer32");
        if (!server)
            continue; // absent already is fine
        if (!SameProgram(*server, path)) {
            ++others;
            continue;
        }
        ::RegDeleteTreeW(root, key.c_str());
        ++removed;
    }
    const std::wstring libraryKey = L"Software\\Classes\\TypeLib\\" + GuidText(LIBID_UIView32) +
                                    L"\\1.0\\0\\" +
                                    (OwnSysKind() == SYS_WIN64 ? L"win64" : L"win32");
    const std::optional<std::wstring> library = DefaultValue(root, libraryKey);
    ComPtr<ITypeLib> typeLib;
    if (SUCCEEDED(::LoadTypeLibEx(path.c_str(), REGKIND_NONE, typeLib.GetAddressOf())))
        UnregisterForOtherBitness(root, typeLib.Get(), path);
    if (library && SameProgram(*library, path)) {
        using Unregister = HRESULT(WINAPI*)(REFGUID, WORD, WORD, LCID, SYSKIND);
        const auto forUser = OleAutFunction<Unregister>("UnRegisterTypeLibForUser");
        if (scope == TRegistryScope::CurrentUser && forUser)
            forUser(LIBID_UIView32, 1, 0, LOCALE_NEUTRAL, OwnSysKind());
        else
            ::UnRegisterTypeLib(LIBID_UIView32, 1, 0, LOCALE_NEUTRAL, OwnSysKind());
        // What the unregistration leaves of the library's keys (Wine leaves
        // its version key).
        RemoveEmptyTypeLib(root, 0);
    }
    std::string result = "Removed " + std::to_string(removed) + " of the stand-in host's classes" +
                         (library && SameProgram(*library, path) ? " and its type library" : "") +
                         " from " + RootName(scope);
    if (others > 0)
        result += "; left " + std::to_string(others) + " registered to another program";
    return result;
}

} // namespace standin::com
