#pragma once

#include "host/HostError.h"

#include <cstdlib>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

/// How long a host in another process may take to answer, and what a client
/// does once it has not answered in time: the same over D-Bus and over COM.
namespace host {

/// The time limit on an answer: VELLORAN_HOST_TIMEOUT_MS, or 10 seconds.
inline int HostAnswerLimitMs() {
    if (const char* text = std::getenv("VELLORAN_HOST_TIMEOUT_MS")) {
        const int value = std::atoi(text);
        if (value > 0)
            return value;
    }
    return 10000;
}

/// Once a call has run out of time, later calls fail at once (after a brief
/// check whether the host answers again) rather than each waiting out the
/// limit; the first call after the host answers again goes ahead.
///
/// Its errors name the host as the connector knows it: over the bus it is
/// always the stand-in host, over COM whatever host is registered, usually
/// the real one.
class TAnswerGate {
public:
    /// `host` starts the errors' sentences: "The stand-in host", "The host".
    explicit TAnswerGate(std::string host) : FHost(std::move(host)) {}

    /// Whether a call may be made: always, unless the host was found not
    /// answering and the brief check still finds it so.
    bool MayCall(const std::function<bool()>& answers) {
        if (FNotAnswering && !answers())
            return false;
        FNotAnswering = false;
        return true;
    }
    bool NotAnswering() const { return FNotAnswering; }
    /// The host answered (again).
    void Answered() { FNotAnswering = false; }

    /// The error of a call that was not made, or given up at once.
    EHostError NotCalled(std::string_view method,
                         THostFailure failure = THostFailure::NotAnswering) const {
        return EHostError(FHost + " is not answering; " + std::string(method) + " was not called",
                          failure);
    }
    /// The error of a call made while another still waits for its answer
    /// (from what the window does meanwhile).
    EHostError StillAnswering(std::string_view method) const {
        return EHostError(FHost + " is still answering an earlier call; " + std::string(method) +
                              " was not called",
                          THostFailure::NotAnswering);
    }
    /// A call ran out of time: its error; later calls go through MayCall.
    EHostError TimedOut(std::string_view method, int limitMs) {
        FNotAnswering = true;
        return EHostError(FHost + " did not answer " + std::string(method) + " within " +
                              std::to_string(limitMs) + " ms",
                          THostFailure::NotAnswering);
    }

private:
    std::string FHost;
    bool FNotAnswering = false;
};

} // namespace host
