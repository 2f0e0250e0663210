#include "aprs/link/TncAddress.h"

#include <algorithm>

namespace aprs {

bool SplitHostPort(const std::string& text, std::string& host, std::string& port) {
    const auto colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == text.size())
        return false;
    host = text.substr(0, colon);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    port = text.substr(colon + 1);
    if (port.size() > 5 ||
        !std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    const int number = std::stoi(port);
    return number >= 1 && number <= 65535;
}

namespace {

/// The text between single quotes. Built in a buffer of its own: GCC 12 at
/// -O3 warns falsely (-Wrestrict) on "literal" + std::string temporaries.
std::string Quoted(std::string_view text) {
    std::string quoted;
    quoted.reserve(text.size() + 2);
    quoted.push_back('\'');
    quoted.append(text.data(), text.size());
    quoted.push_back('\'');
    return quoted;
}

} // namespace

std::optional<TTncAddress> ParseTncUrl(std::string_view text, std::string& reason) {
    const auto sep = text.find("://");
    std::string scheme(text.substr(0, sep == std::string_view::npos ? 0 : sep));
    std::transform(scheme.begin(), scheme.end(), scheme.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
    TTncAddress address;
    if (scheme == "kiss") {
        address.protocol = TTncProtocol::Kiss;
    } else if (scheme == "agw") {
        address.protocol = TTncProtocol::Agw;
    } else {
        reason = Quoted(text) + " is not kiss://HOST:PORT or agw://HOST:PORT";
        return std::nullopt;
    }
    if (!SplitHostPort(std::string(text.substr(sep + 3)), address.host, address.port)) {
        reason = Quoted(text) + " does not end in HOST:PORT with a port of 1 to 65535";
        return std::nullopt;
    }
    return address;
}

std::string TncUrl(const TTncAddress& address) {
    const bool v6 = address.host.find(':') != std::string::npos;
    return std::string(address.protocol == TTncProtocol::Agw ? "agw://" : "kiss://") +
           (v6 ? "[" + address.host + "]" : address.host) + ":" + address.port;
}

} // namespace aprs
