#include "standin/com/ComServer.h"

#include "host/HostError.h"
#include "host/com/ComSupport.h"
#include "host/com/UIView32.h" // made by widl from host/com/UIView32.idl

#include <ocidl.h>
#include <olectl.h>

#include <functional>
#include <map>
#include <string>

namespace standin::com {

using host::EHostError;
using host::com::ToBstr;
using host::com::ToUtf8;
using Microsoft::WRL::ComPtr;

namespace {

// Asked of an object a client hands back, to find whether it is one of ours.
// {88084FDD-024C-40FE-B1F3-41EEA5CC9142}
const IID kServedObjectId = {
    0x88084fdd, 0x024c, 0x40fe, {0xb1, 0xf3, 0x41, 0xee, 0xa5, 0xcc, 0x91, 0x42}};

// The common base of our objects, as the answer to kServedObjectId.
class TServed {
public:
    virtual ~TServed() = default;
    virtual ULONG ReleaseServed() = 0;
};

// A served object on one of the dual interfaces: reference counting, the
// dispatch side through the type library, and error information that travels
// back to the client with a failed call.
template <class Intf>
class TDispatchObject : public Intf, public ISupportErrorInfo, public TServed {
public:
    explicit TDispatchObject(std::shared_ptr<TServerState> state) : FState(std::move(state)) {
        FState->TypeLib->GetTypeInfoOfGuid(__uuidof(Intf), FTypeInfo.GetAddressOf());
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == __uuidof(Intf))
            *object = static_cast<Intf*>(this);
        else if (iid == IID_ISupportErrorInfo)
            *object = static_cast<ISupportErrorInfo*>(this);
        else if (iid == kServedObjectId)
            *object = static_cast<TServed*>(this);
        else
            return QueryOther(iid, object);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return FRefs.AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override {
        return FRefs.Release([this] { delete this; });
    }
    ULONG ReleaseServed() override { return Release(); }

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (!count)
            return E_POINTER;
        *count = FTypeInfo ? 1 : 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
        if (!info)
            return E_POINTER;
        *info = nullptr;
        if (index != 0 || !FTypeInfo)
            return DISP_E_BADINDEX;
        return FTypeInfo.CopyTo(info);
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) override {
        return FTypeInfo ? ::DispGetIDsOfNames(FTypeInfo.Get(), names, count, ids) : E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* exception,
                                     UINT* badArgument) override {
        if (!FTypeInfo)
            return E_NOTIMPL;
        return ::DispInvoke(static_cast<Intf*>(this), FTypeInfo.Get(), id, flags, params, result,
                            exception, badArgument);
    }

    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID iid) override {
        return iid == __uuidof(Intf) ? S_OK : S_FALSE;
    }

protected:
    virtual ~TDispatchObject() = default;
    virtual HRESULT QueryOther(REFIID, void**) { return E_NOINTERFACE; }

    // Runs one operation on the model: a failure leaves its text as the
    // call's error information and answers E_FAIL.
    template <class F> HRESULT Serve(F&& operation) {
        try {
            operation();
            return S_OK;
        } catch (const std::exception& error) {
            return Fail(error.what());
        } catch (...) {
            return Fail("The stand-in host failed");
        }
    }
    template <class Out, class F> HRESULT ServeOut(Out* out, F&& operation) {
        if (!out)
            return E_POINTER;
        return Serve([&] { *out = operation(); });
    }
    HRESULT ServeText(BSTR* out, const std::function<std::string()>& operation) {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        return Serve([&] { *out = ToBstr(operation()); });
    }

    HRESULT Fail(const std::string& text) {
        ComPtr<ICreateErrorInfo> create;
        if (SUCCEEDED(::CreateErrorInfo(create.GetAddressOf()))) {
            const std::wstring wide = host::com::ToWide(text);
            create->SetGUID(__uuidof(Intf));
            create->SetSource(const_cast<LPOLESTR>(L"UIView32"));
            create->SetDescription(const_cast<LPOLESTR>(wide.c_str()));
            ComPtr<IErrorInfo> info;
            if (SUCCEEDED(create.As(&info)))
                ::SetErrorInfo(0, info.Get());
        }
        return E_FAIL;
    }

    std::shared_ptr<TServerState> FState;
    ComPtr<ITypeInfo> FTypeInfo;

private:
    host::com::TRefCount FRefs;
};

// Finds our object of type T behind an object a client handed back, or null.
template <class T> ComPtr<T> OurObject(IUnknown* given) {
    TServed* served = nullptr;
    if (!given || FAILED(given->QueryInterface(kServedObjectId, reinterpret_cast<void**>(&served))))
        return nullptr;
    ComPtr<T> ours(dynamic_cast<T*>(served)); // adds its own reference
    served->ReleaseServed();
    return ours;
}

// Creates a model object of the class through the model's own connector.
template <class I> std::shared_ptr<I> ModelObject(const TServerState& state, host::Guid classId) {
    return host::QueryInterface<I>(
        TEmbeddedConnector(state.Model).GetObject(classId, host::TConnectKind::ckRunningOrNew));
}

class TComStationInfo final : public TDispatchObject<::_clsStationInfo> {
public:
    TComStationInfo(std::shared_ptr<TServerState> state, bool replacement)
        : TDispatchObject(std::move(state)),
          Inner(ModelObject<host::_clsStationInfo>(*FState, host::CLASS_clsStationInfo)),
          FReplacement(replacement) {}

    std::shared_ptr<host::_clsStationInfo> Inner;
    std::string Selected; ///< the call sign last set, for a replacement

    HRESULT STDMETHODCALLTYPE GetCallsign(BSTR* out) override {
        return ServeText(out, [&] { return Read(&host::_clsStationInfo::GetCallsign); });
    }
    HRESULT STDMETHODCALLTYPE SetCallsign(BSTR callsign) override {
        return Serve([&] {
            std::string text = ToUtf8(callsign);
            Inner->SetCallsign(text);
            Selected = std::move(text);
        });
    }
    HRESULT STDMETHODCALLTYPE GetSymbolCode(BSTR* out) override {
        return ServeText(out, [&] { return Read(&host::_clsStationInfo::GetSymbolCode); });
    }
    HRESULT STDMETHODCALLTYPE GetSymbolTable(BSTR* out) override {
        return ServeText(out, [&] { return Read(&host::_clsStationInfo::GetSymbolTable); });
    }
    HRESULT STDMETHODCALLTYPE GetPath(BSTR* out) override {
        return ServeText(out, [&] { return Read(&host::_clsStationInfo::GetPath); });
    }
    HRESULT STDMETHODCALLTYPE GetLastHeardRF(BSTR* out) override {
        return ServeText(out, [&] { return Read(&host::_clsStationInfo::GetLastHeardRF); });
    }
    HRESULT STDMETHODCALLTYPE GetLastHeardInternet(BSTR* out) override {
        return ServeText(out, [&] { return Read(&host::_clsStationInfo::GetLastHeardInternet); });
    }
    HRESULT STDMETHODCALLTYPE GetLong(float* out) override {
        return ServeOut(out, [&] { return Read(&host::_clsStationInfo::GetLong); });
    }
    HRESULT STDMETHODCALLTYPE GetLat(float* out) override {
        return ServeOut(out, [&] { return Read(&host::_clsStationInfo::GetLat); });
    }
    HRESULT STDMETHODCALLTYPE GetSpeed(float* out) override {
        return ServeOut(out, [&] { return Read(&host::_clsStationInfo::GetSpeed); });
    }
    HRESULT STDMETHODCALLTYPE GetDistance(float* out) override {
        return ServeOut(out, [&] { return Read(&host::_clsStationInfo::GetDistance); });
    }
    HRESULT STDMETHODCALLTYPE GetThirdParty(short* out) override {
        return ServeOut(out, [&] { return Read(&host::_clsStationInfo::GetThirdParty); });
    }

    // Places of operations Velloran never calls.
    HRESULT STDMETHODCALLTYPE Reserved04() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved05() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved06() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved08() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved10() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved11() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved12() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved13() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved14() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved15() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved16() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved17() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved18() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved20() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved22() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved24() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved26() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved27() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved28() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved29() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved30() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved31() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved32() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved33() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved34() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved36() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved37() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved38() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved39() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved40() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved41() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved42() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved43() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved44() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved45() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved46() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved47() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved48() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved50() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved51() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved52() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved53() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved54() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved55() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved56() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved57() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved58() override { return E_NOTIMPL; }

private:
    template <class R> R Read(R (host::_clsStationInfo::*get)()) {
        if (FReplacement)
            ++FState->ReplacementReads;
        return ((*Inner).*get)();
    }
    bool FReplacement;
};

class TComMyInfo final : public TDispatchObject<::_clsMyInfo> {
public:
    TComMyInfo(std::shared_ptr<TServerState> state, bool replacement)
        : TDispatchObject(std::move(state)),
          Inner(ModelObject<host::_clsMyInfo>(*FState, host::CLASS_clsMyInfo)),
          FReplacement(replacement) {}

    std::shared_ptr<host::_clsMyInfo> Inner;

    HRESULT STDMETHODCALLTYPE GetLong(float* out) override {
        return ServeOut(out, [&] { return Read(&host::_clsMyInfo::GetLong); });
    }
    HRESULT STDMETHODCALLTYPE GetLat(float* out) override {
        return ServeOut(out, [&] { return Read(&host::_clsMyInfo::GetLat); });
    }
    HRESULT STDMETHODCALLTYPE GetCallsign(BSTR* out) override {
        return ServeText(out, [&] { return Read(&host::_clsMyInfo::GetCallsign); });
    }

    // Places of operations Velloran never calls.
    HRESULT STDMETHODCALLTYPE Reserved02() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved04() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved05() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved06() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved07() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved08() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved09() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved10() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved11() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved12() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved13() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved14() override { return E_NOTIMPL; }

private:
    template <class R> R Read(R (host::_clsMyInfo::*get)()) {
        if (FReplacement)
            ++FState->ReplacementReads;
        return ((*Inner).*get)();
    }
    bool FReplacement;
};

class TComMapInfo final : public TDispatchObject<::_clsMapInfo> {
public:
    using TDispatchObject::TDispatchObject;
};

// The optional DrawMapText arguments as the model keeps them.
host::OleVariant FromVariant(const VARIANT* value) {
    if (!value)
        return std::monostate{};
    const VARIANT* v = value;
    if (v->vt == (VT_BYREF | VT_VARIANT) && v->pvarVal)
        v = v->pvarVal;
    switch (v->vt) {
    case VT_BOOL:
        return v->boolVal != VARIANT_FALSE;
    case VT_I4:
        return static_cast<std::int32_t>(v->lVal);
    case VT_I2:
        return static_cast<std::int32_t>(v->iVal);
    case VT_BSTR:
        return ToUtf8(v->bstrVal);
    default:
        return std::monostate{}; // omitted (VT_ERROR) or empty
    }
}

class TComMap final : public TDispatchObject<::_clsUIVMap> {
public:
    TComMap(std::shared_ptr<TServerState> state, std::shared_ptr<host::_clsUIVMap> inner)
        : TDispatchObject(std::move(state)), FInner(std::move(inner)) {}

    HRESULT STDMETHODCALLTYPE DrawCircle(float* x, float* y, float* radius, LONG* colour,
                                         float* startAngle, double* endAngle,
                                         float* aspect) override {
        if (!x || !y || !radius || !colour || !startAngle || !endAngle || !aspect)
            return E_POINTER;
        return Serve([&] {
            FInner->DrawCircle(*x, *y, *radius, static_cast<std::uint32_t>(*colour), *startAngle,
                               *endAngle, *aspect);
        });
    }
    HRESULT STDMETHODCALLTYPE DrawMapText(BSTR* text, float* x, float* y, LONG* colour, VARIANT* v1,
                                          VARIANT* v2, VARIANT* v3, VARIANT* v4, VARIANT* v5,
                                          VARIANT* v6) override {
        if (!text || !x || !y || !colour)
            return E_POINTER;
        return Serve([&] {
            const std::array<host::OleVariant, 6> variants{FromVariant(v1), FromVariant(v2),
                                                           FromVariant(v3), FromVariant(v4),
                                                           FromVariant(v5), FromVariant(v6)};
            FInner->DrawMapText(ToUtf8(*text), *x, *y, static_cast<std::uint32_t>(*colour),
                                variants);
        });
    }
    HRESULT STDMETHODCALLTYPE GetTextX(float* out) override {
        return ServeOut(out, [&] { return FInner->GetTextX(); });
    }
    HRESULT STDMETHODCALLTYPE GetTextY(float* out) override {
        return ServeOut(out, [&] { return FInner->GetTextY(); });
    }
    HRESULT STDMETHODCALLTYPE SetDrawSettingA(LONG* value) override {
        return Setting(value, &host::_clsUIVMap::SetDrawSettingA);
    }
    HRESULT STDMETHODCALLTYPE SetDrawSettingB(LONG* value) override {
        return Setting(value, &host::_clsUIVMap::SetDrawSettingB);
    }
    HRESULT STDMETHODCALLTYPE SetDrawColour(LONG* value) override {
        return Setting(value, &host::_clsUIVMap::SetDrawColour);
    }

    // Places of operations Velloran never calls.
    HRESULT STDMETHODCALLTYPE Reserved01() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved02() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved04() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved05() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved06() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved07() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved08() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved10() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved11() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved12() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved13() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved16() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved17() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved18() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved19() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved20() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved21() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved22() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved23() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved25() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved26() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved27() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved29() override { return E_NOTIMPL; }

private:
    HRESULT Setting(LONG* value, void (host::_clsUIVMap::*set)(std::int32_t)) {
        if (!value)
            return E_POINTER;
        return Serve([&] { ((*FInner).*set)(*value); });
    }
    std::shared_ptr<host::_clsUIVMap> FInner;
};

// Passes the model's events to one client's sink.
class TEventForwarder : public host::IHostEventSink {
public:
    TEventForwarder(ComPtr<IDispatch> sink, std::shared_ptr<TServerState> state)
        : FSink(std::move(sink)), FState(std::move(state)) {}

    void Invoke(std::int32_t dispatchId) override {
        // Our own reference for the call: the client may unsubscribe while
        // it takes the event.
        const ComPtr<IDispatch> sink = FSink;
        if (!sink)
            return;
        DISPPARAMS none{nullptr, nullptr, 0, 0};
        if (SUCCEEDED(sink->Invoke(dispatchId, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD,
                                   &none, nullptr, nullptr, nullptr)))
            ++FState->EventsDelivered;
    }
    void Drop() { FSink.Reset(); }

private:
    ComPtr<IDispatch> FSink;
    std::shared_ptr<TServerState> FState;
};

class TComApplication;

// The connection point of the event interface; lives inside the application
// object and shares its reference count.
class TEventPoint final : public IConnectionPoint {
public:
    TEventPoint(TComApplication& owner, std::shared_ptr<TServerState> state)
        : FOwner(owner), FState(std::move(state)) {}
    ~TEventPoint() {
        for (auto& [cookie, forwarder] : FForwarders)
            FState->Model->Unadvise(cookie);
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override {
        if (!iid)
            return E_POINTER;
        *iid = DIID___clsUIV;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** out) override;
    HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override {
        if (!sink || !cookie)
            return E_POINTER;
        ComPtr<IDispatch> dispatch;
        if (FAILED(sink->QueryInterface(DIID___clsUIV,
                                        reinterpret_cast<void**>(dispatch.GetAddressOf()))) &&
            FAILED(sink->QueryInterface(IID_IDispatch,
                                        reinterpret_cast<void**>(dispatch.GetAddressOf()))))
            return CONNECT_E_CANNOTCONNECT;
        auto forwarder = std::make_unique<TEventForwarder>(std::move(dispatch), FState);
        *cookie = FState->Model->Advise(forwarder.get());
        FForwarders.emplace(*cookie, std::move(forwarder));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override {
        const auto found = FForwarders.find(cookie);
        if (found == FForwarders.end() || !found->second)
            return CONNECT_E_NOCONNECTION;
        FState->Model->Unadvise(cookie);
        // Kept until the host ends: an event may be on its way through it.
        found->second->Drop();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections**) override { return E_NOTIMPL; }

private:
    TComApplication& FOwner;
    std::shared_ptr<TServerState> FState;
    std::map<DWORD, std::unique_ptr<TEventForwarder>> FForwarders;
};

class TComApplication final : public TDispatchObject<::_clsUIV>, public IConnectionPointContainer {
public:
    explicit TComApplication(std::shared_ptr<TServerState> state)
        : TDispatchObject(state),
          FApp(host::QueryInterface<host::_clsUIV>(state->Model->Application())),
          FPoint(*this, state) {}

    // IUnknown through the dual interface, for both bases.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        return TDispatchObject::QueryInterface(iid, object);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return TDispatchObject::AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return TDispatchObject::Release(); }

    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID iid, IConnectionPoint** point) override {
        if (!point)
            return E_POINTER;
        *point = nullptr;
        if (iid != DIID___clsUIV)
            return CONNECT_E_NOCONNECTION;
        *point = &FPoint;
        FPoint.AddRef();
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetStationInfo(::_clsStationInfo** info, short* result) override {
        if (!info || !result)
            return E_POINTER;
        return Serve([&] {
            const ComPtr<TComStationInfo> given = OurObject<TComStationInfo>(*info);
            if (!given)
                throw EHostError("GetStationInfo: the object is not a station-information "
                                 "object of this host");
            ComPtr<TComStationInfo> answer = given;
            if (FState->ReplaceObjects) {
                // A fresh object that describes the station selected on the given one.
                answer.Attach(new TComStationInfo(FState, true));
                answer->Inner->SetCallsign(given->Selected);
                answer->Selected = given->Selected;
            }
            *result = FApp->GetStationInfo(answer->Inner);
            Hand(info, answer);
        });
    }
    HRESULT STDMETHODCALLTYPE RefreshMap() override {
        return Serve([&] { FApp->RefreshMap(); });
    }
    HRESULT STDMETHODCALLTYPE GetMap(::_clsUIVMap** map) override {
        if (!map)
            return E_POINTER;
        *map = nullptr;
        return Serve([&] { *map = new TComMap(FState, FApp->GetMap()); });
    }
    HRESULT STDMETHODCALLTYPE GetStationCount(short* count) override {
        return ServeOut(count, [&] { return FApp->GetStationCount(); });
    }
    HRESULT STDMETHODCALLTYPE GetStationListEntry(short* index, BSTR* entry) override {
        if (!index)
            return E_POINTER;
        return ServeText(entry, [&] {
            std::int16_t value = *index;
            std::string text = FApp->GetStationListEntry(value);
            *index = value;
            return text;
        });
    }
    HRESULT STDMETHODCALLTYPE GetMyInfo(::_clsMyInfo** info) override {
        if (!info)
            return E_POINTER;
        return Serve([&] {
            const ComPtr<TComMyInfo> given = OurObject<TComMyInfo>(*info);
            if (!given)
                throw EHostError("GetMyInfo: the object is not an own-station object of this "
                                 "host");
            ComPtr<TComMyInfo> answer = given;
            if (FState->ReplaceObjects)
                answer.Attach(new TComMyInfo(FState, true));
            FApp->GetMyInfo(answer->Inner);
            Hand(info, answer);
        });
    }

    // Places of operations Velloran never calls.
    HRESULT STDMETHODCALLTYPE Reserved01() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved02() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved03() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved04() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved05() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved06() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved08() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved09() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved11() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved12() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved14() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved15() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved16() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved19() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved20() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved21() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved22() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved23() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved24() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved25() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved26() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved27() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved28() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved29() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved30() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved31() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved32() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved33() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved34() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved35() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved36() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved37() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved38() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved39() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved40() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved41() override { return E_NOTIMPL; }

protected:
    HRESULT QueryOther(REFIID iid, void** object) override {
        if (iid != IID_IConnectionPointContainer)
            return E_NOINTERFACE;
        *object = static_cast<IConnectionPointContainer*>(this);
        AddRef();
        return S_OK;
    }

private:
    // Puts our object into an in-out argument, releasing what it held.
    template <class Arg, class T> static void Hand(Arg** slot, const ComPtr<T>& object) {
        Arg* previous = *slot;
        *slot = object.Get();
        (*slot)->AddRef();
        if (previous)
            previous->Release();
    }

    std::shared_ptr<host::_clsUIV> FApp;
    TEventPoint FPoint;
};

HRESULT TEventPoint::QueryInterface(REFIID iid, void** object) {
    if (!object)
        return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IConnectionPoint) {
        *object = static_cast<IConnectionPoint*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}
ULONG TEventPoint::AddRef() {
    return FOwner.AddRef();
}
ULONG TEventPoint::Release() {
    return FOwner.Release();
}
HRESULT TEventPoint::GetConnectionPointContainer(IConnectionPointContainer** out) {
    if (!out)
        return E_POINTER;
    return FOwner.QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(out));
}

// Makes the objects of one class for COM. The application object is the one
// in the running object table; every client of it shares it.
class TClassFactory final : public IClassFactory {
public:
    explicit TClassFactory(std::function<ComPtr<IUnknown>()> make) : FMake(std::move(make)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (!object)
            return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IClassFactory) {
            *object = static_cast<IClassFactory*>(this);
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
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        try {
            return FMake()->QueryInterface(iid, object);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        } catch (...) {
            return E_FAIL;
        }
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

private:
    host::com::TRefCount FRefs;
    std::function<ComPtr<IUnknown>()> FMake;
};

ComPtr<ITypeLib> LoadOwnTypeLib() {
    wchar_t path[MAX_PATH];
    const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        throw EHostError("The stand-in host cannot find its own program file");
    ComPtr<ITypeLib> typeLib;
    const HRESULT status = ::LoadTypeLibEx(path, REGKIND_NONE, typeLib.GetAddressOf());
    if (FAILED(status))
        throw EHostError("The stand-in host cannot load its type library: " +
                         host::com::StatusText(status));
    return typeLib;
}

} // namespace

TComHostServer::TComHostServer(std::shared_ptr<TStandinHost> model)
    : FState(std::make_shared<TServerState>()) {
    FState->Model = std::move(model);
    FState->TypeLib = LoadOwnTypeLib();
}

TComHostServer::~TComHostServer() {
    Close();
}

void TComHostServer::Start() {
    // A second host would be started but never found: attaching finds the first.
    ComPtr<IUnknown> running;
    if (SUCCEEDED(::GetActiveObject(CLSID_clsUIV, nullptr, running.GetAddressOf())) && running)
        throw EHostError("another host is already running");
    ComPtr<IUnknown> application;
    application.Attach(static_cast<::_clsUIV*>(new TComApplication(FState)));
    FApplication = application;
    const auto state = FState;
    const std::pair<const CLSID*, std::function<ComPtr<IUnknown>()>> classes[] = {
        {&CLSID_clsUIV, [application] { return application; }},
        {&CLSID_clsMyInfo,
         [state] {
             ComPtr<IUnknown> o;
             o.Attach(static_cast<::_clsMyInfo*>(new TComMyInfo(state, false)));
             return o;
         }},
        {&CLSID_clsStationInfo,
         [state] {
             ComPtr<IUnknown> o;
             o.Attach(static_cast<::_clsStationInfo*>(new TComStationInfo(state, false)));
             return o;
         }},
        {&CLSID_clsMapInfo,
         [state] {
             ComPtr<IUnknown> o;
             o.Attach(static_cast<::_clsMapInfo*>(new TComMapInfo(state)));
             return o;
         }},
    };
    for (const auto& [clsid, make] : classes) {
        ComPtr<IClassFactory> factory;
        factory.Attach(new TClassFactory(make));
        DWORD cookie = 0;
        const HRESULT status = ::CoRegisterClassObject(*clsid, factory.Get(), CLSCTX_LOCAL_SERVER,
                                                       REGCLS_MULTIPLEUSE, &cookie);
        if (FAILED(status))
            host::com::ThrowHostError(status);
        FClassCookies.push_back(cookie);
    }
    const HRESULT status = ::RegisterActiveObject(FApplication.Get(), CLSID_clsUIV,
                                                  ACTIVEOBJECT_STRONG, &FActiveCookie);
    if (FAILED(status))
        host::com::ThrowHostError(status);
}

void TComHostServer::SendEvent(std::int32_t dispatchId) {
    FState->Model->SendEvent(dispatchId);
}

void TComHostServer::Close() {
    if (FClosed)
        return;
    FClosed = true;
    if (FApplication)
        SendEvent(host::DISPID_OnUIView32IsClosing);
    if (FActiveCookie)
        ::RevokeActiveObject(FActiveCookie, nullptr);
    for (const DWORD cookie : FClassCookies)
        ::CoRevokeClassObject(cookie);
    FClassCookies.clear();
    if (FApplication)
        ::CoDisconnectObject(FApplication.Get(), 0);
    FApplication.Reset();
}

} // namespace standin::com
