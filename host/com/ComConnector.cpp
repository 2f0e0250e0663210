#include "host/com/ComConnector.h"

#include "host/com/ComCallThread.h"
#include "host/com/ComSupport.h"
#include "host/com/UIView32.h" // made by widl from host/com/UIView32.idl

#include <ocidl.h>
#include <wrl/client.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <type_traits>
#include <vector>

namespace host {

using com::Check;
using com::TBstr;
using com::ToUtf8;
using Microsoft::WRL::ComPtr;

namespace {

using com::TComLink;

// The interface of one host object, touched only on the link's call thread.
// After the host has been attached afresh it is made again (where it can be)
// before its next use.
template <class Intf> struct TSlot {
    ComPtr<Intf> Held;
    std::uint64_t Generation = 0;
    std::function<ComPtr<Intf>()> Remake; // empty: the object is not made again
    std::function<void(Intf*)> Remade;    // runs after it has been made again

    Intf* Current(std::uint64_t generation) {
        if (generation > Generation && Remake) {
            Held = Remake();
            if (Remade)
                Remade(Held.Get());
        }
        Generation = std::max(Generation, generation);
        return Held.Get();
    }
};

// Holds one interface of a host object; every call is made on the link's
// call thread, and every failing call raises the host's error for that
// interface.
template <class Intf> class TComHeld {
public:
    using TRemake = std::function<ComPtr<Intf>()>;

    TComHeld(std::shared_ptr<TComLink> link, ComPtr<Intf> intf, TRemake remake)
        : FLink(std::move(link)), FSlot(std::make_shared<TSlot<Intf>>()) {
        FSlot->Held = std::move(intf);
        FSlot->Generation = FLink->Generation();
        FSlot->Remake = std::move(remake);
    }
    ~TComHeld() {
        FLink->Later([slot = FSlot] {
            slot->Held.Reset();
            slot->Remake = nullptr;
            slot->Remade = nullptr;
        });
    }
    TComHeld(const TComHeld&) = delete;
    TComHeld& operator=(const TComHeld&) = delete;

    const std::shared_ptr<TSlot<Intf>>& Slot() const { return FSlot; }
    const std::shared_ptr<TComLink>& Link() const { return FLink; }

protected:
    // op runs on the call thread with the object's current interface.
    template <class R> R Do(const char* method, std::function<R(Intf*)> op) {
        return FLink->Call<R>(method,
                              [slot = FSlot, count = FLink->GenerationCount(), op = std::move(op)] {
                                  return op(slot->Current(count->load()));
                              });
    }
    void Do(const char* method, std::function<void(Intf*)> op) {
        FLink->Call(method, [slot = FSlot, count = FLink->GenerationCount(), op = std::move(op)] {
            op(slot->Current(count->load()));
        });
    }
    static void Check(HRESULT status, Intf* intf) { com::Check(status, intf, __uuidof(Intf)); }
    std::string Text(const char* method, HRESULT (STDMETHODCALLTYPE Intf::*get)(BSTR*)) {
        return Do<std::string>(method, [get](Intf* intf) {
            TBstr text;
            Check((intf->*get)(text.Out()), intf);
            return ToUtf8(text.Get());
        });
    }
    float Single(const char* method, HRESULT (STDMETHODCALLTYPE Intf::*get)(float*)) {
        return Do<float>(method, [get](Intf* intf) {
            float value = 0;
            Check((intf->*get)(&value), intf);
            return value;
        });
    }

    std::shared_ptr<TComLink> FLink;
    std::shared_ptr<TSlot<Intf>> FSlot;
};

class TComStationInfo : public _clsStationInfo, public TComHeld<::_clsStationInfo> {
public:
    using TComHeld::TComHeld;
    std::string GetCallsign() override {
        return Text("GetCallsign", &::_clsStationInfo::GetCallsign);
    }
    void SetCallsign(std::string callsign) override {
        Do("SetCallsign", [callsign = std::move(callsign)](::_clsStationInfo* intf) {
            const TBstr text(callsign);
            Check(intf->SetCallsign(text.Get()), intf);
        });
    }
    std::string GetSymbolCode() override {
        return Text("GetSymbolCode", &::_clsStationInfo::GetSymbolCode);
    }
    std::string GetSymbolTable() override {
        return Text("GetSymbolTable", &::_clsStationInfo::GetSymbolTable);
    }
    std::string GetPath() override { return Text("GetPath", &::_clsStationInfo::GetPath); }
    std::string GetLastHeardRF() override {
        return Text("GetLastHeardRF", &::_clsStationInfo::GetLastHeardRF);
    }
    std::string GetLastHeardInternet() override {
        return Text("GetLastHeardInternet", &::_clsStationInfo::GetLastHeardInternet);
    }
    float GetLong() override { return Single("GetLong", &::_clsStationInfo::GetLong); }
    float GetLat() override { return Single("GetLat", &::_clsStationInfo::GetLat); }
    float GetSpeed() override { return Single("GetSpeed", &::_clsStationInfo::GetSpeed); }
    float GetDistance() override { return Single("GetDistance", &::_clsStationInfo::GetDistance); }
    std::int16_t GetThirdParty() override {
        return Do<std::int16_t>("GetThirdParty", [](::_clsStationInfo* intf) {
            short value = 0;
            Check(intf->GetThirdParty(&value), intf);
            return static_cast<std::int16_t>(value);
        });
    }
};

class TComMyInfo : public _clsMyInfo, public TComHeld<::_clsMyInfo> {
public:
    using TComHeld::TComHeld;
    float GetLong() override { return Single("GetLong", &::_clsMyInfo::GetLong); }
    float GetLat() override { return Single("GetLat", &::_clsMyInfo::GetLat); }
    std::string GetCallsign() override { return Text("GetCallsign", &::_clsMyInfo::GetCallsign); }
};

class TComMapInfo : public _clsMapInfo, public TComHeld<::_clsMapInfo> {
public:
    using TComHeld::TComHeld;
};

// One optional argument of DrawMapText as a VARIANT; an absent one is the
// "parameter not found" error value, as automation passes omitted arguments.
class TVariantArg {
public:
    explicit TVariantArg(const OleVariant& value) {
        ::VariantInit(&FValue);
        if (const bool* b = std::get_if<bool>(&value)) {
            FValue.vt = VT_BOOL;
            FValue.boolVal = *b ? VARIANT_TRUE : VARIANT_FALSE;
        } else if (const std::int32_t* i = std::get_if<std::int32_t>(&value)) {
            FValue.vt = VT_I4;
            FValue.lVal = *i;
        } else if (const std::string* s = std::get_if<std::string>(&value)) {
            FValue.vt = VT_BSTR;
            FValue.bstrVal = com::ToBstr(*s);
        } else {
            FValue.vt = VT_ERROR;
            FValue.scode = DISP_E_PARAMNOTFOUND;
        }
    }
    ~TVariantArg() { ::VariantClear(&FValue); }
    TVariantArg(const TVariantArg&) = delete;
    TVariantArg& operator=(const TVariantArg&) = delete;
    VARIANT* Get() { return &FValue; }

private:
    VARIANT FValue;
};

// Map calls take their arguments by reference: each gets a copy, so that a
// host writing to them changes nothing of the caller's.
class TComMap : public _clsUIVMap, public TComHeld<::_clsUIVMap> {
public:
    using TComHeld::TComHeld;
    void DrawCircle(float x, float y, float radius, std::uint32_t colour, float startAngle,
                    double endAngle, float aspect) override {
        Do("DrawCircle", [=](::_clsUIVMap* intf) mutable {
            LONG colourArg = static_cast<LONG>(colour);
            Check(intf->DrawCircle(&x, &y, &radius, &colourArg, &startAngle, &endAngle, &aspect),
                  intf);
        });
    }
    void DrawMapText(const std::string& text, float x, float y, std::uint32_t colour,
                     const std::array<OleVariant, 6>& variants) override {
        Do("DrawMapText", [=](::_clsUIVMap* intf) mutable {
            TBstr textArg(text);
            BSTR textRef = textArg.Detach();
            LONG colourArg = static_cast<LONG>(colour);
            TVariantArg v1(variants[0]), v2(variants[1]), v3(variants[2]), v4(variants[3]),
                v5(variants[4]), v6(variants[5]);
            const HRESULT status =
                intf->DrawMapText(&textRef, &x, &y, &colourArg, v1.Get(), v2.Get(), v3.Get(),
                                  v4.Get(), v5.Get(), v6.Get());
            ::SysFreeString(textRef); // the host may have replaced it; ours either way
            Check(status, intf);
        });
    }
    float GetTextX() override { return Single("GetTextX", &::_clsUIVMap::GetTextX); }
    float GetTextY() override { return Single("GetTextY", &::_clsUIVMap::GetTextY); }
    void SetDrawSettingA(std::int32_t value) override {
        Set("SetDrawSettingA", &::_clsUIVMap::SetDrawSettingA, value);
    }
    void SetDrawSettingB(std::int32_t value) override {
        Set("SetDrawSettingB", &::_clsUIVMap::SetDrawSettingB, value);
    }
    void SetDrawColour(std::int32_t value) override {
        Set("SetDrawColour", &::_clsUIVMap::SetDrawColour, value);
    }

private:
    void Set(const char* method, HRESULT (STDMETHODCALLTYPE ::_clsUIVMap::*set)(LONG*),
             std::int32_t value) {
        Do(method, [set, value](::_clsUIVMap* intf) {
            LONG arg = value;
            Check((intf->*set)(&arg), intf);
        });
    }
};

ComPtr<IUnknown> Create(const CLSID& clsid, TConnectKind kind);

// The running object of the class, or one made as the kind says.
ComPtr<IUnknown> Activate(const CLSID& clsid, TConnectKind kind) {
    ComPtr<IUnknown> object;
    if (kind == TConnectKind::ckRunningOrNew || kind == TConnectKind::ckRunningInstance) {
        const HRESULT status = ::GetActiveObject(clsid, nullptr, object.GetAddressOf());
        if (SUCCEEDED(status) && object)
            return object;
        if (kind == TConnectKind::ckRunningInstance)
            com::ThrowHostError(status);
    }
    return Create(clsid, kind);
}

template <class Intf> ComPtr<Intf> Ask(const ComPtr<IUnknown>& object) {
    ComPtr<Intf> intf;
    if (object)
        object.As(&intf);
    return intf;
}

// Makes an object of the class again on a host attached afresh.
template <class Intf> std::function<ComPtr<Intf>()> RemakeOf(Guid classId, TConnectKind kind) {
    return [classId, kind] {
        const ComPtr<Intf> intf = Ask<Intf>(Activate(com::GuidFromText(classId), kind));
        if (!intf)
            throw EHostError("Interface not supported");
        return intf;
    };
}

class TComApplication : public _clsUIV, public TComHeld<::_clsUIV> {
public:
    using TComHeld::TComHeld;

    std::int16_t GetStationInfo(std::shared_ptr<_clsStationInfo>& info) override {
        auto [result, replacement] = Exchange<TComStationInfo, ::_clsStationInfo>(
            info, "GetStationInfo", [](::_clsUIV* app, ::_clsStationInfo** held, short* result) {
                return app->GetStationInfo(held, result);
            });
        if (replacement)
            info = std::make_shared<TComStationInfo>(
                FLink, std::move(replacement),
                RemakeOf<::_clsStationInfo>(CLASS_clsStationInfo, TConnectKind::ckRunningOrNew));
        return result;
    }
    void RefreshMap() override {
        Do("RefreshMap", [](::_clsUIV* intf) { Check(intf->RefreshMap(), intf); });
    }
    std::shared_ptr<_clsUIVMap> GetMap() override {
        ComPtr<::_clsUIVMap> map = Do<ComPtr<::_clsUIVMap>>("GetMap", [](::_clsUIV* intf) {
            ComPtr<::_clsUIVMap> got;
            Check(intf->GetMap(got.GetAddressOf()), intf);
            return got;
        });
        if (!map)
            throw EHostError("GetMap: the host handed out no map");
        // A map of an earlier host is not made again: each drawing asks anew.
        return std::make_shared<TComMap>(FLink, std::move(map), nullptr);
    }
    std::int16_t GetStationCount() override {
        return Do<std::int16_t>("GetStationCount", [](::_clsUIV* intf) {
            short count = 0;
            Check(intf->GetStationCount(&count), intf);
            return static_cast<std::int16_t>(count);
        });
    }
    std::string GetStationListEntry(std::int16_t& index) override {
        auto [entry, after] = Do<std::pair<std::string, std::int16_t>>(
            "GetStationListEntry", [index](::_clsUIV* intf) {
                short in = index;
                TBstr text;
                Check(intf->GetStationListEntry(&in, text.Out()), intf);
                return std::make_pair(ToUtf8(text.Get()), static_cast<std::int16_t>(in));
            });
        index = after;
        return entry;
    }
    void GetMyInfo(std::shared_ptr<_clsMyInfo>& info) override {
        auto [result, replacement] = Exchange<TComMyInfo, ::_clsMyInfo>(
            info, "GetMyInfo",
            [](::_clsUIV* app, ::_clsMyInfo** held, short*) { return app->GetMyInfo(held); });
        (void)result;
        if (replacement)
            info = std::make_shared<TComMyInfo>(
                FLink, std::move(replacement),
                RemakeOf<::_clsMyInfo>(CLASS_clsMyInfo, TConnectKind::ckRunningOrNew));
    }

private:
    // Hands an in-out object argument to the host and takes back what it
    // holds afterwards: the same object, or a replacement (given back) the
    // caller reads from next.
    template <class Wrapper, class TIntf, class Core, class Operation>
    std::pair<short, ComPtr<TIntf>> Exchange(std::shared_ptr<Core>& object, const char* method,
                                             Operation operation) {
        auto* ours = dynamic_cast<Wrapper*>(object.get());
        if (!ours)
            throw EHostError(std::string(method) + ": the object is not one of this host's");
        return Do<std::pair<short, ComPtr<TIntf>>>(
            method,
            [argument = ours->Slot(), count = FLink->GenerationCount(), operation](::_clsUIV* app) {
                TIntf* passed = argument->Current(count->load());
                TIntf* held = passed;
                if (held)
                    held->AddRef(); // the argument carries a reference the host may release
                short result = 0;
                const HRESULT status = operation(app, &held, &result);
                ComPtr<TIntf> returned;
                returned.Attach(held);
                Check(status, app);
                if (returned && returned.Get() != passed)
                    return std::make_pair(result, returned);
                return std::make_pair(result, ComPtr<TIntf>());
            });
    }
};

// The event sink handed to the host's connection point: every invocation is
// answered with success at once and posted, by its dispatch id, to the
// thread that takes the link's events.
class TComEventSink final : public IDispatch {
public:
    TComEventSink(HWND window, std::uint32_t key) : FWindow(window), FKey(key) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (!object)
            return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == ::DIID___clsUIV) {
            *object = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return FRefs.AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override {
        return FRefs.Release([this] { delete this; });
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (count)
            *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result,
                                     EXCEPINFO*, UINT*) override {
        if (result)
            ::VariantInit(result);
        ::PostMessageW(FWindow, TComLink::kEventMessage, FKey, static_cast<LPARAM>(id));
        return S_OK;
    }

private:
    com::TRefCount FRefs;
    HWND FWindow;
    std::uint32_t FKey;
};

// The subscriptions of one application object, touched only on the call
// thread; after the host has been attached afresh they are made again on the
// new object's connection point.
struct TSubscriptions {
    struct TEntry {
        std::uint32_t Key;
        DWORD Cookie;
        ComPtr<TComEventSink> Sink;
    };
    ComPtr<IConnectionPoint> Point;
    std::vector<TEntry> Entries;

    static ComPtr<IConnectionPoint> PointOf(::_clsUIV* app) {
        ComPtr<IConnectionPoint> point;
        ComPtr<IConnectionPointContainer> container;
        if (app &&
            SUCCEEDED(app->QueryInterface(IID_IConnectionPointContainer,
                                          reinterpret_cast<void**>(container.GetAddressOf()))))
            container->FindConnectionPoint(::DIID___clsUIV, point.GetAddressOf());
        return point;
    }
    void Resubscribe(::_clsUIV* app) {
        Point = PointOf(app);
        for (TEntry& entry : Entries) {
            entry.Cookie = 0;
            if (Point)
                Point->Advise(entry.Sink.Get(), &entry.Cookie);
        }
    }
};

class TComEventSource : public TComApplication, public IHostEventSource {
public:
    TComEventSource(std::shared_ptr<TComLink> link, ComPtr<::_clsUIV> intf,
                    ComPtr<IConnectionPoint> point, TRemake remake)
        : TComApplication(std::move(link), std::move(intf), std::move(remake)),
          FSubscriptions(std::make_shared<TSubscriptions>()) {
        FSubscriptions->Point = std::move(point);
        FSlot->Remade = [subscriptions = FSubscriptions](::_clsUIV* app) {
            subscriptions->Resubscribe(app);
        };
    }
    ~TComEventSource() override {
        for (const auto key : FKeys)
            FLink->RemoveSink(key);
        FLink->Later([subscriptions = FSubscriptions] {
            subscriptions->Entries.clear();
            subscriptions->Point.Reset();
        });
    }

    std::uint32_t Advise(IHostEventSink* sink) override {
        const std::uint32_t key = FLink->AddSink(sink);
        try {
            Do("Advise",
               [key, window = FLink->EventWindow(), subscriptions = FSubscriptions](::_clsUIV*) {
                   ComPtr<TComEventSink> comSink;
                   comSink.Attach(new TComEventSink(window, key));
                   DWORD cookie = 0;
                   com::Check(subscriptions->Point->Advise(comSink.Get(), &cookie),
                              subscriptions->Point.Get(), IID_IConnectionPoint);
                   subscriptions->Entries.push_back({key, cookie, comSink});
               });
        } catch (...) {
            FLink->RemoveSink(key);
            throw;
        }
        FKeys.push_back(key);
        return key;
    }
    void Unadvise(std::uint32_t cookie) override {
        // Late events reach no one from here on.
        FLink->RemoveSink(cookie);
        std::erase(FKeys, cookie);
        Do("Unadvise", [cookie, subscriptions = FSubscriptions](::_clsUIV*) {
            auto& entries = subscriptions->Entries;
            const auto entry = std::find_if(entries.begin(), entries.end(),
                                            [cookie](const auto& e) { return e.Key == cookie; });
            if (entry == entries.end())
                return;
            const DWORD hostCookie = entry->Cookie;
            entries.erase(entry);
            if (subscriptions->Point && hostCookie)
                com::Check(subscriptions->Point->Unadvise(hostCookie), subscriptions->Point.Get(),
                           IID_IConnectionPoint);
        });
    }

private:
    std::shared_ptr<TSubscriptions> FSubscriptions;
    std::vector<std::uint32_t> FKeys;
};

// An object that answers none of the interfaces: connecting to it fails with
// "Interface not supported".
class TComOther : public IHostObject {
public:
    TComOther(std::shared_ptr<TComLink> link, ComPtr<IUnknown> object)
        : FLink(std::move(link)), FObject(std::make_shared<ComPtr<IUnknown>>(std::move(object))) {}
    ~TComOther() override {
        FLink->Later([object = FObject] { object->Reset(); });
    }
    TComOther(const TComOther&) = delete;
    TComOther& operator=(const TComOther&) = delete;

private:
    std::shared_ptr<TComLink> FLink;
    std::shared_ptr<ComPtr<IUnknown>> FObject;
};

// Makes an object of the class, starting its host when none runs.
ComPtr<IUnknown> Create(const CLSID& clsid, TConnectKind kind) {
    ComPtr<IUnknown> object;
    if (kind == TConnectKind::ckRemote || kind == TConnectKind::ckAttachToInterface)
        throw EHostError("This connection kind is not offered over COM");
    // A server that COM has just started may not have registered its class
    // object yet when asked (Wine's first start in a new prefix): asked again
    // for a few seconds before giving up.
    constexpr int kStartAttempts = 20;
    constexpr DWORD kStartPauseMs = 250;
    HRESULT status = S_OK;
    for (int attempt = 1;; ++attempt) {
        status = ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                                    IID_IUnknown, reinterpret_cast<void**>(object.GetAddressOf()));
        const bool starting = status == static_cast<HRESULT>(0x800706BA) || // server unavailable
                              status == CO_E_SERVER_EXEC_FAILURE;
        if (SUCCEEDED(status) || !starting || attempt == kStartAttempts)
            break;
        ::Sleep(kStartPauseMs);
    }
    com::Check(status, nullptr, IID_IUnknown);
    return object;
}

// The host's object as the interfaces it answers to.
std::shared_ptr<IHostObject> Wrap(const std::shared_ptr<TComLink>& link, Guid classId,
                                  ComPtr<IUnknown> object) {
    // Made again on a host attached afresh, which runs by then (see the
    // connector's reattach).
    const TConnectKind again = TConnectKind::ckRunningOrNew;
    if (classId == CLASS_clsUIV) {
        auto intf = Ask<::_clsUIV>(object);
        if (!intf)
            return std::make_shared<TComOther>(link, std::move(object));
        ComPtr<IConnectionPoint> point = TSubscriptions::PointOf(intf.Get());
        auto remake = RemakeOf<::_clsUIV>(classId, again);
        if (!point)
            return std::make_shared<TComApplication>(link, std::move(intf), std::move(remake));
        return std::make_shared<TComEventSource>(link, std::move(intf), std::move(point),
                                                 std::move(remake));
    }
    if (classId == CLASS_clsStationInfo) {
        if (auto intf = Ask<::_clsStationInfo>(object))
            return std::make_shared<TComStationInfo>(link, std::move(intf),
                                                     RemakeOf<::_clsStationInfo>(classId, again));
    } else if (classId == CLASS_clsMyInfo) {
        if (auto intf = Ask<::_clsMyInfo>(object))
            return std::make_shared<TComMyInfo>(link, std::move(intf),
                                                RemakeOf<::_clsMyInfo>(classId, again));
    } else if (classId == CLASS_clsMapInfo) {
        if (auto intf = Ask<::_clsMapInfo>(object))
            return std::make_shared<TComMapInfo>(link, std::move(intf),
                                                 RemakeOf<::_clsMapInfo>(classId, again));
    }
    return std::make_shared<TComOther>(link, std::move(object));
}

} // namespace

TComConnector::TComConnector() : FLink(com::TComLink::Make()) {
    // Only a host that runs and answers: the running object table may still
    // name one that has died, and asking it for the interface finds out.
    FLink->FReattach = [] {
        ComPtr<IUnknown> running;
        if (FAILED(::GetActiveObject(com::GuidFromText(CLASS_clsUIV), nullptr,
                                     running.GetAddressOf())))
            return false;
        return Ask<::_clsUIV>(running) != nullptr;
    };
}

TComConnector::~TComConnector() = default;

std::shared_ptr<IHostObject> TComConnector::GetObject(Guid classId, TConnectKind kind) {
    const std::weak_ptr<com::TComLink> link = FLink;
    const auto wrap = [link, classId](ComPtr<IUnknown> object) -> std::shared_ptr<IHostObject> {
        const auto held = link.lock();
        if (!held || !object)
            return nullptr;
        return Wrap(held, classId, std::move(object));
    };
    // A running host answers within the answer limit like any call.
    if (kind == TConnectKind::ckRunningOrNew || kind == TConnectKind::ckRunningInstance) {
        auto running = FLink->Call<std::shared_ptr<IHostObject>>("CreateObject", [=] {
            ComPtr<IUnknown> object;
            const HRESULT status =
                ::GetActiveObject(com::GuidFromText(classId), nullptr, object.GetAddressOf());
            if (FAILED(status) && kind == TConnectKind::ckRunningInstance)
                com::ThrowHostError(status);
            return wrap(SUCCEEDED(status) ? object : nullptr);
        });
        if (running)
            return running;
    }
    // Starting one takes longer, above all under Wine on a busy machine: it
    // gets a limit of its own.
    const int limit = std::max(host::HostAnswerLimitMs(), kStartLimitMs);
    return FLink->Call<std::shared_ptr<IHostObject>>(
        "CreateObject", [=] { return wrap(Create(com::GuidFromText(classId), kind)); }, limit);
}

void TComConnector::SetWait(IHostWait* wait) {
    FLink->SetWait(wait);
}

} // namespace host
