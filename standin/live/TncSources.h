#pragma once

#include "aprs/link/TncAddress.h"
#include "aprs/link/TncLink.h"
#include "aprs/packets/Kiss.h"
#include "standin/live/LiveStations.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

/// The sources that feed the live station list: a KISS TNC over TCP and a
/// stream of monitor lines. Each reads on a thread of its own.
namespace standin {

/// Wakes a thread that waits in poll(), for a prompt stop.
class TWakePipe {
public:
    TWakePipe();
    ~TWakePipe();
    TWakePipe(const TWakePipe&) = delete;
    TWakePipe& operator=(const TWakePipe&) = delete;
    int ReadFd() const { return FFds[0]; }
    void Wake();

private:
    int FFds[2] = {-1, -1};
};

using aprs::SplitHostPort;

/// A KISS TNC on a TCP port (such as Dire Wolf's 8001), read through the
/// TNC link Velloran uses (aprs::TTncLink): it connects, reads frames into the
/// live list, and when the TNC goes away or cannot be reached tries again
/// after a back-off that doubles from 1 to 30 seconds. Keepalive probes run on
/// the connection, and a connected TNC that has heard nothing for a long while
/// is said to be silent. The states are worded for the host's status line
/// ("connected to KISS TNC HOST:PORT").
class TKissTcpSource {
public:
    TKissTcpSource(std::string host, std::string port, TLiveStations& live);
    ~TKissTcpSource();
    TKissTcpSource(const TKissTcpSource&) = delete;
    TKissTcpSource& operator=(const TKissTcpSource&) = delete;

    /// Called on the reader thread with each change of the connection state.
    std::function<void(const std::string&)> OnState;

    /// How long the TNC may be silent before it is said (aprs::kSilenceNoteAfter
    /// unless set); set before Start.
    void SetSilenceLimit(std::chrono::milliseconds limit) { FLink.SetSilenceLimit(limit); }

    void Start();
    /// Stops reading and waits for the thread; idempotent.
    void Stop();
    bool Connected() const { return FLink.Connected(); }
    std::uint64_t Connections() const { return FLink.Connections(); }

private:
    aprs::TTncLink FLink;
};

/// Monitor lines from a file, or from standard input for "-". Reads to the
/// end and stops; the stations stay until they expire.
class TMonitorSource {
public:
    TMonitorSource(std::string file, TLiveStations& live);
    ~TMonitorSource();
    TMonitorSource(const TMonitorSource&) = delete;
    TMonitorSource& operator=(const TMonitorSource&) = delete;

    /// Called on the reader thread when reading starts, ends or fails.
    std::function<void(const std::string&)> OnState;

    /// Opens the file; throws std::runtime_error naming it when it cannot.
    void Start();
    void Stop();
    bool Finished() const { return FFinished; }

private:
    void Run();

    std::string FFile;
    TLiveStations& FLive;
    int FFd = -1;
    TWakePipe FWake;
    std::thread FThread;
    std::atomic<bool> FStop{false};
    std::atomic<bool> FFinished{false};
};

} // namespace standin
