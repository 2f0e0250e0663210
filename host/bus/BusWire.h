#pragma once

/// Names of the stand-in host on the desktop bus, shared by the host program
/// and the client connector.
///
/// The host owns kBusName on the session bus. Its root object answers the
/// factory and control calls. A client asks it for the address of a direct
/// connection (PeerAddress) and makes every host call there, which avoids the
/// bus daemon's two extra hops per call. Objects the host hands out are object
/// paths under kRootPath; single-precision values travel as doubles holding
/// the single value exactly.
namespace host::bus {

inline constexpr const char* kBusName = "org.velloran.StandinHost";
inline constexpr const char* kRootPath = "/org/velloran/StandinHost";

/// Factory on the root object: CreateObject(s classId) -> o, PeerAddress() -> s.
inline constexpr const char* kFactoryInterface = "org.velloran.StandinHost.Factory";
/// Control on the root object, for tests and tools: SendEvent(i), Close(),
/// Fail(s operation, x after, s message).
inline constexpr const char* kControlInterface = "org.velloran.StandinHost.Control";

/// The host's interfaces, one D-Bus interface each, operations by their names.
inline constexpr const char* kUIVInterface = "org.velloran.UIView32._clsUIV";
inline constexpr const char* kStationInfoInterface = "org.velloran.UIView32._clsStationInfo";
inline constexpr const char* kMyInfoInterface = "org.velloran.UIView32._clsMyInfo";
inline constexpr const char* kMapInfoInterface = "org.velloran.UIView32._clsMapInfo";
inline constexpr const char* kMapInterface = "org.velloran.UIView32._clsUIVMap";

/// The host's events: signal Invoke(i dispatchId) on the application object.
inline constexpr const char* kEventInterface = "org.velloran.UIView32.__clsUIV";
inline constexpr const char* kEventSignal = "Invoke";

/// Error name of a failed host operation; the message is the host's own text.
inline constexpr const char* kHostErrorName = "org.velloran.UIView32.Error.HostError";

} // namespace host::bus
