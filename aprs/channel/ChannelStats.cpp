#include "aprs/channel/ChannelStats.h"

#include "aprs/packets/Ax25.h"
#include "support/TextRules.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <istream>
#include <limits>
#include <ostream>
#include <sstream>
#include <stdexcept>

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

void TChannelStats::Dropped(const std::string& name) {
    // A 64-bit FNV-1a hash of the call, never 0 (an empty slot), kept in an
    // open-addressed table of 2^20 slots (8 MB, made at the first drop).
    constexpr std::size_t kSlots = std::size_t{1} << 20;
    constexpr std::size_t kMostCalls = kSlots / 4 * 3;
    std::uint64_t hash = 0xCBF29CE484222325ull;
    for (const char c : name)
        hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001B3ull;
    hash |= 1;
    if (FDroppedCalls.empty())
        FDroppedCalls.resize(kSlots);
    if (FDroppedCount < kMostCalls) {
        std::size_t slot = static_cast<std::size_t>(hash >> 20) % kSlots;
        while (FDroppedCalls[slot] != 0) {
            if (FDroppedCalls[slot] == hash)
                return; // dropped before
            slot = (slot + 1) % kSlots;
        }
        FDroppedCalls[slot] = hash;
        ++FDroppedCount;
    }
    ++FStationsDropped;
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

std::uint64_t* TChannelStats::AddFrames(std::string_view name, std::uint32_t frames,
                                        std::uint64_t airBits, std::uint8_t kinds) {
    const double now = FClock();
    Advance(static_cast<std::int64_t>(std::floor(now)));
    TSecond& second = FRing[Slot(FSecond, kSeconds)];
    second.frames += frames;
    second.bits += airBits;
    FFrames += frames;
    FBits += airBits;

    const auto step = static_cast<std::int64_t>(std::floor(now / kStationStepSeconds));
    // No station is called so, and such a name would garble a table or a
    // terminal: the frame counts for the channel only.
    if (support::HasControlCharacter(name)) {
        FRefusedCalls += frames;
        name = {};
    }
    if (name.empty()) {
        ForgetQuiet(step);
        return nullptr;
    }
    auto found = FByName.find(std::string(name));
    if (found == FByName.end()) {
        ForgetQuiet(step);
        if (FStations.size() >= FMaxStations) {
            Dropped(FStations.front().name);
            FByName.erase(FStations.front().name);
            FStations.pop_front();
        }
        FStations.push_back(TStationWindow{std::string(name), step, 0, {}, {}});
        found = FByName.emplace(std::string(name), std::prev(FStations.end())).first;
    } else {
        TStationWindow& station = *found->second;
        // Steps that have passed since its last frame start empty.
        const std::int64_t passed =
            std::min<std::int64_t>(step - station.lastStep, static_cast<std::int64_t>(kSteps));
        for (std::int64_t i = 1; i <= passed; ++i) {
            station.steps[Slot(station.lastStep + i, kSteps)] = 0;
            station.kinds[Slot(station.lastStep + i, kSteps)] = 0;
        }
        station.lastStep = std::max(station.lastStep, step);
        FStations.splice(FStations.end(), FStations, found->second);
    }
    TStationWindow& station = *found->second;
    station.steps[Slot(station.lastStep, kSteps)] += frames;
    station.kinds[Slot(station.lastStep, kSteps)] |= kinds;
    ForgetQuiet(step);
    return &station.tag;
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

std::array<double, TChannelStats::kWindowSeconds / 60> TChannelStats::AirtimePerMinute() {
    Advance(static_cast<std::int64_t>(std::floor(FClock())));
    std::array<double, kWindowSeconds / 60> minutes{};
    if (!FStarted)
        return minutes;
    // Second i of the ring, oldest first, lies i + 1 seconds after the
    // window's start; the newest counts in the last minute.
    for (std::int64_t i = 0; i < kWindowSeconds; ++i) {
        const TSecond& second = FRing[Slot(FSecond - kWindowSeconds + 1 + i, kSeconds)];
        if (second.frames > 0)
            minutes[static_cast<std::size_t>(std::min<std::int64_t>((i + 1) / 60, 29))] +=
                second.frames * FTxDelaySeconds + static_cast<double>(second.bits) / kChannelBaud;
    }
    return minutes;
}

std::vector<std::pair<double, std::uint8_t>> TChannelStats::StationSteps(std::string_view name) {
    const double now = FClock();
    const auto step = static_cast<std::int64_t>(std::floor(now / kStationStepSeconds));
    std::vector<std::pair<double, std::uint8_t>> steps;
    const auto found = FByName.find(std::string(name));
    if (found == FByName.end())
        return steps;
    const TStationWindow& station = *found->second;
    const double start = now - kWindowSeconds;
    const std::int64_t first =
        std::max(station.lastStep, step) - static_cast<std::int64_t>(kSteps) + 1;
    for (std::int64_t s = first; s <= station.lastStep; ++s) {
        const std::size_t slot = Slot(s, kSteps);
        if (station.steps[slot] == 0)
            continue;
        const double middle = (static_cast<double>(s) + 0.5) * kStationStepSeconds;
        steps.emplace_back(std::clamp(middle - start, 0.0, static_cast<double>(kWindowSeconds)),
                           station.kinds[slot]);
    }
    return steps;
}

namespace {

constexpr const char* kSavedHeader = "velloran-channel-window 1";

[[noreturn]] void Damaged(const std::string& what) {
    throw std::runtime_error(what);
}

std::int64_t ReadInt(std::istream& in, const char* what) {
    std::int64_t value = 0;
    if (!(in >> value))
        Damaged(std::string("no number for ") + what);
    return value;
}

} // namespace

void TChannelStats::Save(std::ostream& out) const {
    out << kSavedHeader << '\n';
    out << "second " << FSecond << " dropped " << FStationsDropped << " refused " << FRefusedCalls
        << '\n';
    std::size_t used = 0;
    for (const TSecond& second : FRing)
        used += second.frames > 0 ? 1 : 0;
    out << "seconds " << (FStarted ? used : 0) << '\n';
    for (std::int64_t s = FSecond - kWindowSeconds + 1; FStarted && s <= FSecond; ++s) {
        const TSecond& second = FRing[Slot(s, kSeconds)];
        if (second.frames > 0)
            out << s << ' ' << second.frames << ' ' << second.bits << '\n';
    }
    out << "stations " << FStations.size() << '\n';
    // Least recently heard first, so that the table is rebuilt in its order.
    for (const TStationWindow& station : FStations) {
        out << station.name << '\t' << station.lastStep;
        for (std::int64_t s = station.lastStep - static_cast<std::int64_t>(kSteps) + 1;
             s <= station.lastStep; ++s) {
            const std::size_t slot = Slot(s, kSteps);
            if (station.steps[slot] > 0)
                out << '\t' << s << ' ' << station.steps[slot] << ' '
                    << static_cast<unsigned>(station.kinds[slot]);
        }
        out << '\n';
    }
    out << "end\n";
}

std::int64_t TChannelStats::Restore(std::istream& in) {
    TChannelStats fresh(FClock, FMaxStations);
    fresh.FTxDelaySeconds = FTxDelaySeconds;
    std::string line;
    if (!std::getline(in, line) || line != kSavedHeader)
        Damaged("it does not start with \"" + std::string(kSavedHeader) + "\"");
    std::string word;
    if (!(in >> word) || word != "second")
        Damaged("no \"second\" line");
    fresh.FSecond = ReadInt(in, "the second");
    fresh.FStarted = true;
    if (!(in >> word) || word != "dropped")
        Damaged("no count of dropped stations");
    fresh.FStationsDropped =
        static_cast<std::uint64_t>(std::max<std::int64_t>(0, ReadInt(in, "dropped")));
    if (!(in >> word) || word != "refused")
        Damaged("no count of refused calls");
    fresh.FRefusedCalls =
        static_cast<std::uint64_t>(std::max<std::int64_t>(0, ReadInt(in, "refused")));
    if (!(in >> word) || word != "seconds")
        Damaged("no \"seconds\" line");
    const std::int64_t seconds = ReadInt(in, "the seconds");
    if (seconds < 0 || seconds > kWindowSeconds)
        Damaged("more seconds than the window holds");
    for (std::int64_t i = 0; i < seconds; ++i) {
        const std::int64_t s = ReadInt(in, "a second");
        const std::int64_t frames = ReadInt(in, "a second's frames");
        const std::int64_t bits = ReadInt(in, "a second's bits");
        if (s > fresh.FSecond || s <= fresh.FSecond - kWindowSeconds || frames <= 0 ||
            frames > std::numeric_limits<std::uint32_t>::max() || bits < 0)
            Damaged("a second out of the window: " + std::to_string(s));
        TSecond& second = fresh.FRing[Slot(s, kSeconds)];
        second.frames = static_cast<std::uint32_t>(frames);
        second.bits = static_cast<std::uint64_t>(bits);
        fresh.FFrames += second.frames;
        fresh.FBits += second.bits;
    }
    if (!(in >> word) || word != "stations")
        Damaged("no \"stations\" line");
    const std::int64_t stations = ReadInt(in, "the stations");
    if (stations < 0 || static_cast<std::uint64_t>(stations) > FMaxStations)
        Damaged("more stations than the table holds");
    std::getline(in, line);
    for (std::int64_t i = 0; i < stations; ++i) {
        if (!std::getline(in, line))
            Damaged("fewer stations than it says");
        const auto tab = line.find('\t');
        const std::string name = line.substr(0, tab);
        if (tab == std::string::npos || name.empty() || support::HasControlCharacter(name) ||
            fresh.FByName.count(name) > 0)
            Damaged("a station line that is not one: " + line.substr(0, 40));
        std::istringstream fields(line.substr(tab + 1));
        TStationWindow station{name, ReadInt(fields, "a station's last step"), 0, {}, {}};
        if (station.lastStep > fresh.FSecond / kStationStepSeconds + 1)
            Damaged(name + " heard after the window's end");
        std::int64_t s = 0;
        while (fields >> s) {
            const std::int64_t frames = ReadInt(fields, "a step's frames");
            const std::int64_t kinds = ReadInt(fields, "a step's kinds");
            if (s > station.lastStep || s <= station.lastStep - static_cast<std::int64_t>(kSteps) ||
                frames <= 0 || frames > std::numeric_limits<std::uint32_t>::max() || kinds < 0 ||
                kinds > 255)
                Damaged("a step out of " + name + "'s window");
            station.steps[Slot(s, kSteps)] = static_cast<std::uint32_t>(frames);
            station.kinds[Slot(s, kSteps)] = static_cast<std::uint8_t>(kinds);
        }
        if (!fields.eof())
            Damaged("a station line that is not one: " + line.substr(0, 40));
        fresh.FStations.push_back(std::move(station));
        fresh.FByName.emplace(name, std::prev(fresh.FStations.end()));
    }
    if (!(in >> word) || word != "end")
        Damaged("it ends early");
    FSecond = fresh.FSecond;
    FStarted = true;
    FRing = fresh.FRing;
    FFrames = fresh.FFrames;
    FBits = fresh.FBits;
    FStationsDropped = fresh.FStationsDropped;
    FRefusedCalls = fresh.FRefusedCalls;
    FStations = std::move(fresh.FStations);
    FByName = std::move(fresh.FByName);
    return FSecond;
}

} // namespace aprs
