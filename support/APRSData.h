#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

/// The APRS packet record and the table of APRS data types.
namespace support {

/// APRS data type of a packet, named after the first character of its
/// information field. The numbering is stored with packets, so it never moves.
enum class TPacketType : std::uint8_t {
    ptUnknown = 0,
    ptBeacon = 1,
    ptMicECurrentRev0 = 2,
    ptMicEOldRev0 = 3,
    ptPositionNoTimeNoMessaging = 4,
    ptPeetBrosWx = 5,
    ptRawGps = 6,
    ptAgrelo = 7,
    ptMapFeature = 8,
    ptMicEOld = 9,
    ptItem = 10,
    ptPeetBrosWxStar = 11,
    ptShelterData = 12,
    ptInvalidOrTest = 13,
    ptSpaceWeather = 14,
    ptPositionTimeNoMessaging = 15,
    ptMessage = 16,
    ptObject = 17,
    ptStationCapabilities = 18,
    ptPositionNoTimeMessaging = 19,
    ptStatus = 20,
    ptQuery = 21,
    ptPositionTimeMessaging = 22,
    ptTelemetry = 23,
    ptMaidenhead = 24,
    ptWeatherReport = 25,
    ptMicECurrent = 26,
    ptUserDefined = 27,
    ptThirdParty = 28,
};

/// Number of values of TPacketType.
inline constexpr std::size_t kPacketTypeCount = 29;

/// For each packet type: its data-type identifier character followed directly
/// by a description. Our table keeps the texts as APRS users know them, its
/// "Reserver" spellings included.
extern const std::array<std::string_view, kPacketTypeCount> PacketTypeTexts;

/// The identifier-plus-description text of a packet type; an out-of-range
/// value gives the text of ptUnknown.
std::string_view PacketTypeText(TPacketType type);

/// One received APRS packet. The packet cache uses PacketType, Expires, Alive,
/// Valid, Text, Key, Time, AltTime and HasAltTime; the remaining fields are for
/// the producer of packets and its readers.
///
/// Times are days since 1899-12-30 00:00 UTC, the fraction being the time of day.
struct TPacket {
    /// APRS data type; Item and Object packets can kill a stored record.
    TPacketType PacketType = TPacketType::ptUnknown;
    /// Written by the cache when the packet is stored: governing time plus the expiry age.
    double Expires = 0.0;
    /// For Item and Object packets, false means the packet kills the record
    /// of its key. A packet is alive unless its producer says otherwise.
    bool Alive = true;
    /// Only valid records can be found by key. A record built by hand is
    /// taken as valid; a parser clears this for text it could not decode.
    bool Valid = true;
    /// The packet as received (the monitor line); passed on at expiry and logged.
    std::string Text;
    /// Identity of the record: a station, object or item name.
    std::string Key;
    /// Time of reception.
    double Time = 0.0;
    /// Alternative time, such as a time stamp carried in the packet itself.
    double AltTime = 0.0;
    /// Whether AltTime holds a time.
    bool HasAltTime = false;

    /// Source call sign.
    std::string Source;
    /// Destination field.
    std::string Destination;
    /// Digipeater path, as received.
    std::string Path;
    /// Information field after the data-type identifier.
    std::string Information;
};

} // namespace support
