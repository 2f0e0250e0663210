#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

/// The few socket calls a TNC link makes, over POSIX sockets or Winsock
/// (chosen at build time: TcpSocketPosix.cpp, TcpSocketWinsock.cpp; what
/// both share in TcpSocket.cpp).
namespace aprs::net {

/// Keepalive probes: a TNC is only ever read from, so without them a peer
/// that vanished (powered off, cable pulled, a NAT that forgot the
/// connection) is never noticed. The first probe goes after a minute of quiet
/// and the connection is given up about a minute later when none is answered.
inline constexpr int kKeepAliveIdleSeconds = 60;
inline constexpr int kKeepAliveIntervalSeconds = 10;
inline constexpr int kKeepAliveProbes = 6;

/// Turns on keepalive probes on a connected socket (a POSIX descriptor or a
/// Winsock SOCKET); false when the system refused.
bool EnableKeepAlive(std::intptr_t handle);

/// Sets up the platform's sockets for as long as it lives (Winsock needs it).
class TSocketLibrary {
public:
    TSocketLibrary();
    ~TSocketLibrary();
    TSocketLibrary(const TSocketLibrary&) = delete;
    TSocketLibrary& operator=(const TSocketLibrary&) = delete;
};

/// A connected TCP socket, closed with the object.
class TTcpSocket {
public:
    TTcpSocket() = default;
    ~TTcpSocket();
    TTcpSocket(TTcpSocket&& other) noexcept;
    TTcpSocket& operator=(TTcpSocket&& other) noexcept;
    TTcpSocket(const TTcpSocket&) = delete;
    TTcpSocket& operator=(const TTcpSocket&) = delete;

    /// Connects to the first address of host that answers within timeoutMs;
    /// false with the reason when none does. The wait looks at stop every
    /// kStopCheckMs and gives up ("stopped") once it is set: a TNC whose
    /// connect hangs (a full accept queue, a host that drops the packets)
    /// never holds up the end of a listen or of the program.
    bool Connect(const std::string& host, const std::string& port, int timeoutMs,
                 std::string& reason, const std::atomic<bool>* stop = nullptr);
    static constexpr int kStopCheckMs = 200;
    bool IsOpen() const { return FHandle != kNone; }
    void Close();

    /// Waits up to timeoutMs for bytes: 1 when there are some (or the peer
    /// closed), 0 when the time passed, -1 on an error.
    int WaitReadable(int timeoutMs);
    /// Reads what is there: the byte count, 0 when the peer closed, -1 on an
    /// error (with the reason), -2 when nothing was there after all.
    long Receive(char* buffer, std::size_t size, std::string& reason);
    /// Sends all of bytes; false with the reason when it cannot.
    bool SendAll(std::string_view bytes, std::string& reason);

private:
    static constexpr std::intptr_t kNone = -1;
    std::intptr_t FHandle = kNone;
};

} // namespace aprs::net
