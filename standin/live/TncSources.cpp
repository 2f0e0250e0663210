#include "standin/live/TncSources.h"

#include "aprs/packets/MonitorLines.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <unistd.h>

namespace standin {

namespace {

std::string ErrnoText(int error) {
    return std::strerror(error);
}

/// The host's own words for the link's states: its status line has always
/// named the TNC "KISS TNC HOST:PORT".
std::string HostWords(const aprs::TTncLinkEvent& event, const std::string& where) {
    using TKind = aprs::TTncLinkEvent::TKind;
    const std::string retry = std::to_string(event.retrySeconds) + " s";
    switch (event.kind) {
    case TKind::Connecting:
        return "connecting to " + where;
    case TKind::CannotConnect:
        return "cannot connect to " + where + ": " + event.detail + "; retrying in " + retry;
    case TKind::Lost:
        return "lost " + where + ": " + event.detail + "; reconnecting in " + retry;
    case TKind::Stopped:
        return "stopped reading " + where;
    case TKind::CannotAsk:
    case TKind::Connected:
    case TKind::Note:
        break;
    }
    return aprs::TncLinkText(event, where);
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
    : FLink({aprs::TTncProtocol::Kiss, std::move(host), std::move(port)}) {
    const std::string where = "KISS TNC " + FLink.Address().host + ":" + FLink.Address().port;
    FLink.OnFrame = [&live](std::string_view ax25) { live.HandleAx25(ax25); };
    // KISS commands are counted, and dropped, by the list.
    FLink.OnKissCommand = [&live](const aprs::TKissFrame& frame) { live.HandleKissFrame(frame); };
    FLink.Words = [where](const aprs::TTncLinkEvent& event) { return HostWords(event, where); };
    FLink.OnState = [this](const std::string& text) {
        if (OnState)
            OnState(text);
    };
}

TKissTcpSource::~TKissTcpSource() {
    Stop();
}

void TKissTcpSource::Start() {
    FLink.Start();
}

void TKissTcpSource::Stop() {
    FLink.Stop();
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
