#pragma once

#include "host/com/ComSupport.h"
#include "standin/model/StandinHost.h"

#include <oaidl.h>
#include <wrl/client.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

/// The stand-in host as a COM local server: the same TStandinHost model that
/// the embedded connector and the bus service serve, reached through the
/// host's five dual interfaces, its event connection point and its four
/// classes. Runs on one thread in a single-threaded apartment; calls and
/// events pass through that thread's message loop.
namespace standin::com {

/// What the served objects share: the model, the type library that describes
/// them, the test controls and their counters.
struct TServerState {
    std::shared_ptr<TStandinHost> Model;
    Microsoft::WRL::ComPtr<ITypeLib> TypeLib;
    std::atomic<bool> ReplaceObjects{false};
    std::atomic<std::uint64_t> ReplacementReads{0};
    std::atomic<std::uint64_t> EventsDelivered{0};
};

class TComHostServer {
public:
    /// Serves the model with the type library embedded in the program file
    /// (its first TYPELIB resource). Throws EHostError when it cannot load.
    explicit TComHostServer(std::shared_ptr<TStandinHost> model);
    ~TComHostServer();
    TComHostServer(const TComHostServer&) = delete;
    TComHostServer& operator=(const TComHostServer&) = delete;

    /// Registers the class objects and puts the application object in the
    /// running object table. Throws EHostError with the system's text, or
    /// when another host already runs.
    void Start();
    /// Tells every subscriber that the host closes (event 3), then withdraws
    /// the classes and cuts every client off, so later calls fail at once.
    void Close();

    /// Hand back new objects from GetStationInfo and GetMyInfo.
    void SetReplaceObjects(bool replace) { FState->ReplaceObjects = replace; }
    std::uint64_t ReplacementReads() const { return FState->ReplacementReads; }
    std::uint64_t EventsDelivered() const { return FState->EventsDelivered; }
    void SendEvent(std::int32_t dispatchId);

private:
    std::shared_ptr<TServerState> FState;
    Microsoft::WRL::ComPtr<IUnknown> FApplication;
    DWORD FActiveCookie = 0;
    std::vector<DWORD> FClassCookies;
    bool FClosed = false;
};

} // namespace standin::com
