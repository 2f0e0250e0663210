#include "standin/live/TncSources.h"

#include "aprs/link/TcpSocket.h"
#include "aprs/link/TncLink.h"
#include "aprs/packets/MonitorLines.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace standin {

namespace {

constexpr int kConnectTimeoutMs = 10000;
constexpr int kFirstBackoffMs = 1000;
constexpr int kMaxBackoffMs = 30000;

std::string ErrnoText(int error) {
    return std::strerror(error);
}

} // namespace

TWakePipe::TWakePipe() {
    if (pipe(FFds) != 0)
        throw std::runtime_error("cannot create a pipe: " + ErrnoText(errno));
    fcntl(FFds[1], F_SETFL, O_NONBLOCK);
}

TWakePipe::~TWakePipe() {
    close(FFds[0]);
    close(FFds[1]);
}

void TWakePipe::Wake() {
    const char byte = 1;
    [[maybe_unused]] const auto written = write(FFds[1], &byte, 1);
}

TKissTcpSource::TKissTcpSource(std::string host, std::string port, TLiveStations& live)
    : FHostName(std::move(host)), FPort(std::move(port)), FLive(live),
      FSilenceLimit(aprs::kSilenceNoteAfter) {}

TKissTcpSource::~TKissTcpSource() {
    Stop();
}

void TKissTcpSource::Start() {
    FStop = false;
    FThread = std::thread([this] { Run(); });
}

void TKissTcpSource::Stop() {
    FStop = true;
    FWake.Wake();
    if (FThread.joinable())
        FThread.join();
}

void TKissTcpSource::State(const std::string& text) {
    if (OnState)
        OnState(text);
}

bool TKissTcpSource::Sleep(int ms) {
    pollfd wake{FWake.ReadFd(), POLLIN, 0};
    poll(&wake, 1, ms);
    return !FStop;
}

int TKissTcpSource::Connect(std::string& reason) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (const int error = getaddrinfo(FHostName.c_str(), FPort.c_str(), &hints, &found);
        error != 0) {
        reason = gai_strerror(error);
        return -1;
    }
    int sock = -1;
    for (addrinfo* at = found; at && sock < 0 && !FStop; at = at->ai_next) {
        sock =
            socket(at->ai_family, at->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, at->ai_protocol);
        if (sock < 0) {
            reason = ErrnoText(errno);
            continue;
        }
        aprs::net::EnableKeepAlive(sock);
        // Non-blocking, so that a stop does not wait for a distant TNC.
        if (connect(sock, at->ai_addr, at->ai_addrlen) != 0 && errno != EINPROGRESS) {
            reason = ErrnoText(errno);
            close(sock);
            sock = -1;
            continue;
        }
        pollfd fds[2] = {{sock, POLLOUT, 0}, {FWake.ReadFd(), POLLIN, 0}};
        const int ready = poll(fds, 2, kConnectTimeoutMs);
        int error = 0;
        socklen_t length = sizeof error;
        if (ready <= 0 || !(fds[0].revents & (POLLOUT | POLLERR | POLLHUP))) {
            reason = ready == 0 ? "timed out" : "stopped";
            error = -1;
        } else if (getsockopt(sock, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) {
            reason = ErrnoText(error ? error : errno);
            error = -1;
        }
        if (error != 0) {
            close(sock);
            sock = -1;
        }
    }
    freeaddrinfo(found);
    return sock;
}

void TKissTcpSource::Run() {
    const std::string where = "KISS TNC " + FHostName + ":" + FPort;
    aprs::TKissDeframer deframer;
    std::uint64_t heard = 0; // data frames, the sign that the TNC still hears the air
    deframer.OnFrame = [this, &heard](const aprs::TKissFrame& frame) {
        if (frame.command == 0)
            ++heard;
        FLive.HandleKissFrame(frame);
    };
    int backoff = kFirstBackoffMs;
    char buffer[4096];
    while (!FStop) {
        State("connecting to " + where);
        std::string reason;
        const int sock = Connect(reason);
        if (sock < 0) {
            if (FStop)
                break;
            State("cannot connect to " + where + ": " + reason + "; retrying in " +
                  std::to_string(backoff / 1000) + " s");
            if (!Sleep(backoff))
                break;
            backoff = std::min(backoff * 2, kMaxBackoffMs);
            continue;
        }
        FConnected = true;
        ++FConnections;
        backoff = kFirstBackoffMs;
        State("connected to " + where);
        std::string lost = "closed by the TNC";
        aprs::TSilenceWatch silence(FSilenceLimit, std::chrono::steady_clock::now(), heard);
        while (!FStop) {
            const auto now = std::chrono::steady_clock::now();
            if (const auto note = silence.Turn(heard, now))
                State("connected to " + where + ", " + *note);
            const auto toNote =
                std::chrono::ceil<std::chrono::milliseconds>(silence.NoteAt() - now).count();
            pollfd fds[2] = {{sock, POLLIN, 0}, {FWake.ReadFd(), POLLIN, 0}};
            if (poll(fds, 2, static_cast<int>(std::clamp<std::int64_t>(toNote, 0, 60000))) < 0 &&
                errno != EINTR) {
                lost = ErrnoText(errno);
                break;
            }
            if (FStop)
                break;
            if (!(fds[0].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            const ssize_t got = recv(sock, buffer, sizeof buffer, 0);
            if (got == 0)
                break;
            if (got < 0) {
                if (errno == EINTR || errno == EAGAIN)
                    continue;
                lost = ErrnoText(errno);
                break;
            }
            const std::uint64_t before = deframer.Garbage();
            deframer.Feed(std::string_view(buffer, static_cast<std::size_t>(got)));
            FGarbage += deframer.Garbage() - before;
        }
        close(sock);
        FConnected = false;
        // A frame cut off by the disconnect must not run into the next connection's.
        deframer.Reset();
        if (FStop)
            break;
        State("lost " + where + ": " + lost + "; reconnecting in " +
              std::to_string(backoff / 1000) + " s");
        if (!Sleep(backoff))
            break;
        backoff = std::min(backoff * 2, kMaxBackoffMs);
    }
    State("stopped reading " + where);
}

TMonitorSource::TMonitorSource(std::string file, TLiveStations& live)
    : FFile(std::move(file)), FLive(live) {}

TMonitorSource::~TMonitorSource() {
    Stop();
    if (FFd > 0)
        close(FFd);
}

void TMonitorSource::Start() {
    if (FFile == "-") {
        FFd = 0;
    } else {
        FFd = open(FFile.c_str(), O_RDONLY | O_CLOEXEC);
        if (FFd < 0)
            throw std::runtime_error("cannot open the monitor file " + FFile + ": " +
                                     ErrnoText(errno));
    }
    FStop = false;
    FThread = std::thread([this] { Run(); });
}

void TMonitorSource::Stop() {
    FStop = true;
    FWake.Wake();
    if (FThread.joinable())
        FThread.join();
}

void TMonitorSource::Run() {
    const std::string where = FFile == "-" ? std::string("standard input") : FFile;
    if (OnState)
        OnState("reading monitor lines from " + where);
    aprs::TLineSplitter splitter; // a runaway line is skipped whole, not cut
    std::uint64_t lines = 0;
    const auto take = [this, &lines](std::string_view line) {
        if (line.empty())
            return;
        FLive.HandleMonitorLine(line);
        ++lines;
    };
    char buffer[4096];
    std::string ended = "end of input";
    while (!FStop) {
        pollfd fds[2] = {{FFd, POLLIN, 0}, {FWake.ReadFd(), POLLIN, 0}};
        if (poll(fds, 2, -1) < 0 && errno != EINTR)
            break;
        if (FStop)
            break;
        if (!(fds[0].revents & (POLLIN | POLLHUP | POLLERR)))
            continue;
        const ssize_t got = read(FFd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            if (got < 0)
                ended = ErrnoText(errno);
            break;
        }
        splitter.Feed(std::string_view(buffer, static_cast<std::size_t>(got)), take);
    }
    if (!FStop)
        splitter.Finish(take);
    FFinished = true;
    if (OnState)
        OnState("finished reading " + where + " (" + ended + ", " + std::to_string(lines) +
                " lines)");
}

} // namespace standin
