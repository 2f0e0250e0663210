#pragma once

#include "aprs/link/TncAddress.h"
#include "aprs/packets/Kiss.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

/// A read-only link to a TNC over TCP.
namespace aprs {

/// How long a connected TNC may hear nothing before the link says so. A
/// channel with a digipeater or a few home stations in range carries a frame
/// every few minutes; ten minutes of silence more likely means a radio turned
/// down, a cable off or a TNC that stopped decoding than an empty channel. The
/// connection itself may still be fine, so it is not dropped for it.
inline constexpr std::chrono::minutes kSilenceNoteAfter{10};

/// "nothing heard for 12 min" (seconds below a minute).
std::string SilenceText(std::chrono::steady_clock::duration quiet);

/// Watches a connected TNC's frame count for silence: once nothing has been
/// heard for the limit it says so, then each minute (or each limit, when a
/// test sets one below a minute) as the count grows, and once frames come
/// again it says that.
class TSilenceWatch {
public:
    using TClock = std::chrono::steady_clock;
    TSilenceWatch(TClock::duration limit, TClock::time_point connectedAt, std::uint64_t frames);
    /// What to add to "connected to URL, " now, if anything.
    std::optional<std::string> Turn(std::uint64_t frames, TClock::time_point now);
    /// When the next note is due, for the wait until then.
    TClock::time_point NoteAt() const { return FNoteAt; }

private:
    TClock::duration FLimit;
    TClock::duration FEvery;
    TClock::time_point FLastHeard;
    TClock::time_point FNoteAt;
    std::uint64_t FFrames;
    bool FSilent = false;
};

/// A change of a link's connection, for a user that puts it in words of its
/// own.
struct TTncLinkEvent {
    enum class TKind {
        Connecting,
        CannotConnect, ///< detail: the reason; retrySeconds
        CannotAsk,     ///< an AGW engine refused the request; detail: the reason
        Connected,     ///< detail: what an AGW engine answered, as " (...)" or empty
        Note,          ///< still connected; detail: "nothing heard for ...", say
        Lost,          ///< detail: the reason; retrySeconds
        Stopped,
    };
    TKind kind = TKind::Connecting;
    std::string detail;
    int retrySeconds = 0;
};

/// The link's own words for an event, naming the TNC by its URL:
/// "cannot connect to kiss://HOST:PORT: REASON; trying again in 2 s".
std::string TncLinkText(const TTncLinkEvent& event, const std::string& url);

/// Listens to a TNC on a thread of its own: KISS over TCP, or the AGW packet
/// engine protocol asking for raw monitored frames. It never transmits: over
/// KISS nothing is ever written, over AGW only the request for raw frames
/// and the version query whose answer confirms it ("connected" is said then).
/// When the TNC cannot be reached or goes away it says so and tries again
/// after a back-off that doubles from 1 to 30 seconds. Keepalive probes find
/// a TNC whose machine vanished; one that is connected but silent for
/// kSilenceNoteAfter is said to be ("connected to URL, nothing heard for 10
/// min", again each minute), and when frames come again that is said too.
class TTncLink {
public:
    static constexpr int kFirstBackoffMs = 1000;
    static constexpr int kLastBackoffMs = 30000;

    explicit TTncLink(TTncAddress address);
    ~TTncLink();
    TTncLink(const TTncLink&) = delete;
    TTncLink& operator=(const TTncLink&) = delete;

    /// Each AX.25 frame heard (without flags and FCS), on the link's thread.
    std::function<void(std::string_view)> OnFrame;
    /// Each KISS frame that is not data (a command or a TNC's own reply),
    /// on the link's thread; such frames are otherwise passed over.
    std::function<void(const TKissFrame&)> OnKissCommand;
    /// Each change of the connection, in words, on the link's thread.
    std::function<void(const std::string&)> OnState;
    /// Puts the changes into the words OnState gets; unset, TncLinkText's.
    /// Set before Start.
    std::function<std::string(const TTncLinkEvent&)> Words;

    /// How long the TNC may be silent before it is said; set before Start.
    void SetSilenceLimit(std::chrono::milliseconds limit) { FSilenceLimit = limit; }

    void Start();
    /// Stops and waits for the thread; idempotent.
    void Stop();

    bool Connected() const { return FConnected; }
    std::uint64_t Connections() const { return FConnections; }
    std::uint64_t Frames() const { return FFrames; }
    const TTncAddress& Address() const { return FAddress; }

private:
    void Run();
    /// Waits, or returns false when stopped meanwhile.
    bool Sleep(int ms);
    void State(TTncLinkEvent::TKind kind, std::string detail = {}, int retrySeconds = 0);

    TTncAddress FAddress;
    std::string FUrl;
    std::chrono::milliseconds FSilenceLimit = kSilenceNoteAfter;
    std::thread FThread;
    std::atomic<bool> FStop{false};
    std::atomic<bool> FConnected{false};
    std::atomic<std::uint64_t> FConnections{0};
    std::atomic<std::uint64_t> FFrames{0};
};

} // namespace aprs
