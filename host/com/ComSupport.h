#pragma once

#include <windows.h>

#include <oleauto.h>

#include "host/HostError.h"

// Macros of the Windows headers that would rename members of our own
// interfaces (IHostConnector::GetObject, IRunWindow::Yield) in every file that
// sees both.
#undef GetObject
#undef Yield

#include <atomic>
#include <string>
#include <string_view>

/// Small helpers shared by both ends of the COM link (the connector and the
/// stand-in host's server): texts between UTF-8 and COM wide strings, class
/// ids from their registry form, and the texts of failed calls.
namespace host::com {

/// A COM wide string owned for its scope.
class TBstr {
public:
    TBstr() = default;
    /// Makes a wide string of the UTF-8 text (embedded NULs kept).
    explicit TBstr(std::string_view utf8);
    ~TBstr() { ::SysFreeString(FValue); }
    TBstr(const TBstr&) = delete;
    TBstr& operator=(const TBstr&) = delete;

    BSTR Get() const { return FValue; }
    /// For an output argument: frees what is held and hands out the slot.
    BSTR* Out();
    /// Gives up ownership.
    BSTR Detach();

private:
    BSTR FValue = nullptr;
};

/// The wide text as UTF-8, by its length (so embedded NULs survive).
std::string ToUtf8(BSTR text);
/// A COM wide string of the UTF-8 text, owned by the caller.
BSTR ToBstr(std::string_view utf8);
std::wstring ToWide(std::string_view utf8);

/// The class or interface id in registry form "{...}"; throws EHostError when
/// the text is not one.
GUID GuidFromText(std::string_view text);

/// The system's text for the status code (FormatMessage, without the line
/// end), or "Error 0x8XXXXXXX" when the system has none.
std::string StatusText(HRESULT status);

/// What a failed call's status means for the operator: no host installed, the
/// host gone, or a failure the host reported.
THostFailure FailureOf(HRESULT status);

/// Throws EHostError with the system's text for the code.
[[noreturn]] void ThrowHostError(HRESULT status);

/// Throws EHostError for a failed call on the object's interface: the
/// description the object left in the thread's error information (when it
/// says it supports that), or else the system's text for the code.
[[noreturn]] void ThrowHostError(HRESULT status, IUnknown* object, const IID& iid);

/// Throws (as ThrowHostError) when the status of a call on the object's
/// interface is a failure.
inline void Check(HRESULT status, IUnknown* object, const IID& iid) {
    if (FAILED(status))
        ThrowHostError(status, object, iid);
}

/// The reference count of a COM object of ours. It starts at one, for whoever
/// made the object; the last Release ends the object, as COM's lifetime rule
/// has it.
class TRefCount {
public:
    ULONG AddRef() { return ++FRefs; }
    /// Drops a reference; end() ends the object when it was the last.
    template <class TEnd> ULONG Release(TEnd end) {
        const ULONG refs = --FRefs;
        if (refs == 0)
            end();
        return refs;
    }

private:
    std::atomic<ULONG> FRefs{1};
};

/// Joins a single-threaded apartment for the scope (the thread's lifetime in
/// practice); throws EHostError when COM cannot be initialised.
class TApartment {
public:
    TApartment();
    ~TApartment();
    TApartment(const TApartment&) = delete;
    TApartment& operator=(const TApartment&) = delete;
};

} // namespace host::com
