#pragma once

#include <stdexcept>
#include <string>

namespace host {

/// Why a host call failed, as far as the operator is concerned.
enum class THostFailure {
    Failed,       ///< the host answered with an error
    Gone,         ///< the host's process or connection has gone away
    NotAnswering, ///< the host is there but does not answer (stopped or hung)
    NotInstalled  ///< no host is installed or registered to be started
};

/// A failed call on the host. The message is the host's own description of
/// the failure (or, when it gave none, a text naming the call).
class EHostError : public std::runtime_error {
public:
    explicit EHostError(const std::string& description, THostFailure failure = THostFailure::Failed)
        : std::runtime_error(description), FFailure(failure) {}
    THostFailure Failure() const { return FFailure; }

private:
    THostFailure FFailure;
};

/// The text raised when a component is used while it holds no interface.
inline constexpr const char* kNotConnectedText =
    "DefaultInterface is NULL. Component is not connected to Server. You must call 'Connect' or "
    "'ConnectTo' before this operation";

} // namespace host
