#include "aprs/ChannelStats.h"

#include "aprs/Ax25.h"
#include "support/TextRules.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace aprs {

namespace {

constexpr std::size_t kFlagBits = 8;

std::size_t Slot(std::int64_t value, std::size_t size) {
    const auto n = static_cast<std::int64_t>(size);
    return static_cast<std::size_t>(((value % n) + n) % n);
}

/// What stuffing does to one byte, sent least significant bit first, after a
/// run of 1s: the bits it takes and the run it leaves.
struct TStuffStep {
    std::uint8_t bits = 0;
    std::uint8_t ones = 0;
};

constexpr std::array<std::array<TStuffStep, 256>, 5> MakeStuffTable() {
    std::array<std::array<TStuffStep, 256>, 5> table{};
    for (int run = 0; run < 5; ++run)
        for (int value = 0; value < 256; ++value) {
            int bits = 0, ones = run;
            for (int i = 0; i < 8; ++i) {
                ++bits;
                if (((value >> i) & 1) == 0) {
                    ones = 0;
                } else if (++ones == 5) {
                    ++bits; // the stuffed 0
                    ones = 0;
                }
            }
            table[run][value] = {static_cast<std::uint8_t>(bits), static_cast<std::uint8_t>(ones)};
        }
    return table;
}

constexpr auto kStuffTable = MakeStuffTable();

constexpr std::array<std::uint16_t, 256> MakeCrcTable() {
    std::array<std::uint16_t, 256> table{};
    for (int value = 0; value < 256; ++value) {
        auto crc = static_cast<std::uint16_t>(value);
        for (int i = 0; i < 8; ++i)
            crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0x8408)
                            : static_cast<std::uint16_t>(crc >> 1);
        table[value] = crc;
    }
    return table;
}

constexpr auto kCrcTable = MakeCrcTable();

/// Counts the bits of bytes sent with stuffing, carrying the run of 1s from
/// one call to the next.
std::size_t Stuff(std::string_view bytes, int& ones) {
    std::size_t bits = 0;
    for (const char c : bytes) {
        const TStuffStep step = kStuffTable[ones][static_cast<unsigned char>(c)];
        bits += step.bits;
        ones = step.ones;
    }
    return bits;
}

} // namespace

std::uint16_t Ax25Fcs(std::string_view bytes) {
    std::uint16_t crc = 0xFFFF;
    for (const char c : bytes)
        crc = static_cast<std::uint16_t>((crc >> 8) ^
                                         kCrcTable[(crc ^ static_cast<unsigned char>(c)) & 0xFF]);
    return static_cast<std::uint16_t>(~crc);
}

std::size_t StuffedBits(std::string_view bytes) {
    int ones = 0;
    return Stuff(bytes, ones);
}

std::size_t Ax25AirBits(std::string_view frame) {
    // The check sequence and the stuffing in one pass: two independent chains
    // the processor runs side by side.
    std::uint16_t crc = 0xFFFF;
    int ones = 0;
    std::size_t body = 0;
    for (const char c : frame) {
        const auto byte = static_cast<unsigned char>(c);
        crc = static_cast<std::uint16_t>((crc >> 8) ^ kCrcTable[(crc ^ byte) & 0xFF]);
        const TStuffStep step = kStuffTable[ones][byte];
        body += step.bits;
        ones = step.ones;
    }
    crc = static_cast<std::uint16_t>(~crc);
    // The FCS goes out low byte first, stuffed together with the frame.
    const char tail[2] = {static_cast<char>(crc & 0xFF), static_cast<char>(crc >> 8)};
    return kFlagBits + body + Stuff(std::string_view(tail, 2), ones) + kFlagBits;
}

std::size_t MonitorAirBits(const TMonitorPacket& packet) {
    std::vector<std::string> path;
    for (std::string_view rest = packet.path; !rest.empty();) {
        const auto comma = rest.find(',');
        path.emplace_back(rest.substr(0, comma));
        rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
    }
    const std::string frame =
        EncodeAx25(packet.source, packet.destination, path, packet.information);
    if (!frame.empty())
        return Ax25AirBits(frame);
    const std::size_t bytes = 7 * (2 + path.size()) + 2 + packet.information.size() + 2;
    return 8 * bytes + 16;
}

std::string FormatChannelTable(const TChannelFigures& figures) {
    char line[160];
    std::string text;
    std::snprintf(line, sizeof line, "Channel, last 30 minutes (1200 baud, TX delay %.0f ms)\n",
                  figures.txDelaySeconds * 1000.0);
    text += line;
    std::snprintf(line, sizeof line,
                  "  frames heard       %llu (of %llu the ALOHA computation calls saturated)\n",
                  static_cast<unsigned long long>(figures.frames),
                  static_cast<unsigned long long>(kSaturationPackets));
    text += line;
    std::snprintf(line, sizeof line, "  airtime            %.1f s\n", figures.airtimeSeconds);
    text += line;
    std::snprintf(line, sizeof line, "  occupancy          %.1f %%%s%s%s\n",
                  figures.occupancyPercent, figures.overfull ? " (" : "",
                  figures.overfull ? kOverfullNote : "", figures.overfull ? ")" : "");
    text += line;
    std::snprintf(line, sizeof line, "  stations heard     %zu\n", figures.stations);
    text += line;
    if (figures.stationsDropped > 0) {
        std::snprintf(line, sizeof line,
                      "  stations dropped   %llu (heard longest ago, to keep the table bounded)\n",
                      static_cast<unsigned long long>(figures.stationsDropped));
        text += line;
    }
    if (figures.refusedCalls > 0) {
        std::snprintf(line, sizeof line, "  calls refused      %llu (with control characters)\n",
                      static_cast<unsigned long long>(figures.refusedCalls));
        text += line;
    }
    text += "Top talkers      measured  estimated\n";
    for (const TChannelTalker& talker : figures.talkers) {
        const std::string estimated =
            talker.estimated < 0 ? std::string("-") : std::to_string(talker.estimated);
        std::snprintf(line, sizeof line, "  %-14s %8u  %9s\n", talker.name.c_str(), talker.measured,
                      estimated.c_str());
        text += line;
    }
    return text;
}

TChannelStats::TChannelStats(std::function<double()> clock, std::size_t maxStations)
    : FClock(std::move(clock)), FMaxStations(std::max<std::size_t>(maxStations, 1)) {}

void TChannelStats::Advance(std::int64_t second) {
    if (!FStarted) {
        FStarted = true;
        FSecond = second;
        return;
    }
    // A clock that steps back counts into the newest second.
    if (second <= FSecond)
        return;
    const std::int64_t steps = std::min<std::int64_t>(second - FSecond, kWindowSeconds);
    for (std::int64_t i = 1; i <= steps; ++i) {
        TSecond& old = FRing[Slot(FSecond + i, kSeconds)];
        FFrames -= old.frames;
        FBits -= old.bits;
        old = {};
    }
    FSecond = second;
}

void TChannelStats::ForgetQuiet(std::int64_t step) {
    while (!FStations.empty() &&
           FStations.front().lastStep <= step - static_cast<std::int64_t>(kSteps)) {
        FByName.erase(FStations.front().name);
        FStations.pop_front();
    }
}

std::uint32_t TChannelStats::InWindow(const TStationWindow& station, std::int64_t step) {
    // The steps both in the window and still held by the station's ring.
    const std::int64_t first =
        std::max(station.lastStep, step) - static_cast<std::int64_t>(kSteps) + 1;
    std::uint32_t count = 0;
    for (std::int64_t s = first; s <= station.lastStep; ++s)
        count += station.steps[Slot(s, kSteps)];
    return count;
}

void TChannelStats::Add(std::string_view name, std::size_t airBits) {
    const double now = FClock();
    Advance(static_cast<std::int64_t>(std::floor(now)));
    TSecond& second = FRing[Slot(FSecond, kSeconds)];
    ++second.frames;
    second.bits += airBits;
    ++FFrames;
    FBits += airBits;

    const auto step = static_cast<std::int64_t>(std::floor(now / kStationStepSeconds));
    // No station is called so, and such a name would garble a table or a
    // terminal: the frame counts for the channel only.
    if (support::HasControlCharacter(name)) {
        ++FRefusedCalls;
        name = {};
    }
    if (name.empty()) {
        ForgetQuiet(step);
        return;
    }
    auto found = FByName.find(std::string(name));
    if (found == FByName.end()) {
        ForgetQuiet(step);
        if (FStations.size() >= FMaxStations) {
            FByName.erase(FStations.front().name);
            FStations.pop_front();
            ++FStationsDropped;
        }
        FStations.push_back(TStationWindow{std::string(name), step, {}});
        found = FByName.emplace(std::string(name), std::prev(FStations.end())).first;
    } else {
        TStationWindow& station = *found->second;
        // Steps that have passed since its last frame start empty.
        const std::int64_t passed =
            std::min<std::int64_t>(step - station.lastStep, static_cast<std::int64_t>(kSteps));
        for (std::int64_t i = 1; i <= passed; ++i)
            station.steps[Slot(station.lastStep + i, kSteps)] = 0;
        station.lastStep = std::max(station.lastStep, step);
        FStations.splice(FStations.end(), FStations, found->second);
    }
    TStationWindow& station = *found->second;
    ++station.steps[Slot(station.lastStep, kSteps)];
    ForgetQuiet(step);
}

TChannelFigures TChannelStats::Figures(std::size_t topTalkers) {
    const double now = FClock();
    Advance(static_cast<std::int64_t>(std::floor(now)));
    const auto step = static_cast<std::int64_t>(std::floor(now / kStationStepSeconds));
    ForgetQuiet(step);

    TChannelFigures figures;
    figures.frames = FFrames;
    figures.bits = FBits;
    figures.txDelaySeconds = FTxDelaySeconds;
    figures.airtimeSeconds =
        static_cast<double>(FFrames) * FTxDelaySeconds + static_cast<double>(FBits) / kChannelBaud;
    // More than the window holds is no measure of one channel: capped, and said.
    const double share = 100.0 * figures.airtimeSeconds / kWindowSeconds;
    figures.overfull = share > 100.0;
    figures.occupancyPercent = std::min(share, 100.0);
    figures.stations = FStations.size();
    figures.stationsDropped = FStationsDropped;
    figures.refusedCalls = FRefusedCalls;
    std::vector<TChannelTalker> all;
    all.reserve(FStations.size());
    for (const TStationWindow& station : FStations)
        all.push_back({station.name, InWindow(station, step), -1});
    const std::size_t top = std::min(topTalkers, all.size());
    std::partial_sort(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(top), all.end(),
                      [](const TChannelTalker& a, const TChannelTalker& b) {
                          return a.measured != b.measured ? a.measured > b.measured
                                                          : a.name < b.name;
                      });
    all.resize(top);
    figures.talkers = std::move(all);
    return figures;
}

} // namespace aprs
