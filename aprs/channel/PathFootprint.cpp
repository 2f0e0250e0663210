#include "aprs/channel/PathFootprint.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <map>
#include <numbers>

namespace aprs {

namespace {

constexpr double kEarthRadiusKm = 6371.0;
constexpr double kUntimed = std::numeric_limits<double>::infinity();
/// Own packets whose positions lie farther apart than this, or that report
/// at least this speed, come from a station on the move.
constexpr double kMovingKm = 1.0;
constexpr double kMovingKmh = 5.0;

char Upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

/// A call without "-0", which is the same as no SSID.
std::string_view WithoutZeroSsid(std::string_view call) {
    if (call.size() > 2 && call.ends_with("-0"))
        call.remove_suffix(2);
    return call;
}

std::string UpperCall(std::string_view call) {
    std::string upper(WithoutZeroSsid(call));
    std::transform(upper.begin(), upper.end(), upper.begin(), Upper);
    return upper;
}

/// What one path entry is.
struct TEntry {
    enum class TKind { Call, Numbered, Replaced, Internet };
    TKind kind = TKind::Call;
    std::uint32_t n = 1;    ///< hops a WIDEn-N or TRACEn-N started with
    std::uint32_t left = 0; ///< N: hops it has left
};

TEntry Classify(std::string_view entry) {
    TEntry result;
    // Without copies, as it is asked of every entry of every own frame; no
    // alias or construct is longer than this, so a longer entry is a call.
    char buffer[16];
    if (entry.size() > sizeof buffer)
        return result;
    std::transform(entry.begin(), entry.end(), buffer, Upper);
    const std::string_view upper = WithoutZeroSsid(std::string_view(buffer, entry.size()));
    const std::size_t dash = upper.find('-');
    const std::string_view base = upper.substr(0, dash);
    std::uint32_t ssid = 0;
    bool numericSsid = dash != std::string::npos && dash + 1 < upper.size();
    for (std::size_t i = dash == std::string::npos ? upper.size() : dash + 1; i < upper.size();
         ++i) {
        if (upper[i] < '0' || upper[i] > '9') {
            numericSsid = false;
            break;
        }
        ssid = ssid * 10 + static_cast<std::uint32_t>(upper[i] - '0');
    }
    if (base == "TCPIP" || base == "TCPXX" || base == "NOGATE" || base == "RFONLY" ||
        (entry.size() == 3 && entry[0] == 'q')) {
        result.kind = TEntry::TKind::Internet;
        return result;
    }
    if ((base == "RELAY" || base == "WIDE") && dash == std::string::npos) {
        result.kind = TEntry::TKind::Replaced;
        return result;
    }
    const bool numbered = (base.size() == 5 && base.starts_with("WIDE")) ||
                          (base.size() == 6 && base.starts_with("TRACE"));
    if (numbered && base.back() >= '1' && base.back() <= '7' &&
        (dash == std::string::npos || numericSsid)) {
        result.kind = TEntry::TKind::Numbered;
        result.n = static_cast<std::uint32_t>(base.back() - '0');
        result.left = ssid;
        return result;
    }
    if ((base == "TRACE" || base == "WIDE" || base == "RELAY") && numericSsid) {
        result.kind = TEntry::TKind::Numbered;
        result.n = std::max<std::uint32_t>(ssid, 1);
        result.left = ssid;
        return result;
    }
    if (base == "TRACE") {
        result.kind = TEntry::TKind::Numbered;
        result.n = 1;
        result.left = 1;
    }
    return result;
}

/// Calls f(entry, index) for each comma-separated entry of a path.
template <class F> void ForEachEntry(std::string_view path, F&& f) {
    for (std::size_t index = 0; !path.empty(); ++index) {
        const std::size_t comma = path.find(',');
        f(path.substr(0, comma), index);
        if (comma == std::string_view::npos)
            break;
        path.remove_prefix(comma + 1);
    }
}

std::string Rounded(double km) {
    return std::to_string(std::llround(km));
}

/// Walks a path as ReadPath reads it, calling onHop(call, hop) for each hop
/// taken (an empty call for a digipeater that did not insert its own), and
/// gives the hops the path asks for.
template <class F> std::uint32_t WalkPath(std::string_view path, F&& onHop) {
    std::size_t used = 0; // entries up to the last starred one
    ForEachEntry(path, [&used](std::string_view entry, std::size_t index) {
        if (entry.find('*') != std::string_view::npos)
            used = index + 1;
    });
    std::uint32_t hop = 0, asked = 0;
    bool afterCall = false;
    ForEachEntry(path, [&](std::string_view entry, std::size_t index) {
        while (!entry.empty() && entry.back() == '*')
            entry.remove_suffix(1);
        if (entry.empty())
            return;
        const TEntry kind = Classify(entry);
        if (index >= used) {
            // Not yet used: what the path still asks for.
            if (kind.kind == TEntry::TKind::Call || kind.kind == TEntry::TKind::Replaced)
                ++asked;
            else if (kind.kind == TEntry::TKind::Numbered)
                asked += kind.left;
            return;
        }
        switch (kind.kind) {
        case TEntry::TKind::Call:
            onHop(entry, ++hop);
            afterCall = true;
            return;
        case TEntry::TKind::Numbered:
            // Right after a call it marks that digipeater's hop; on its own
            // it was used by digipeaters that did not insert their call.
            if (!afterCall)
                for (std::uint32_t k = kind.n > kind.left ? kind.n - kind.left : 1; k > 0; --k)
                    onHop(std::string_view(), ++hop);
            asked += kind.left; // what it still has to give
            break;
        case TEntry::TKind::Replaced:
            onHop(std::string_view(), ++hop);
            break;
        case TEntry::TKind::Internet:
            break;
        }
        afterCall = false;
    });
    return asked + hop;
}

} // namespace

TPathReading ReadPath(std::string_view path) {
    TPathReading reading;
    reading.asked = WalkPath(path, [&reading](std::string_view call, std::uint32_t hop) {
        reading.hops.push_back({std::string(call), hop});
    });
    return reading;
}

bool SameCall(std::string_view a, std::string_view b) {
    // Without copies: it is asked of every frame heard.
    a = WithoutZeroSsid(a);
    b = WithoutZeroSsid(b);
    if (a.empty() || a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Upper(a[i]) != Upper(b[i]))
            return false;
    return true;
}

double GreatCircleKm(double lat1, double lon1, double lat2, double lon2) {
    const double rad = std::numbers::pi / 180.0;
    const double dLat = (lat2 - lat1) * rad;
    const double dLon = (lon2 - lon1) * rad;
    const double a =
        std::sin(dLat / 2) * std::sin(dLat / 2) +
        std::cos(lat1 * rad) * std::cos(lat2 * rad) * std::sin(dLon / 2) * std::sin(dLon / 2);
    return 2.0 * kEarthRadiusKm * std::asin(std::min(1.0, std::sqrt(a)));
}

TPathTracker::TPathTracker(std::size_t maxStations)
    : FMaxStations(std::max<std::size_t>(maxStations, 1)) {}

void TPathTracker::SetOwnCall(std::string_view call) {
    if (UpperCall(call) == FOwnCall)
        return;
    FOwnCall = UpperCall(call);
    FOwn.clear();
    FOwnByInformation.clear();
    FOwnDropped = 0;
}

void TPathTracker::Add(std::optional<double> time, const std::string& station,
                       const TMonitorPacket& packet, const TAprsReport* report, std::size_t airBits,
                       std::uint64_t* tag) {
    AddFrame(IsOwn(packet.source), time ? *time : kUntimed, station, packet, report, airBits, tag);
}

void TPathTracker::Add(const std::function<double()>& clock, const std::string& station,
                       const TMonitorPacket& packet, const TAprsReport* report, std::size_t airBits,
                       std::uint64_t* tag) {
    const bool own = IsOwn(packet.source);
    AddFrame(own, own ? clock() : 0.0, station, packet, report, airBits, tag);
}

void TPathTracker::AddFrame(bool own, double time, const std::string& station,
                            const TMonitorPacket& packet, const TAprsReport* report,
                            std::size_t airBits, std::uint64_t* tag) {
    if (own)
        AddOwn(time, packet, report);
    const std::string& name = station.empty() ? packet.source : station;
    if (name.empty())
        return;
    TStation& record = Record(name, tag);
    record.heard = ++FHeard;
    ++record.frames;
    record.bits += airBits;
    record.lastPath = packet.path;
    if (!report)
        return;
    // Objects, items and third-party packets take the channel from their
    // sender (the station that put them on the air), wherever they place.
    const bool bySender = report->thirdParty || report->type == support::TPacketType::ptObject ||
                          report->type == support::TPacketType::ptItem;
    record.placedBySender = bySender;
    if (bySender)
        record.sender = packet.source;
    if (report->hasPosition && !report->locator)
        record.position = std::make_pair(report->latitude, report->longitude);
}

TPathTracker::TStation& TPathTracker::Record(const std::string& name, std::uint64_t* tag) {
    // The tag holds the record's index + 1; the name tells whether the record
    // is still this station's (it may have been made room for and reused).
    if (tag && *tag > 0 && *tag <= FRecords.size() && FRecords[*tag - 1].name == name)
        return FRecords[*tag - 1];
    std::uint32_t index = 0;
    if (const auto found = FByName.find(name); found != FByName.end()) {
        index = found->second;
    } else {
        if (FByName.size() >= FMaxStations)
            MakeRoom();
        if (FFree.empty()) {
            index = static_cast<std::uint32_t>(FRecords.size());
            FRecords.emplace_back();
        } else {
            index = FFree.back();
            FFree.pop_back();
        }
        FRecords[index].name = name;
        FByName.emplace(name, index);
    }
    if (tag)
        *tag = index + 1;
    return FRecords[index];
}

const TPathTracker::TStation* TPathTracker::Find(const std::string& call) const {
    const auto found = FByName.find(call);
    return found == FByName.end() ? nullptr : &FRecords[found->second];
}

void TPathTracker::MakeRoom() {
    std::vector<std::uint64_t> heard;
    heard.reserve(FByName.size());
    for (const TStation& station : FRecords)
        if (!station.name.empty())
            heard.push_back(station.heard);
    const auto cut = heard.begin() + static_cast<std::ptrdiff_t>(heard.size() / 8);
    std::nth_element(heard.begin(), cut, heard.end());
    const std::uint64_t oldest = *cut;
    for (std::uint32_t index = 0; index < FRecords.size(); ++index) {
        TStation& station = FRecords[index];
        if (station.name.empty() || station.heard > oldest)
            continue;
        FByName.erase(station.name);
        station = TStation{};
        FFree.push_back(index);
    }
}

void TPathTracker::AddOwn(double time, const TMonitorPacket& packet, const TAprsReport* report) {
    // A copy belongs to the newest own packet with its information, when
    // heard within the copy window of it.
    TOwnPacket* group = nullptr;
    const auto indexed = FOwnByInformation.find(packet.information);
    if (indexed != FOwnByInformation.end()) {
        TOwnPacket& own = FOwn[indexed->second - FOwnDropped];
        if (own.first == time || std::abs(own.first - time) <= kCopySeconds)
            group = &own;
    }
    if (!group) {
        if (FOwn.size() >= kMaxOwnPackets) {
            const auto oldest = FOwnByInformation.find(FOwn.front().information);
            if (oldest != FOwnByInformation.end() && oldest->second == FOwnDropped)
                FOwnByInformation.erase(oldest);
            FOwn.pop_front();
            ++FOwnDropped;
        }
        TOwnPacket own;
        own.first = time;
        own.information = packet.information;
        if (report && report->hasPosition && !report->locator)
            own.position = std::make_pair(report->latitude, report->longitude);
        if (report && report->hasSpeed)
            own.speedKmh = report->speedKmh;
        FOwn.push_back(std::move(own));
        FOwnByInformation[packet.information] = FOwnDropped + FOwn.size() - 1;
        group = &FOwn.back();
    }
    bool repeated = false;
    const std::uint32_t asked =
        WalkPath(packet.path, [group, &repeated](std::string_view call, std::uint32_t hop) {
            repeated = true;
            const auto seen =
                std::find_if(group->hops.begin(), group->hops.end(), [&](const TOwnHop& known) {
                    return known.hop == hop && known.call == call;
                });
            if (seen != group->hops.end())
                ++seen->copies;
            else if (group->hops.size() < kMaxDigipeatersPerPacket)
                group->hops.push_back({std::string(call), hop, 1});
        });
    ++group->frames;
    group->asked = std::max(group->asked, asked);
    if (repeated)
        ++group->copies;
}

std::optional<double> TPathTracker::DistanceOf(const std::string& call,
                                               const TFootprintRun& run) const {
    const auto listed = run.listed.find(call);
    if (listed != run.listed.end())
        return listed->second;
    if (!run.ownPlaced)
        return std::nullopt;
    const TStation* found = Find(call);
    if (!found)
        return std::nullopt;
    const TStation& record = *found;
    if (record.placedBySender) {
        if (record.sender == call || record.sender.empty())
            return std::nullopt;
        const auto sender = run.listed.find(record.sender);
        if (sender != run.listed.end())
            return sender->second;
        const TStation* heard = Find(record.sender);
        if (!heard || heard->placedBySender || !heard->position)
            return std::nullopt;
        return GreatCircleKm(run.ownLatitude, run.ownLongitude, heard->position->first,
                             heard->position->second);
    }
    if (!record.position)
        return std::nullopt;
    return GreatCircleKm(run.ownLatitude, run.ownLongitude, record.position->first,
                         record.position->second);
}

std::optional<std::pair<double, double>> TPathTracker::PlaceOf(const std::string& call,
                                                               const TFootprintRun& run) const {
    const auto listed = run.listedPlaces.find(call);
    if (listed != run.listedPlaces.end())
        return listed->second;
    const TStation* found = Find(call);
    if (!found || found->placedBySender)
        return std::nullopt;
    return found->position;
}

TFootprint TPathTracker::Footprint(double now, const TFootprintRun& run,
                                   const TChannelFigures& channel) const {
    TFootprint footprint;
    footprint.ownCall = FOwnCall;
    footprint.radiusKm = run.radiusKm;
    const double since = now - static_cast<double>(TChannelStats::kWindowSeconds);

    // The own packets of the window, and who repeated them at which hop.
    std::map<std::pair<std::uint32_t, std::string>, std::uint32_t> seen;
    std::optional<std::pair<double, double>> firstPosition;
    for (const TOwnPacket& own : FOwn) {
        if (own.first <= since)
            continue;
        if (own.position && run.ownPlaced) {
            const double km = GreatCircleKm(run.ownLatitude, run.ownLongitude, own.position->first,
                                            own.position->second);
            if (km > kElsewhereKm) {
                footprint.elsewhere += own.frames;
                footprint.elsewhereKm = std::max(footprint.elsewhereKm, km);
                continue;
            }
        }
        if (own.position) {
            if (!firstPosition)
                firstPosition = own.position;
            else if (GreatCircleKm(firstPosition->first, firstPosition->second, own.position->first,
                                   own.position->second) > kMovingKm)
                footprint.moving = true;
        }
        footprint.moving = footprint.moving || own.speedKmh >= kMovingKmh;
        footprint.askedMin =
            footprint.ownPackets == 0 ? own.asked : std::min(footprint.askedMin, own.asked);
        footprint.askedMax = std::max(footprint.askedMax, own.asked);
        ++footprint.ownPackets;
        footprint.copies += own.copies;
        for (const TOwnHop& hop : own.hops)
            seen[{hop.hop, hop.call}] += hop.copies;
    }
    for (const auto& [key, copies] : seen) {
        TDigipeaterSeen digi{key.second, key.first, std::nullopt, copies, std::nullopt};
        if (!digi.call.empty()) {
            digi.km = DistanceOf(digi.call, run);
            if (digi.km)
                digi.place = PlaceOf(digi.call, run);
        }
        footprint.digipeaters.push_back(std::move(digi));
    }
    std::stable_sort(footprint.digipeaters.begin(), footprint.digipeaters.end(),
                     [](const TDigipeaterSeen& a, const TDigipeaterSeen& b) {
                         if (a.hop != b.hop)
                             return a.hop < b.hop;
                         if (a.km.has_value() != b.km.has_value())
                             return a.km.has_value();
                         return a.km && *a.km < *b.km;
                     });

    // The advice: the most hops whose digipeaters, each hop's up to there
    // non-empty, all lie within the radius.
    if (!run.radiusKm) {
        footprint.advice = EPathAdvice::NoRadius;
    } else if (footprint.copies == 0) {
        footprint.advice = EPathAdvice::NoCopies;
    } else {
        std::uint32_t k = 0;
        for (std::uint32_t hop = 1;; ++hop) {
            bool any = false, inside = true;
            for (const TDigipeaterSeen& digi : footprint.digipeaters)
                if (digi.hop == hop && digi.km) {
                    any = true;
                    inside = inside && *digi.km <= *run.radiusKm;
                }
            if (!any || !inside)
                break;
            k = hop;
        }
        bool firstPlaced = false;
        for (const TDigipeaterSeen& digi : footprint.digipeaters)
            firstPlaced = firstPlaced || (digi.hop == 1 && digi.km);
        footprint.advice = k >= 2        ? EPathAdvice::TwoHops
                           : k == 1      ? EPathAdvice::OneHop
                           : firstPlaced ? EPathAdvice::None
                                         : EPathAdvice::FirstHopUnplaced;
    }

    // Traffic from beyond the radius, over the channel's own counts.
    if (run.radiusKm) {
        const double meanBits =
            channel.frames ? static_cast<double>(channel.bits) / static_cast<double>(channel.frames)
                           : 0.0;
        double airtime = 0.0;
        for (const TChannelTalker& talker : channel.talkers) {
            if (!FOwnCall.empty() && SameCall(talker.name, FOwnCall))
                continue;
            const std::optional<double> km = DistanceOf(talker.name, run);
            if (!km || *km <= *run.radiusKm)
                continue;
            TBeyondStation row{talker.name, *km, 0, {}, talker.measured};
            double bits = meanBits;
            if (const TStation* found = Find(talker.name)) {
                row.path = found->lastPath;
                row.hops = static_cast<std::uint32_t>(ReadPath(row.path).hops.size());
                if (found->frames)
                    bits = static_cast<double>(found->bits) / static_cast<double>(found->frames);
            }
            footprint.beyondFrames += talker.measured;
            airtime += static_cast<double>(talker.measured) *
                       (channel.txDelaySeconds + bits / kChannelBaud);
            footprint.beyond.push_back(std::move(row));
        }
        if (channel.airtimeSeconds > 0)
            footprint.beyondAirtimePercent =
                std::min(100.0, airtime / channel.airtimeSeconds * 100.0);
        std::stable_sort(footprint.beyond.begin(), footprint.beyond.end(),
                         [](const TBeyondStation& a, const TBeyondStation& b) {
                             return a.frames != b.frames ? a.frames > b.frames : a.call < b.call;
                         });
    }
    return footprint;
}

std::vector<std::string> FormatFootprint(const TFootprint& footprint) {
    std::vector<std::string> lines;
    const auto against = [&footprint](double km) -> std::string {
        if (!footprint.radiusKm)
            return "no ALOHA radius to compare with";
        return km <= *footprint.radiusKm ? "inside the ALOHA radius" : "beyond the ALOHA radius";
    };
    if (footprint.ownCall.empty()) {
        lines.emplace_back("Own packets: not known yet (the own station has not been read)");
    } else {
        lines.push_back("Own packets: " + std::to_string(footprint.ownPackets) + " from " +
                        footprint.ownCall + " in 30 minutes, " + std::to_string(footprint.copies) +
                        " digipeated copies heard");
        if (footprint.ownPackets > 0)
            lines.push_back("Your path asks for: " +
                            (footprint.askedMin == footprint.askedMax
                                 ? std::to_string(footprint.askedMax)
                                 : std::to_string(footprint.askedMin) + " to " +
                                       std::to_string(footprint.askedMax)) +
                            (footprint.askedMax == 1 ? " hop" : " hops"));
    }
    for (const TDigipeaterSeen& digi : footprint.digipeaters) {
        if (digi.call.empty()) {
            lines.push_back("Digipeated by: an unidentified digipeater, hop " +
                            std::to_string(digi.hop) + ", position unknown");
            continue;
        }
        lines.push_back("Digipeated by: " + digi.call + ", " +
                        (digi.km ? Rounded(*digi.km) + " km, hop " + std::to_string(digi.hop) +
                                       ", " + against(*digi.km)
                                 : "hop " + std::to_string(digi.hop) + ", position unknown"));
    }
    switch (footprint.advice) {
    case EPathAdvice::NoRadius:
        lines.emplace_back("No path suggested yet: the run found too few stations for an ALOHA "
                           "radius, so there is no distance to keep your packets within");
        break;
    case EPathAdvice::NoCopies:
        lines.emplace_back("No path suggested yet: no digipeater was heard repeating your own "
                           "packets in the last 30 minutes");
        break;
    case EPathAdvice::FirstHopUnplaced:
        lines.emplace_back("No path suggested yet: the positions of the digipeaters that "
                           "repeated your packets first are not known");
        break;
    case EPathAdvice::None:
        lines.emplace_back("Suggested path: none");
        lines.emplace_back("  (a first-hop digipeater lies beyond the ALOHA radius: the stations "
                           "within it hear your packets direct)");
        break;
    case EPathAdvice::OneHop:
        lines.emplace_back("Suggested path: WIDE2-1");
        break;
    case EPathAdvice::TwoHops:
        lines.emplace_back("Suggested path: WIDE2-2");
        break;
    }
    if (footprint.moving) {
        if (footprint.advice == EPathAdvice::TwoHops)
            lines.emplace_back("Suggested path when mobile: WIDE1-1,WIDE2-1");
        else if (footprint.advice == EPathAdvice::OneHop)
            lines.emplace_back("Suggested path when mobile: WIDE1-1");
        else if (footprint.advice == EPathAdvice::None)
            lines.emplace_back("Suggested path when mobile: none");
    }
    if (footprint.elsewhere > 0)
        lines.push_back("Frames with your call from " + Rounded(footprint.elsewhereKm) +
                        " km away (another station using it, not taken as yours): " +
                        std::to_string(footprint.elsewhere));
    if (!footprint.radiusKm) {
        lines.emplace_back("From beyond the ALOHA radius: not known (no ALOHA radius)");
        return lines;
    }
    char line[160];
    std::snprintf(
        line, sizeof line, "From beyond the ALOHA radius: %llu frames, %.1f %% of the airtime",
        static_cast<unsigned long long>(footprint.beyondFrames), footprint.beyondAirtimePercent);
    lines.emplace_back(line);
    if (footprint.beyond.empty())
        return lines;
    std::snprintf(line, sizeof line, "%-9s %7s %4s %6s  %s", "Call", "km", "Hops", "Frames",
                  "Path");
    lines.emplace_back(line);
    for (const TBeyondStation& station : footprint.beyond) {
        std::snprintf(line, sizeof line, "%-9s %7lld %4u %6llu  ", station.call.c_str(),
                      static_cast<long long>(std::llround(station.km)), station.hops,
                      static_cast<unsigned long long>(station.frames));
        lines.push_back(line + (station.path.empty() ? std::string("(direct)") : station.path));
    }
    return lines;
}

} // namespace aprs
