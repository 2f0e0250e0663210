#include "aprs/link/TcpSocket.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace aprs::net {

namespace {

std::string ErrnoText(int error) {
    return std::strerror(error);
}

} // namespace

bool EnableKeepAlive(std::intptr_t handle) {
    const int sock = static_cast<int>(handle);
    const int on = 1;
    bool done = setsockopt(sock, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on) == 0;
#ifdef TCP_KEEPIDLE
    const int idle = kKeepAliveIdleSeconds, interval = kKeepAliveIntervalSeconds,
              probes = kKeepAliveProbes;
    done = setsockopt(sock, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle) == 0 && done;
    done = setsockopt(sock, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval) == 0 && done;
    done = setsockopt(sock, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes) == 0 && done;
#endif
    return done;
}

TSocketLibrary::TSocketLibrary() = default;
TSocketLibrary::~TSocketLibrary() = default;

void TTcpSocket::Close() {
    if (FHandle != kNone)
        ::close(static_cast<int>(FHandle));
    FHandle = kNone;
}

bool TTcpSocket::Connect(const std::string& host, const std::string& port, int timeoutMs,
                         std::string& reason, const std::atomic<bool>* stop) {
    Close();
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (const int error = getaddrinfo(host.c_str(), port.c_str(), &hints, &found); error != 0) {
        reason = gai_strerror(error);
        return false;
    }
    reason = "no address";
    for (addrinfo* ai = found; ai; ai = ai->ai_next) {
        const int sock = ::socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC, ai->ai_protocol);
        if (sock < 0) {
            reason = ErrnoText(errno);
            continue;
        }
        fcntl(sock, F_SETFL, fcntl(sock, F_GETFL) | O_NONBLOCK);
        EnableKeepAlive(sock);
        if (::connect(sock, ai->ai_addr, ai->ai_addrlen) != 0 && errno != EINPROGRESS) {
            reason = ErrnoText(errno);
            ::close(sock);
            continue;
        }
        pollfd fd{sock, POLLOUT, 0};
        int ready = 0;
        for (int left = timeoutMs; ready == 0 && left > 0 && !(stop && *stop); left -= kStopCheckMs)
            ready = ::poll(&fd, 1, std::min(left, kStopCheckMs));
        int error = 0;
        socklen_t length = sizeof error;
        if (ready <= 0) {
            reason = ready < 0 ? ErrnoText(errno) : stop && *stop ? "stopped" : "timed out";
            ::close(sock);
            continue;
        }
        getsockopt(sock, SOL_SOCKET, SO_ERROR, &error, &length);
        if (error != 0) {
            reason = ErrnoText(error);
            ::close(sock);
            continue;
        }
        FHandle = sock;
        break;
    }
    freeaddrinfo(found);
    return FHandle != kNone;
}

int TTcpSocket::WaitReadable(int timeoutMs) {
    pollfd fd{static_cast<int>(FHandle), POLLIN, 0};
    const int ready = ::poll(&fd, 1, timeoutMs);
    if (ready < 0)
        return errno == EINTR ? 0 : -1;
    return ready > 0 ? 1 : 0;
}

long TTcpSocket::Receive(char* buffer, std::size_t size, std::string& reason) {
    const ssize_t got = ::recv(static_cast<int>(FHandle), buffer, size, 0);
    if (got < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
            return -2;
        reason = ErrnoText(errno);
        return -1;
    }
    return static_cast<long>(got);
}

bool TTcpSocket::SendAll(std::string_view bytes, std::string& reason) {
    while (!bytes.empty()) {
        const ssize_t sent =
            ::send(static_cast<int>(FHandle), bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
                pollfd fd{static_cast<int>(FHandle), POLLOUT, 0};
                ::poll(&fd, 1, 1000);
                continue;
            }
            reason = ErrnoText(errno);
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
}

} // namespace aprs::net
