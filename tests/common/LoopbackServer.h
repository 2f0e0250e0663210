#pragma once

// A TCP server of the test's own on a free loopback port, for the TNC
// clients, and a look at the client's end of a connection it accepted.
#include <arpa/inet.h>
#include <cstdint>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace testsupport {

/// A listening socket on a free loopback port, its address in address.
inline int ListenOnLoopback(int backlog, sockaddr_in& address) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(fd, backlog);
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    return fd;
}

/// A TCP server on a free loopback port that serves one connection at a time.
class TTestServer {
public:
    TTestServer() {
        sockaddr_in address{};
        FListen = ListenOnLoopback(4, address);
        Port = std::to_string(ntohs(address.sin_port));
    }
    ~TTestServer() { close(FListen); }
    TTestServer(const TTestServer&) = delete;
    TTestServer& operator=(const TTestServer&) = delete;
    std::string Port;

    /// The next connection, or -1 after 20 s.
    int Accept() {
        pollfd fd{FListen, POLLIN, 0};
        if (poll(&fd, 1, 20000) <= 0)
            return -1;
        return accept4(FListen, nullptr, nullptr, SOCK_CLOEXEC);
    }

private:
    int FListen = -1;
};

/// A TCP server on a free loopback port whose accept queue is full: a
/// further connect hangs until the client's own time limit.
class THangingServer {
public:
    THangingServer() {
        sockaddr_in address{};
        FListen = ListenOnLoopback(0, address);
        Port = std::to_string(ntohs(address.sin_port));
        // Connections never accepted, until one no longer completes.
        for (int i = 0; i < 16; ++i) {
            const int client = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            FQueued.push_back(client);
            connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address);
            pollfd fd{client, POLLOUT, 0};
            if (poll(&fd, 1, 200) == 0)
                break;
        }
    }
    ~THangingServer() {
        for (const int client : FQueued)
            close(client);
        close(FListen);
    }
    THangingServer(const THangingServer&) = delete;
    THangingServer& operator=(const THangingServer&) = delete;
    std::string Port;

private:
    int FListen = -1;
    std::vector<int> FQueued;
};

/// The descriptor of this process's end of a connection the server accepted
/// as accepted, found by its port; -1 when there is none.
inline int ClientEndOf(int accepted) {
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    if (getpeername(accepted, reinterpret_cast<sockaddr*>(&peer), &length) != 0)
        return -1;
    for (int fd = 0; fd < 4096; ++fd) {
        sockaddr_in local{};
        length = sizeof local;
        if (fd != accepted && getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) == 0 &&
            local.sin_family == AF_INET && local.sin_port == peer.sin_port)
            return fd;
    }
    return -1;
}

} // namespace testsupport
