#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

/// Where a TNC listens and how it speaks.
namespace aprs {

enum class TTncProtocol {
    Kiss, ///< KISS over TCP (Dire Wolf's port 8001 and other software TNCs)
    Agw,  ///< the AGW packet engine protocol (port 8000)
};

struct TTncAddress {
    TTncProtocol protocol = TTncProtocol::Kiss;
    std::string host;
    std::string port;
};

/// Splits "HOST:PORT" (the host may be "[v6]"); false when the text is not of
/// that form or the port is not 1 to 65535.
bool SplitHostPort(const std::string& text, std::string& host, std::string& port);

/// Reads "kiss://HOST:PORT" or "agw://HOST:PORT" (the scheme in any case).
/// Empty, with the reason set, when the text is neither.
std::optional<TTncAddress> ParseTncUrl(std::string_view text, std::string& reason);

/// The address as ParseTncUrl reads it.
std::string TncUrl(const TTncAddress& address);

} // namespace aprs
