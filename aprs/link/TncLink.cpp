#include "aprs/link/TncLink.h"

#include "aprs/link/Agw.h"
#include "aprs/link/TcpSocket.h"
#include "aprs/packets/Kiss.h"

#include <algorithm>
#include <chrono>

namespace aprs {

namespace {

constexpr int kConnectTimeoutMs = 10000;
/// How long a wait lasts before the link looks whether it is to stop.
constexpr int kStopCheckMs = 200;

} // namespace

std::string SilenceText(std::chrono::steady_clock::duration quiet) {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(quiet).count();
    return "nothing heard for " +
           (seconds < 60 ? std::to_string(seconds) + " s" : std::to_string(seconds / 60) + " min");
}

TSilenceWatch::TSilenceWatch(TClock::duration limit, TClock::time_point connectedAt,
                             std::uint64_t frames)
    : FLimit(limit), FEvery(std::min<TClock::duration>(limit, std::chrono::minutes(1))),
      FLastHeard(connectedAt), FNoteAt(connectedAt + limit), FFrames(frames) {}

std::optional<std::string> TSilenceWatch::Turn(std::uint64_t frames, TClock::time_point now) {
    if (frames != FFrames) {
        FFrames = frames;
        FLastHeard = now;
        FNoteAt = now + FLimit;
        const bool wasSilent = FSilent;
        FSilent = false;
        if (wasSilent)
            return "hearing frames again";
    } else if (now >= FNoteAt) {
        FSilent = true;
        FNoteAt = now + FEvery;
        return SilenceText(now - FLastHeard);
    }
    return std::nullopt;
}

std::string TncLinkText(const TTncLinkEvent& event, const std::string& url) {
    using TKind = TTncLinkEvent::TKind;
    const std::string retry = "; trying again in " + std::to_string(event.retrySeconds) + " s";
    switch (event.kind) {
    case TKind::Connecting:
        return "connecting to " + url;
    case TKind::CannotConnect:
        return "cannot connect to " + url + ": " + event.detail + retry;
    case TKind::CannotAsk:
        return "cannot ask " + url + " for raw frames: " + event.detail;
    case TKind::Connected:
        return "connected to " + url + event.detail;
    case TKind::Note:
        return "connected to " + url + ", " + event.detail;
    case TKind::Lost:
        return "lost " + url + " (" + event.detail + ")" + retry;
    case TKind::Stopped:
        break;
    }
    return "stopped listening to " + url;
}

TTncLink::TTncLink(TTncAddress address) : FAddress(std::move(address)), FUrl(TncUrl(FAddress)) {}

TTncLink::~TTncLink() {
    Stop();
}

void TTncLink::Start() {
    if (FThread.joinable())
        return;
    FStop = false;
    FThread = std::thread([this] { Run(); });
}

void TTncLink::Stop() {
    FStop = true;
    if (FThread.joinable())
        FThread.join();
}

void TTncLink::State(TTncLinkEvent::TKind kind, std::string detail, int retrySeconds) {
    if (!OnState)
        return;
    const TTncLinkEvent event{kind, std::move(detail), retrySeconds};
    OnState(Words ? Words(event) : TncLinkText(event, FUrl));
}

bool TTncLink::Sleep(int ms) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!FStop) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            until - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return true;
        std::this_thread::sleep_for(std::min(left, std::chrono::milliseconds(kStopCheckMs)));
    }
    return false;
}

void TTncLink::Run() {
    using TKind = TTncLinkEvent::TKind;
    const net::TSocketLibrary library;
    int backoff = kFirstBackoffMs;
    TKissDeframer kiss;
    kiss.OnFrame = [this](const TKissFrame& frame) {
        if (frame.command != 0) {
            if (OnKissCommand)
                OnKissCommand(frame);
            return;
        }
        ++FFrames;
        if (OnFrame)
            OnFrame(frame.data);
    };
    TAgwDeframer agw;
    bool confirmed = false; // the AGW engine answered after taking the request
    agw.OnFrame = [this, &confirmed](const TAgwFrame& frame) {
        if (!confirmed && frame.kind == 'R') {
            confirmed = true;
            State(TKind::Connected,
                  " (AGW engine version " + AgwVersion(frame) + "), raw frames on");
            return;
        }
        const std::string_view ax25 = AgwRawAx25(frame);
        if (ax25.empty())
            return; // answers to other clients' requests, say
        ++FFrames;
        if (OnFrame)
            OnFrame(ax25);
    };

    while (!FStop) {
        State(TKind::Connecting);
        net::TTcpSocket socket;
        std::string reason;
        if (!socket.Connect(FAddress.host, FAddress.port, kConnectTimeoutMs, reason, &FStop)) {
            if (FStop)
                break;
            State(TKind::CannotConnect, reason, backoff / 1000);
            if (!Sleep(backoff))
                break;
            backoff = std::min(backoff * 2, kLastBackoffMs);
            continue;
        }
        const bool isAgw = FAddress.protocol == TTncProtocol::Agw;
        if (isAgw && !socket.SendAll(AgwRawFramesRequest() + AgwVersionRequest(), reason)) {
            State(TKind::CannotAsk, reason);
            if (!Sleep(backoff))
                break;
            backoff = std::min(backoff * 2, kLastBackoffMs);
            continue;
        }
        kiss.Reset();
        agw.Reset();
        FConnected = true;
        ++FConnections;
        backoff = kFirstBackoffMs;
        confirmed = false;
        // An AGW engine is connected once it has answered.
        if (!isAgw)
            State(TKind::Connected);
        const auto connectedAt = std::chrono::steady_clock::now();
        const auto answerBy = connectedAt + std::chrono::seconds(10);
        TSilenceWatch silence(FSilenceLimit, connectedAt, FFrames);

        char buffer[4096];
        std::string lost;
        while (!FStop) {
            if (isAgw && !confirmed && std::chrono::steady_clock::now() > answerBy) {
                confirmed = true;
                State(TKind::Connected, " (no answer to the version query)");
            }
            const auto now = std::chrono::steady_clock::now();
            if (const auto note = silence.Turn(FFrames, now))
                State(TKind::Note, *note);
            const auto toNote =
                std::chrono::duration_cast<std::chrono::milliseconds>(silence.NoteAt() - now);
            const int ready = socket.WaitReadable(
                static_cast<int>(std::clamp<std::int64_t>(toNote.count() + 1, 1, kStopCheckMs)));
            if (ready == 0)
                continue;
            if (ready < 0) {
                lost = "waiting failed";
                break;
            }
            const long got = socket.Receive(buffer, sizeof buffer, reason);
            if (got == -2)
                continue;
            if (got <= 0) {
                lost = got == 0 ? "closed by the TNC" : reason;
                break;
            }
            const std::string_view bytes(buffer, static_cast<std::size_t>(got));
            if (isAgw) {
                agw.Feed(bytes);
                if (agw.Broken()) {
                    lost = "the AGW stream lost its framing";
                    break;
                }
            } else {
                kiss.Feed(bytes);
            }
        }
        FConnected = false;
        if (FStop)
            break;
        State(TKind::Lost, lost, backoff / 1000);
        if (!Sleep(backoff))
            break;
        backoff = std::min(backoff * 2, kLastBackoffMs);
    }
    State(TKind::Stopped);
}

} // namespace aprs
