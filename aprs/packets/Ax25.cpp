#include "aprs/packets/Ax25.h"

namespace aprs {

namespace {

constexpr std::size_t kAddressLength = 7;
constexpr std::size_t kMaxDigipeaters = 8;

bool CallCharacter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

/// Decodes the address at `at`; returns a reason on failure.
std::string DecodeAddress(std::string_view bytes, std::size_t at, TAx25Address& address,
                          bool& last) {
    std::string call;
    bool padding = false;
    for (std::size_t i = 0; i < 6; ++i) {
        const auto byte = static_cast<std::uint8_t>(bytes[at + i]);
        if (byte & 1)
            return "address field ends inside a call sign";
        const char c = static_cast<char>(byte >> 1);
        if (c == ' ') {
            padding = true;
        } else if (!CallCharacter(c) || padding) {
            return "bad character in a call sign";
        } else {
            call.push_back(c);
        }
    }
    if (call.empty())
        return "empty call sign";
    const auto ssidByte = static_cast<std::uint8_t>(bytes[at + 6]);
    const int ssid = (ssidByte >> 1) & 0x0F;
    // Appended piece by piece: GCC 12 at -O3 warns falsely (-Wrestrict) on
    // "literal" + std::string temporaries.
    if (ssid != 0) {
        call += '-';
        call += std::to_string(ssid);
    }
    address.call = std::move(call);
    address.repeated = (ssidByte & 0x80) != 0;
    last = (ssidByte & 1) != 0;
    return {};
}

bool EncodeCall(std::string_view text, std::string& out, bool repeated, bool last) {
    const auto dash = text.find('-');
    const std::string_view call = text.substr(0, dash);
    int ssid = 0;
    if (dash != std::string_view::npos) {
        const std::string_view digits = text.substr(dash + 1);
        if (digits.empty() || digits.size() > 2)
            return false;
        for (const char c : digits) {
            if (c < '0' || c > '9')
                return false;
            ssid = ssid * 10 + (c - '0');
        }
        if (ssid > 15)
            return false;
    }
    if (call.empty() || call.size() > 6)
        return false;
    for (std::size_t i = 0; i < 6; ++i) {
        const char c = i < call.size() ? call[i] : ' ';
        if (i < call.size() && !CallCharacter(c))
            return false;
        out.push_back(static_cast<char>(static_cast<std::uint8_t>(c) << 1));
    }
    out.push_back(static_cast<char>(0x60 | (ssid << 1) | (repeated ? 0x80 : 0) | (last ? 1 : 0)));
    return true;
}

} // namespace

TAx25Result DecodeAx25(std::string_view bytes) {
    TAx25Result result;
    if (bytes.size() < 2 * kAddressLength + 2) {
        result.reason = "frame too short (" + std::to_string(bytes.size()) + " bytes)";
        return result;
    }
    TAx25Frame frame;
    bool last = false;
    if (auto why = DecodeAddress(bytes, 0, frame.destination, last); !why.empty()) {
        result.reason = "destination: " + why;
        return result;
    }
    if (last) {
        result.reason = "address field ends after the destination";
        return result;
    }
    if (auto why = DecodeAddress(bytes, kAddressLength, frame.source, last); !why.empty()) {
        result.reason = "source: " + why;
        return result;
    }
    frame.destination.repeated = false; // command/response bits, not repeat marks
    frame.source.repeated = false;
    std::size_t at = 2 * kAddressLength;
    while (!last) {
        if (frame.digipeaters.size() == kMaxDigipeaters) {
            result.reason = "more than 8 digipeaters";
            return result;
        }
        if (at + kAddressLength > bytes.size()) {
            result.reason = "address field runs past the end of the frame";
            return result;
        }
        TAx25Address digi;
        if (auto why = DecodeAddress(bytes, at, digi, last); !why.empty()) {
            result.reason = "digipeater: " + why;
            return result;
        }
        frame.digipeaters.push_back(std::move(digi));
        at += kAddressLength;
    }
    if (at + 2 > bytes.size()) {
        result.reason = "no control and PID after the addresses";
        return result;
    }
    const auto control = static_cast<std::uint8_t>(bytes[at]);
    const auto pid = static_cast<std::uint8_t>(bytes[at + 1]);
    // The poll/final bit does not change what a UI frame carries.
    if ((control & ~0x10) != 0x03) {
        result.reason = "not a UI frame (control byte " + std::to_string(control) + ")";
        return result;
    }
    if (pid != 0xF0) {
        result.reason = "not a layer-3-less frame (PID " + std::to_string(pid) + ")";
        return result;
    }
    std::string_view info = bytes.substr(at + 2);
    while (!info.empty() && (info.back() == '\r' || info.back() == '\n'))
        info.remove_suffix(1);
    frame.information.assign(info);
    result.frame = std::move(frame);
    return result;
}

std::string MonitorPath(const TAx25Frame& frame) {
    std::size_t starred = frame.digipeaters.size();
    for (std::size_t i = 0; i < frame.digipeaters.size(); ++i)
        if (frame.digipeaters[i].repeated)
            starred = i;
    std::string path;
    for (std::size_t i = 0; i < frame.digipeaters.size(); ++i) {
        if (i)
            path += ',';
        path += frame.digipeaters[i].call;
        if (i == starred)
            path += '*';
    }
    return path;
}

std::string MonitorLine(const TAx25Frame& frame) {
    std::string line = frame.source.call;
    line += '>';
    line += frame.destination.call;
    if (!frame.digipeaters.empty()) {
        line += ',';
        line += MonitorPath(frame);
    }
    line += ':';
    line += frame.information;
    return line;
}

std::string EncodeAx25(std::string_view source, std::string_view destination,
                       const std::vector<std::string>& path, std::string_view information) {
    std::string out;
    std::size_t lastStar = 0;
    for (std::size_t i = 0; i < path.size(); ++i)
        if (!path[i].empty() && path[i].back() == '*')
            lastStar = i + 1;
    if (!EncodeCall(destination, out, false, false) ||
        !EncodeCall(source, out, false, path.empty()))
        return {};
    for (std::size_t i = 0; i < path.size(); ++i) {
        std::string_view call = path[i];
        if (!call.empty() && call.back() == '*')
            call.remove_suffix(1);
        if (!EncodeCall(call, out, i < lastStar, i + 1 == path.size()))
            return {};
    }
    out.push_back('\x03');
    out.push_back('\xF0');
    out.append(information);
    return out;
}

} // namespace aprs
