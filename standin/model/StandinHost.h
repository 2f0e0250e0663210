#pragma once

#include "host/Components.h"
#include "host/UIView32_TLB.h"
#include "standin/model/Scenario.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

/// The stand-in host: our own host in place of the APRS client, serving the
/// five interfaces from a scenario.
namespace standin {

/// One call made on the host's map operations, as the host saw it.
struct TMapCall {
    enum class Kind {
        GetMap,
        RefreshMap,
        SetDrawSettingA,
        SetDrawSettingB,
        SetDrawColour,
        GetTextX,
        GetTextY,
        DrawCircle,
        DrawMapText
    };
    Kind kind = Kind::GetMap;
    std::int32_t setting = 0; ///< SetDrawSettingA/B, SetDrawColour
    float x = 0, y = 0, radius = 0, startAngle = 0, aspect = 0;
    double endAngle = 0;
    std::uint32_t colour = 0;
    std::string text;
    std::array<host::OleVariant, 6> variants{};
    bool failed = false; ///< the host answered this call with an error

    /// A call without arguments, or a setting call with its value.
    static TMapCall Of(Kind kind, std::int32_t setting = 0);
    static TMapCall Circle(float x, float y, float radius, std::uint32_t colour, float startAngle,
                           double endAngle, float aspect);
    static TMapCall Text(const std::string& text, float x, float y, std::uint32_t colour,
                         const std::array<host::OleVariant, 6>& variants);
};

/// The call as one line: "DrawCircle X Y RADIUS COLOUR START END ASPECT", ...
std::string FormatMapCall(const TMapCall& call);

/// True when both calls are the same drawing with the same arguments.
bool SameDrawing(const TMapCall& a, const TMapCall& b);

/// The host's state: the scenario, the failure rule, the record of map calls
/// and the event subscribers. One per host; the objects it hands out share it.
class TStandinHost : public std::enable_shared_from_this<TStandinHost> {
public:
    explicit TStandinHost(TScenario scenario);

    const TScenario& Scenario() const { return FScenario; }

    /// Counts a call of the operation and throws the scenario's failure once
    /// its quota of successful calls is used up.
    void Enter(std::string_view interfaceName, std::string_view operation);
    /// Told of each call as it comes in, before it is answered: the tests
    /// let a host be slow to answer there (what the caller does meanwhile).
    std::function<void(std::string_view operation)> OnCall;

    /// The first station whose call sign equals the text exactly, or null.
    /// The pointer is good until the station list next changes.
    const TScenarioStation* FindStation(const std::string& callsign) const;

    /// Sets the own station (positions in host units); GetTextX/Y follow it.
    void SetOwnStation(std::string callsign, float lat, float lon);
    /// Replaces the first station with the same call sign, or appends the
    /// station at the end of the list. Returns true when it was appended.
    bool PutStation(TScenarioStation station);
    /// Removes the first station with the call sign; false when there is none
    /// (or its removal already waits).
    ///
    /// A client reads the count once and then walks the list by index, so
    /// while clients read the list the removal waits until the list has not
    /// been read for ListIdle; indices then stay stable for the whole walk
    /// (new stations only ever go to the end). Removals also go through when
    /// a walk begins after a pause of WalkGap in the reading (the walk before
    /// it is over), and once they have waited MaxWalkHold, so that a client
    /// that never stops polling cannot keep gone stations listed.
    bool RemoveStation(const std::string& callsign);
    /// Marks the list as being read by a client (its count or an entry).
    void ListRead();
    /// A client asks for the count: a walk begins.
    void WalkBegins();
    /// Carries out the removals that waited, once the list is idle or they
    /// have waited MaxWalkHold.
    void ApplyDeferredRemovals();
    std::size_t DeferredRemovals() const { return FDeferredRemovals.size(); }
    void SetListIdle(std::chrono::milliseconds idle) { FListIdle = idle; }
    void SetWalkGap(std::chrono::milliseconds gap) { FWalkGap = gap; }
    void SetMaxWalkHold(std::chrono::milliseconds hold) { FMaxWalkHold = hold; }

    /// Map calls, in the order made (while recording is on, the default).
    const std::vector<TMapCall>& MapCalls() const { return FMapCalls; }
    void ClearMapCalls() { FMapCalls.clear(); }
    /// A long-running host keeps only the scene, not every call.
    void SetRecordMapCalls(bool record) { FRecordMapCalls = record; }

    /// What the map shows: the figures and texts drawn since the last
    /// RefreshMap, each once (a redraw of the same figure adds nothing), and
    /// of a client that draws without end the latest kMaxSceneDrawings, with
    /// at most kMaxSceneTextBytes of text in all. A text longer than
    /// kMaxMapTextBytes is refused: no label is that long.
    const std::vector<TMapCall>& Scene() const { return FScene; }
    static constexpr std::size_t kMaxSceneDrawings = 1024;
    static constexpr std::size_t kMaxMapTextBytes = 1024;
    static constexpr std::size_t kMaxSceneTextBytes = 256 * 1024;
    /// Changes whenever the scene does, so a window can tell when to repaint.
    std::uint64_t SceneVersion() const { return FSceneVersion; }

    /// Replaces the failure rule (or removes it with nullopt); counting starts
    /// again from zero.
    void SetFail(std::optional<TScenarioFail> fail);
    /// Records a map call, then counts it (so a failing call is recorded too).
    void MapCall(TMapCall call, std::string_view interfaceName, std::string_view operation);

    /// The application object (created on first request, then shared).
    std::shared_ptr<host::IHostObject> Application();

    /// Sends an event to every subscriber.
    void SendEvent(std::int32_t dispatchId);
    std::uint32_t Advise(host::IHostEventSink* sink);
    void Unadvise(std::uint32_t cookie);
    std::size_t SubscriberCount() const { return FSinks.size(); }

private:
    void IndexStations();
    bool ListIdle() const;
    bool HeldTooLong() const;
    void ApplyRemovalsNow();
    void RemoveNow(const std::string& callsign);

    TScenario FScenario;
    std::unordered_map<std::string, std::size_t> FFirstByCall;
    std::unordered_set<std::string> FDeferredRemovals;
    std::chrono::steady_clock::time_point FLastListRead;
    std::chrono::steady_clock::time_point FDeferredSince; // the oldest waiting removal
    std::chrono::milliseconds FListIdle{1000};
    std::chrono::milliseconds FWalkGap{200};
    std::chrono::milliseconds FMaxWalkHold{10000};
    std::int64_t FFailSucceeded = 0;
    std::string_view FFailInterface; // empty: any interface
    std::string_view FFailOperation;
    std::vector<TMapCall> FMapCalls;
    std::vector<TMapCall> FScene;
    std::size_t FSceneTextBytes = 0;
    std::uint64_t FSceneVersion = 0;
    bool FRecordMapCalls = true;
    std::weak_ptr<host::IHostObject> FApplication;
    std::vector<std::pair<std::uint32_t, host::IHostEventSink*>> FSinks;
    std::uint32_t FNextCookie = 1;
};

/// Connects components to an in-process stand-in host: "attach to the running
/// one, or create one" is always served by the one host it holds.
class TEmbeddedConnector : public host::IHostConnector {
public:
    explicit TEmbeddedConnector(std::shared_ptr<TStandinHost> host);
    std::shared_ptr<host::IHostObject> GetObject(host::Guid classId,
                                                 host::TConnectKind kind) override;
    TStandinHost& Host() { return *FHost; }

private:
    std::shared_ptr<TStandinHost> FHost;
};

} // namespace standin
