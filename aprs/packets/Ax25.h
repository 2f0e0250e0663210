#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

/// AX.25 UI frames as APRS uses them.
namespace aprs {

/// One address field: call sign with its SSID, and the has-been-repeated bit.
struct TAx25Address {
    std::string call; ///< "N0CALL" or "N0CALL-7"
    bool repeated = false;
};

/// A decoded UI frame carrying APRS (control 0x03, PID 0xF0).
struct TAx25Frame {
    TAx25Address destination;
    TAx25Address source;
    std::vector<TAx25Address> digipeaters; ///< at most 8
    std::string information;               ///< trailing CR and LF removed
};

/// The outcome of decoding: a frame, or why there is none.
struct TAx25Result {
    std::optional<TAx25Frame> frame;
    std::string reason; ///< set when frame is empty
};

/// Decodes an AX.25 frame without flags and FCS (as KISS carries it). Frames
/// that are not UI frames with PID 0xF0, or whose address fields are broken,
/// give a reason instead.
TAx25Result DecodeAx25(std::string_view bytes);

/// The path of a frame in monitor form: digipeaters separated by commas, with
/// "*" after the last one that has repeated the frame. Empty without digipeaters.
std::string MonitorPath(const TAx25Frame& frame);

/// The frame as a TNC2 monitor line: SOURCE>DEST[,PATH]:information.
std::string MonitorLine(const TAx25Frame& frame);

/// Builds the AX.25 bytes of a UI frame from monitor-form parts (for tests
/// and benchmarks). A "*" on a path element sets that element's and every
/// earlier element's has-been-repeated bit. Returns empty on a bad call.
std::string EncodeAx25(std::string_view source, std::string_view destination,
                       const std::vector<std::string>& path, std::string_view information);

} // namespace aprs
