#include "aprs/link/TcpSocket.h"

// What the POSIX and Winsock ends share: the socket's ownership. Each end
// closes its own kind of handle (Close).

namespace aprs::net {

TTcpSocket::~TTcpSocket() {
    Close();
}

TTcpSocket::TTcpSocket(TTcpSocket&& other) noexcept : FHandle(other.FHandle) {
    other.FHandle = kNone;
}

TTcpSocket& TTcpSocket::operator=(TTcpSocket&& other) noexcept {
    if (this != &other) {
        Close();
        FHandle = other.FHandle;
        other.FHandle = kNone;
    }
    return *this;
}

} // namespace aprs::net
