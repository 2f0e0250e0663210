#pragma once

#include "support/APRSData.h"

#include <optional>
#include <string>
#include <string_view>

/// Decoding the APRS information fields that place a station on the map.
namespace aprs {

/// A packet in monitor form, split into its parts.
struct TMonitorPacket {
    std::string source;
    std::string destination;
    std::string path; ///< digipeaters as heard, "*" included; empty without
    std::string information;
};

/// A monitor line split with the monitor-line pattern, or why it cannot be.
struct TMonitorResult {
    std::optional<TMonitorPacket> packet;
    std::string reason;
};

/// Splits a TNC2 monitor line (SOURCE>DEST[,PATH]:information) with the
/// program's monitor-line pattern; the APRS patterns must be initialized.
/// A trailing CR/LF is ignored. A source call of more than 9 characters is
/// refused rather than cut to its last 9.
TMonitorResult ParseMonitorLine(std::string_view line);

/// What a packet says about the station it places.
struct TAprsReport {
    support::TPacketType type = support::TPacketType::ptUnknown;
    /// The station: the source call, or the object's or item's name.
    std::string name;
    bool hasPosition = false;
    double latitude = 0.0;  ///< degrees, north positive
    double longitude = 0.0; ///< degrees, east positive
    char symbolTable = '\0';
    char symbolCode = '\0';
    bool hasSpeed = false;
    double speedKmh = 0.0;
    int course = 0;    ///< degrees, when hasSpeed
    bool alive = true; ///< false for a killed object or item
    bool thirdParty = false;
    /// The position is the centre of a Maidenhead square from a status
    /// report: rough, to be used only when nothing better is known.
    bool locator = false;
    /// The path the station list shows: destination, then the digipeaters as
    /// heard; for a third-party packet the inner destination and path with
    /// the IGate that put it on the air starred last.
    std::string path;
};

/// A decoded packet, or why it cannot be decoded.
struct TAprsResult {
    std::optional<TAprsReport> report;
    std::string reason;
};

/// Decodes an APRS packet. A packet without a position (a message, a status,
/// weather without position, a GPS sentence without a fix) still decodes,
/// with hasPosition false. Malformed position data, a corrupt Mic-E packet or
/// a GPS sentence whose checksum does not match gives a reason instead.
TAprsResult DecodeAprs(const TMonitorPacket& packet);

} // namespace aprs
