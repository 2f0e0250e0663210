#include "aprs/link/TcpSocket.h"

#include <algorithm>

#include <winsock2.h>

#include <mstcpip.h>
#include <ws2tcpip.h>

namespace aprs::net {

namespace {

std::string WsaText(int error) {
    char text[256] = {};
    const DWORD n =
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                       static_cast<DWORD>(error), 0, text, sizeof text, nullptr);
    std::string message(text, n);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                message.back() == ' ' || message.back() == '.'))
        message.pop_back();
    return message.empty() ? "Winsock error " + std::to_string(error) : message;
}

SOCKET Handle(std::intptr_t value) {
    return static_cast<SOCKET>(value);
}

} // namespace

bool EnableKeepAlive(std::intptr_t handle) {
    // Windows sends ten probes (not settable before Windows 10): their
    // interval is chosen so that a dead peer is found as soon as on Linux.
    tcp_keepalive values{};
    values.onoff = 1;
    values.keepalivetime = kKeepAliveIdleSeconds * 1000;
    values.keepaliveinterval = kKeepAliveIntervalSeconds * kKeepAliveProbes * 1000 / 10;
    DWORD returned = 0;
    return WSAIoctl(Handle(handle), SIO_KEEPALIVE_VALS, &values, sizeof values, nullptr, 0,
                    &returned, nullptr, nullptr) == 0;
}

TSocketLibrary::TSocketLibrary() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
}

TSocketLibrary::~TSocketLibrary() {
    WSACleanup();
}

void TTcpSocket::Close() {
    if (FHandle != kNone)
        closesocket(Handle(FHandle));
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
        reason = WsaText(error);
        return false;
    }
    reason = "no address";
    for (addrinfo* ai = found; ai; ai = ai->ai_next) {
        const SOCKET sock = ::socket(ai->ai_family, ai->ai_socktype, ai->ai_protocol);
        if (sock == INVALID_SOCKET) {
            reason = WsaText(WSAGetLastError());
            continue;
        }
        u_long nonBlocking = 1;
        ioctlsocket(sock, FIONBIO, &nonBlocking);
        if (::connect(sock, ai->ai_addr, static_cast<int>(ai->ai_addrlen)) != 0 &&
            WSAGetLastError() != WSAEWOULDBLOCK) {
            reason = WsaText(WSAGetLastError());
            closesocket(sock);
            continue;
        }
        fd_set writable, failed;
        int ready = 0;
        for (int left = timeoutMs; ready == 0 && left > 0 && !(stop && *stop);
             left -= kStopCheckMs) {
            FD_ZERO(&writable);
            FD_ZERO(&failed);
            FD_SET(sock, &writable);
            FD_SET(sock, &failed);
            const int slice = std::min(left, kStopCheckMs);
            timeval wait{slice / 1000, (slice % 1000) * 1000};
            ready = ::select(0, nullptr, &writable, &failed, &wait);
        }
        if (ready <= 0 || FD_ISSET(sock, &failed)) {
            int error = 0;
            int length = sizeof error;
            getsockopt(sock, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length);
            reason = ready == 0 ? (stop && *stop ? "stopped" : "timed out")
                                : WsaText(error != 0 ? error : WSAGetLastError());
            closesocket(sock);
            continue;
        }
        FHandle = static_cast<std::intptr_t>(sock);
        EnableKeepAlive(FHandle);
        break;
    }
    freeaddrinfo(found);
    return FHandle != kNone;
}

int TTcpSocket::WaitReadable(int timeoutMs) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(Handle(FHandle), &readable);
    timeval wait{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    const int ready = ::select(0, &readable, nullptr, nullptr, &wait);
    if (ready < 0)
        return -1;
    return ready > 0 ? 1 : 0;
}

long TTcpSocket::Receive(char* buffer, std::size_t size, std::string& reason) {
    const int got = ::recv(Handle(FHandle), buffer, static_cast<int>(size), 0);
    if (got == SOCKET_ERROR) {
        const int error = WSAGetLastError();
        if (error == WSAEWOULDBLOCK || error == WSAEINTR)
            return -2;
        reason = WsaText(error);
        return -1;
    }
    return got;
}

bool TTcpSocket::SendAll(std::string_view bytes, std::string& reason) {
    while (!bytes.empty()) {
        const int sent = ::send(Handle(FHandle), bytes.data(), static_cast<int>(bytes.size()), 0);
        if (sent == SOCKET_ERROR) {
            const int error = WSAGetLastError();
            if (error == WSAEWOULDBLOCK || error == WSAEINTR) {
                fd_set writable;
                FD_ZERO(&writable);
                FD_SET(Handle(FHandle), &writable);
                timeval wait{1, 0};
                ::select(0, nullptr, &writable, nullptr, &wait);
                continue;
            }
            reason = WsaText(error);
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
}

} // namespace aprs::net
