#include "host/ComConnector.h"

#include "host/ComSupport.h"
#include "host/UIView32.h" // made by widl from host/UIView32.idl

#include <ocidl.h>
#include <wrl/client.h>

#include <atomic>
#include <type_traits>
#include <vector>

namespace host {

using com::Check;
using com::TBstr;
using com::ToUtf8;
using Microsoft::WRL::ComPtr;

namespace {

// Holds one interface of a host object; every failing call raises the host's
// error for that interface.
template <class Intf> class TComHeld {
public:
    explicit TComHeld(ComPtr<Intf> intf) : FIntf(std::move(intf)) {}
    Intf* Raw() const { return FIntf.Get(); }

protected:
    void Call(HRESULT status) const { Check(status, FIntf.Get(), __uuidof(Intf)); }
    std::string Text(HRESULT (STDMETHODCALLTYPE Intf::*get)(BSTR*)) const {
        TBstr text;
        Call((FIntf.Get()->*get)(text.Out()));
        return ToUtf8(text.Get());
    }
    float Single(HRESULT (STDMETHODCALLTYPE Intf::*get)(float*)) const {
        float value = 0;
        Call((FIntf.Get()->*get)(&value));
        return value;
    }

    ComPtr<Intf> FIntf;
};

class TComStationInfo : public _clsStationInfo, public TComHeld<::_clsStationInfo> {
public:
    using TComHeld::TComHeld;
    std::string GetCallsign() override { return Text(&::_clsStationInfo::GetCallsign); }
    void SetCallsign(std::string callsign) override {
        const TBstr text(callsign);
        Call(FIntf->SetCallsign(text.Get()));
    }
    std::string GetSymbolCode() override { return Text(&::_clsStationInfo::GetSymbolCode); }
    std::string GetSymbolTable() override { return Text(&::_clsStationInfo::GetSymbolTable); }
    std::string GetPath() override { return Text(&::_clsStationInfo::GetPath); }
    std::string GetLastHeardRF() override { return Text(&::_clsStationInfo::GetLastHeardRF); }
    std::string GetLastHeardInternet() override {
        return Text(&::_clsStationInfo::GetLastHeardInternet);
    }
    float GetLong() override { return Single(&::_clsStationInfo::GetLong); }
    float GetLat() override { return Single(&::_clsStationInfo::GetLat); }
    float GetSpeed() override { return Single(&::_clsStationInfo::GetSpeed); }
    float GetDistance() override { return Single(&::_clsStationInfo::GetDistance); }
    std::int16_t GetThirdParty() override {
        short value = 0;
        Call(FIntf->GetThirdParty(&value));
        return value;
    }
};

class TComMyInfo : public _clsMyInfo, public TComHeld<::_clsMyInfo> {
public:
    using TComHeld::TComHeld;
    float GetLong() override { return Single(&::_clsMyInfo::GetLong); }
    float GetLat() override { return Single(&::_clsMyInfo::GetLat); }
    std::string GetCallsign() override { return Text(&::_clsMyInfo::GetCallsign); }
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
        LONG colourArg = static_cast<LONG>(colour);
        Call(FIntf->DrawCircle(&x, &y, &radius, &colourArg, &startAngle, &endAngle, &aspect));
    }
    void DrawMapText(const std::string& text, float x, float y, std::uint32_t colour,
                     const std::array<OleVariant, 6>& variants) override {
        TBstr textArg(text);
        BSTR textRef = textArg.Detach();
        LONG colourArg = static_cast<LONG>(colour);
        TVariantArg v1(variants[0]), v2(variants[1]), v3(variants[2]), v4(variants[3]),
            v5(variants[4]), v6(variants[5]);
        const HRESULT status = FIntf->DrawMapText(&textRef, &x, &y, &colourArg, v1.Get(), v2.Get(),
                                                  v3.Get(), v4.Get(), v5.Get(), v6.Get());
        ::SysFreeString(textRef); // the host may have replaced it; ours either way
        Call(status);
    }
    float GetTextX() override { return Single(&::_clsUIVMap::GetTextX); }
    float GetTextY() override { return Single(&::_clsUIVMap::GetTextY); }
    void SetDrawSettingA(std::int32_t value) override {
        LONG arg = value;
        Call(FIntf->SetDrawSettingA(&arg));
    }
    void SetDrawSettingB(std::int32_t value) override {
        LONG arg = value;
        Call(FIntf->SetDrawSettingB(&arg));
    }
    void SetDrawColour(std::int32_t value) override {
        LONG arg = value;
        Call(FIntf->SetDrawColour(&arg));
    }
};

class TComApplication : public _clsUIV, public TComHeld<::_clsUIV> {
public:
    using TComHeld::TComHeld;

    std::int16_t GetStationInfo(std::shared_ptr<_clsStationInfo>& info) override {
        short result = 0;
        Call(Exchange<TComStationInfo>(info, "GetStationInfo", [&](::_clsStationInfo** held) {
            return FIntf->GetStationInfo(held, &result);
        }));
        return result;
    }
    void RefreshMap() override { Call(FIntf->RefreshMap()); }
    std::shared_ptr<_clsUIVMap> GetMap() override {
        ComPtr<::_clsUIVMap> map;
        Call(FIntf->GetMap(map.GetAddressOf()));
        if (!map)
            throw EHostError("GetMap: the host handed out no map");
        return std::make_shared<TComMap>(std::move(map));
    }
    std::int16_t GetStationCount() override {
        short count = 0;
        Call(FIntf->GetStationCount(&count));
        return count;
    }
    std::string GetStationListEntry(std::int16_t& index) override {
        TBstr entry;
        Call(FIntf->GetStationListEntry(&index, entry.Out()));
        return ToUtf8(entry.Get());
    }
    void GetMyInfo(std::shared_ptr<_clsMyInfo>& info) override {
        Call(Exchange<TComMyInfo>(info, "GetMyInfo",
                                  [&](::_clsMyInfo** held) { return FIntf->GetMyInfo(held); }));
    }

private:
    // Hands an in-out object argument to the host and takes back what it
    // holds afterwards: the same object, or a replacement the caller reads
    // from next.
    template <class Wrapper, class Core, class Call>
    static HRESULT Exchange(std::shared_ptr<Core>& object, const char* operation, Call call) {
        auto* ours = dynamic_cast<Wrapper*>(object.get());
        if (!ours)
            throw EHostError(std::string(operation) + ": the object is not one of this host's");
        auto* passed = ours->Raw();
        auto* held = passed;
        held->AddRef(); // the argument carries a reference the host may release
        const HRESULT status = call(&held);
        ComPtr<std::remove_pointer_t<decltype(held)>> returned;
        returned.Attach(held);
        if (SUCCEEDED(status) && returned && returned.Get() != passed)
            object = std::make_shared<Wrapper>(std::move(returned));
        return status;
    }
};

// The event sink handed to the host's connection point: every invocation is
// answered with success and passed on by its dispatch id.
class TComEventSink final : public IDispatch {
public:
    explicit TComEventSink(IHostEventSink* sink) : FSink(sink) {}

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
        if (FSink)
            FSink->Invoke(id);
        return S_OK;
    }
    void Detach() { FSink = nullptr; }

private:
    com::TRefCount FRefs;
    IHostEventSink* FSink;
};

class TComEventSource : public TComApplication, public IHostEventSource {
public:
    TComEventSource(ComPtr<::_clsUIV> intf, ComPtr<IConnectionPoint> point)
        : TComApplication(std::move(intf)), FPoint(std::move(point)) {}

    std::uint32_t Advise(IHostEventSink* sink) override {
        ComPtr<TComEventSink> comSink;
        comSink.Attach(new TComEventSink(sink));
        DWORD cookie = 0;
        Check(FPoint->Advise(comSink.Get(), &cookie), FPoint.Get(), IID_IConnectionPoint);
        FSinks.emplace_back(cookie, comSink);
        return cookie;
    }
    void Unadvise(std::uint32_t cookie) override {
        for (auto it = FSinks.begin(); it != FSinks.end(); ++it) {
            if (it->first != cookie)
                continue;
            it->second->Detach(); // late calls from the host reach no one
            FSinks.erase(it);
            break;
        }
        Check(FPoint->Unadvise(cookie), FPoint.Get(), IID_IConnectionPoint);
    }

private:
    ComPtr<IConnectionPoint> FPoint;
    std::vector<std::pair<DWORD, ComPtr<TComEventSink>>> FSinks;
};

// An object that answers none of the interfaces: connecting to it fails with
// "Interface not supported".
class TComOther : public IHostObject {
public:
    explicit TComOther(ComPtr<IUnknown> object) : FObject(std::move(object)) {}

private:
    ComPtr<IUnknown> FObject;
};

template <class Intf> ComPtr<Intf> Ask(const ComPtr<IUnknown>& object) {
    ComPtr<Intf> intf;
    object.As(&intf);
    return intf;
}

ComPtr<IUnknown> Activate(const CLSID& clsid, TConnectKind kind) {
    ComPtr<IUnknown> object;
    if (kind == TConnectKind::ckRunningOrNew || kind == TConnectKind::ckRunningInstance) {
        const HRESULT status = ::GetActiveObject(clsid, nullptr, object.GetAddressOf());
        if (SUCCEEDED(status) && object)
            return object;
        if (kind == TConnectKind::ckRunningInstance)
            com::ThrowHostError(status);
    }
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

} // namespace

std::shared_ptr<IHostObject> TComConnector::GetObject(Guid classId, TConnectKind kind) {
    const ComPtr<IUnknown> object = Activate(com::GuidFromText(classId), kind);
    if (classId == CLASS_clsUIV) {
        const auto intf = Ask<::_clsUIV>(object);
        if (!intf)
            return std::make_shared<TComOther>(object);
        ComPtr<IConnectionPoint> point;
        if (const auto container = Ask<IConnectionPointContainer>(object))
            container->FindConnectionPoint(::DIID___clsUIV, point.GetAddressOf());
        if (!point)
            return std::make_shared<TComApplication>(intf);
        return std::make_shared<TComEventSource>(intf, point);
    }
    if (classId == CLASS_clsStationInfo) {
        if (const auto intf = Ask<::_clsStationInfo>(object))
            return std::make_shared<TComStationInfo>(intf);
    } else if (classId == CLASS_clsMyInfo) {
        if (const auto intf = Ask<::_clsMyInfo>(object))
            return std::make_shared<TComMyInfo>(intf);
    } else if (classId == CLASS_clsMapInfo) {
        if (const auto intf = Ask<::_clsMapInfo>(object))
            return std::make_shared<TComMapInfo>(intf);
    }
    return std::make_shared<TComOther>(object);
}

} // namespace host
