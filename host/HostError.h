#pragma once

#include <stdexcept>
#include <string>

namespace host {

/// A failed call on the host. The message is the host's own description of
/// the failure (or, when it gave none, a text naming the call).
class EHostError : public std::runtime_error {
public:
    explicit EHostError(const std::string& description) : std::runtime_error(description) {}
};

/// The text raised when a component is used while it holds no interface.
inline constexpr const char* kNotConnectedText =
    "DefaultInterface is NULL. Component is not connected to Server. You must call 'Connect' or "
    "'ConnectTo' before this operation";

} // namespace host
