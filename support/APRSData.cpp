#include "support/APRSData.h"

namespace support {

using namespace std::string_view_literals;

// The first two entries begin with a blank, entries 2 and 3 with the Mic-E
// control characters 0x1C and 0x1D.
const std::array<std::string_view, kPacketTypeCount> PacketTypeTexts = {
    " Unknown/Invalid"sv,
    " Beacon"sv,
    "\x1C"
    "Current Mic-E Data (Rev 0 beta)"sv,
    "\x1D"
    "Old Mic-E Data (Rev 0 beta)"sv,
    "!Position without timestamp (no APRS messaging), or Ultimeter 2000 WX Station"sv,
    "#Peet Bros U-II Weather Station"sv,
    "$Raw GPS data or Ultimeter 2000"sv,
    "%Agrelo DFJr / MicroFinder"sv,
    "&[Reserved - Map Feature]"sv,
    "'Old Mic-E Data (but current for TM-D700)"sv,
    ")Item"sv,
    "*Peet Bros U-II Weather Station"sv,
    "+[Reserver - Shelter data with time]"sv,
    ",Invalid data or test data"sv,
    ".[Reserver - Space Weather]"sv,
    "/Position with timestamp (no APRS messaging)"sv,
    ":Message"sv,
    ";Object"sv,
    "<Station Capabilities"sv,
    "=Position without timestamp (with APRS messaging)"sv,
    ">Status"sv,
    "?Query"sv,
    "@Position with timestamp (with APRS messaging)"sv,
    "TTelemetry data"sv,
    "[Maidenhead grid locator beacon (obsolete)"sv,
    "_Weather Report (without position)"sv,
    "`Current Mic-E data"sv,
    "{User-Defined APRS packet format"sv,
    "}Third-party traffic"sv,
};

std::string_view PacketTypeText(TPacketType type) {
    const auto index = static_cast<std::size_t>(type);
    return index < PacketTypeTexts.size() ? PacketTypeTexts[index] : PacketTypeTexts[0];
}

} // namespace support
