#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <variant>

/// The host's automation interface, as seen from the client.
///
/// The host is an APRS client that serves four classes and five interfaces.
/// Each interface is an abstract class here; a transport (the embedded
/// stand-in host, or a host in another process) implements them. A failing
/// call throws host::EHostError carrying the host's own description.
///
/// Types follow the host's type library: 16-bit signed integers, single
/// precision positions, 32-bit colours (0x00BBGGRR), UTF-8 text.
namespace host {

/// A class or interface id, in its registry form "{XXXXXXXX-...}".
using Guid = std::string_view;

inline constexpr Guid CLASS_clsUIV = "{33CFA0BD-2826-11D4-82E8-00C0DF464FC9}";
inline constexpr Guid CLASS_clsMyInfo = "{0533889E-5AD1-4BA5-B753-76B903E44F1F}";
inline constexpr Guid CLASS_clsStationInfo = "{33CFA0BB-2826-11D4-82E8-00C0DF464FC9}";
inline constexpr Guid CLASS_clsMapInfo = "{33CFA0AE-2826-11D4-82E8-00C0DF464FC9}";

inline constexpr Guid IID__clsUIV = "{84C49058-9EE9-48B0-BE81-516BC86F6389}";
inline constexpr Guid DIID___clsUIV = "{209E1020-55A8-48D5-82E3-A6F487D2B3E7}";
inline constexpr Guid IID__clsMyInfo = "{774A23C4-3649-4575-A4BF-88076C832B17}";
inline constexpr Guid IID__clsStationInfo = "{3FFF48A0-9D94-4305-9C46-9702622DF21E}";
inline constexpr Guid IID__clsMapInfo = "{33CFA0AD-2826-11D4-82E8-00C0DF464FC9}";
inline constexpr Guid IID__clsUIVMap = "{33CFA044-2826-11D4-82E8-00C0DF464FC9}";

/// Dispatch id of the host's closing event on its event interface.
inline constexpr std::int32_t DISPID_OnUIView32IsClosing = 3;

/// One optional argument of DrawMapText: absent, a boolean, a 32-bit integer
/// or a text.
using OleVariant = std::variant<std::monostate, bool, std::int32_t, std::string>;

/// Any object the host hands out. Asking it for an interface is a
/// dynamic_cast (see QueryInterface below).
class IHostObject {
public:
    virtual ~IHostObject() = default;
};

/// Returns the object's interface I, or null when the object does not offer it.
template <class I> std::shared_ptr<I> QueryInterface(const std::shared_ptr<IHostObject>& object) {
    return std::dynamic_pointer_cast<I>(object);
}

/// Station-information object: describes the station selected with
/// SetCallsign once the host has filled it through _clsUIV::GetStationInfo.
class _clsStationInfo : public virtual IHostObject {
public:
    virtual std::string GetCallsign() = 0;
    virtual void SetCallsign(std::string callsign) = 0; // by value, as the host takes it
    virtual std::string GetSymbolCode() = 0;
    virtual std::string GetSymbolTable() = 0;
    virtual std::string GetPath() = 0;
    virtual std::string GetLastHeardRF() = 0;
    virtual std::string GetLastHeardInternet() = 0;
    virtual float GetLong() = 0;
    virtual float GetLat() = 0;
    virtual float GetSpeed() = 0;
    virtual float GetDistance() = 0;
    virtual std::int16_t GetThirdParty() = 0; // 16-bit boolean: non-zero is true
};

/// Own-station object, filled through _clsUIV::GetMyInfo.
class _clsMyInfo : public virtual IHostObject {
public:
    virtual float GetLong() = 0;
    virtual float GetLat() = 0;
    virtual std::string GetCallsign() = 0;
};

/// Map-information class; the program connects nothing through it.
class _clsMapInfo : public virtual IHostObject {};

/// The host's map, obtained anew from _clsUIV::GetMap for each drawing call.
class _clsUIVMap : public virtual IHostObject {
public:
    virtual void DrawCircle(float x, float y, float radius, std::uint32_t colour, float startAngle,
                            double endAngle, float aspect) = 0;
    virtual void DrawMapText(const std::string& text, float x, float y, std::uint32_t colour,
                             const std::array<OleVariant, 6>& variants) = 0;
    virtual float GetTextX() = 0;
    virtual float GetTextY() = 0;
    virtual void SetDrawSettingA(std::int32_t value) = 0;
    virtual void SetDrawSettingB(std::int32_t value) = 0;
    virtual void SetDrawColour(std::int32_t value) = 0;
};

/// The host application object.
class _clsUIV : public virtual IHostObject {
public:
    /// Fills the station-information object for the call sign set on it. The
    /// reference is in-out: a host may hand back another object, and the
    /// caller then reads from that one. The result is the host's and unused.
    virtual std::int16_t GetStationInfo(std::shared_ptr<_clsStationInfo>& info) = 0;
    virtual void RefreshMap() = 0;
    virtual std::shared_ptr<_clsUIVMap> GetMap() = 0;
    virtual std::int16_t GetStationCount() = 0;
    /// The index is in-out, as the host takes it by reference.
    virtual std::string GetStationListEntry(std::int16_t& index) = 0;
    /// Fills the own-station object; in-out like GetStationInfo.
    virtual void GetMyInfo(std::shared_ptr<_clsMyInfo>& info) = 0;
};

/// Receives the host's events (its event interface), by dispatch id.
class IHostEventSink {
public:
    virtual ~IHostEventSink() = default;
    /// Every invocation is answered with success.
    virtual void Invoke(std::int32_t dispatchId) = 0;
};

/// Offered by a host object that can send events: the connection point of the
/// event interface. A host object without it simply sends no events.
class IHostEventSource : public virtual IHostObject {
public:
    /// Subscribes the sink and returns a cookie for Unadvise.
    virtual std::uint32_t Advise(IHostEventSink* sink) = 0;
    virtual void Unadvise(std::uint32_t cookie) = 0;
};

} // namespace host
