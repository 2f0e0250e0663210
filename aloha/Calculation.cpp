#include "aloha/Calculation.h"

#include "aloha/StationKind.h"
#include "support/TextRules.h"

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <unordered_map>

namespace aloha {

namespace {

std::string Num(std::int64_t value) {
    return std::to_string(value);
}

std::string FirstByte(const std::string& text) {
    return text.empty() ? std::string(1, '\0') : text.substr(0, 1);
}

} // namespace

TCalculation::TCalculation(host::THostComponents& host, IReportPanes& panes, IRunWindow& window,
                           const IRunOptions& options)
    : FHost(host), FPanes(panes), FWindow(window), FOptions(options),
      FOverlay(host.clsUIV, options, State) {}

std::int32_t PacketDensityFromText(std::string_view text) {
    constexpr std::int32_t standard = TRunState{}.PacketDensity;
    const std::int32_t density = support::IntTextOr(text, standard);
    return density < 1 ? standard : density;
}

void TCalculation::ReadOwnStation() {
    State.OwnStationKnown = false;
    std::shared_ptr<host::_clsMyInfo> info = FHost.clsMyInfo.DefaultInterface();
    FHost.clsUIV.GetMyInfo(info);
    if (!info)
        throw host::EHostError("GetMyInfo handed back no own-station object");
    State.OwnCall = support::UpperAscii(info->GetCallsign());
    State.OwnLatitude = info->GetLat();
    State.OwnLongitude = info->GetLong();
    State.OwnStationKnown = true;
}

void TCalculation::btnCalculateClick() {
    if (FRunning) {
        FRunPending = true;
        return;
    }
    FRunning = true;
    FLastStations.clear();
    FOverlay.SetMeasuredFigure(std::nullopt);
    FOverlay.SetFootprint({});
    FWindow.CalcTimer().Stop();
    FStations = std::make_unique<TStationList>();

    const auto cleanup = [this] {
        FStations.reset();
        FWindow.SetCalculateEnabled(true);
        FWindow.CalcTimer().Start();
        FRunning = false;
        if (FRunPending) {
            FRunPending = false;
            FWindow.PostDeferredRun();
        }
    };
    try {
        RunSteps();
    } catch (...) {
        cleanup();
        throw;
    }
    cleanup();
}

void TCalculation::RunSteps() {
    FPanes.ClearSummary();
    FPanes.LogSummary(" ****************************************");
    FPanes.LogSummary(" *** UI-View32 Exclusions must be OFF ***");
    FPanes.LogSummary(" ****************************************");
    FPanes.LogSummary(" ");
    FPanes.ClearPackets();
    FPanes.ClearDetails();
    FWindow.SetCalculateEnabled(false);
    FWindow.ProcessMessages();

    GatherRFStations();
    AdjustThirdPartyDistances();
    SortStationsByDistance();
    AccumulateLoad();

    if (State.PacketTotal >= State.PacketDensity) {
        const std::string km = Num(support::RoundHalfEven(State.RadiusKm));
        const std::string miles = Num(support::RoundHalfEven(State.RadiusMiles));
        FPanes.LogSummary("Your ALOHA radius is " + km + " Kilometers or " + miles + " Miles");
        FWindow.SetTrayTip(("ALOHA radius: " + km + " KM or " + miles + " miles").substr(0, 63));
    }
}

void TCalculation::GiveWay() {
    if (FYieldPacer.Due())
        FWindow.Yield();
}

void TCalculation::tmrRedrawTimer() {
    if (State.OwnStationKnown)
        FOverlay.tmrRedrawTimer();
}

void TCalculation::GatherRFStations() {
    FPanes.LogSummary("-Retrieving list of stations from UI-View32");
    const std::int16_t total = FHost.clsUIV.GetStationCount();
    FPanes.LogSummary("-There are " + Num(total) + " total stations in your station list");
    FPanes.LogSummary("-Searching for stations heard on RF");

    const bool includeInternet = FOptions.DebugMode() && FOptions.IncludeInternet();
    const std::int16_t count = FHost.clsUIV.GetStationCount();
    for (std::int32_t i = 0; i < count; ++i) {
        // Nothing is written to the panes while gathering, so let the window's
        // events in now and then: the Calculate commands are disabled.
        if (FEventsPacer.Due())
            FWindow.ProcessMessages();
        // The host takes the index by reference; it gets a copy, so a host
        // that alters it cannot disturb the loop.
        std::int16_t index = static_cast<std::int16_t>(i);
        const std::string entry = FHost.clsUIV.GetStationListEntry(index);
        std::shared_ptr<host::_clsStationInfo> info = FHost.clsStationInfo.DefaultInterface();

        // Characters 2 to 10, counted as the host counts them: a call with
        // letters beyond ASCII is not cut in the middle of a letter.
        std::string call = support::TrimBlanksAndControls(
            support::CharacterSpan(entry, 1, 9, support::kHostTextUnit));
        if (!call.empty() && call.back() == '*')
            call.pop_back();

        info->SetCallsign(call);
        FHost.clsUIV.GetStationInfo(info);
        if (!info)
            throw host::EHostError("GetStationInfo handed back no station-information object");

        std::string heardRF = info->GetLastHeardRF();
        if (includeInternet)
            heardRF += ' ';
        if (heardRF.empty())
            continue;

        auto station = std::make_unique<TStation>();
        station->Call = info->GetCallsign();
        station->SymbolCode = FirstByte(info->GetSymbolCode())[0];
        station->SymbolTable = FirstByte(info->GetSymbolTable())[0];
        station->Path = info->GetPath();
        station->Speed = support::RoundHalfEven(info->GetSpeed());
        station->LastHeardRF = info->GetLastHeardRF();
        station->LastHeardInternet = info->GetLastHeardInternet();
        station->Distance = support::RoundHalfEven(info->GetDistance());
        station->Latitude = info->GetLat();
        station->Longitude = info->GetLong();
        station->ThirdParty = info->GetThirdParty() != 0;
        info.reset();
        FStations->push_back(std::move(station));
    }
    FPanes.LogSummary("-There are " + Num(static_cast<std::int64_t>(FStations->size())) +
                      " RF stations in your station list");
}

namespace {

/// The IGate of a third-party path: the run of call-sign characters just
/// before the last '*', or "????" when there is no '*' or the run reaches
/// back to the start of the path.
std::string IGateOf(const std::string& path) {
    const std::string upper = support::UpperAscii(path);
    const std::size_t star = upper.rfind('*');
    if (star == std::string::npos)
        return "????";
    const auto isCallChar = [](char c) {
        return c == '-' || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z');
    };
    std::size_t begin = star; // first call-sign character of the run
    while (begin > 0 && isCallChar(upper[begin - 1]))
        --begin;
    if (begin == 0)
        return "????";
    return upper.substr(begin, star - begin);
}

} // namespace

void TCalculation::AdjustThirdPartyDistances() {
    FPanes.LogSummary("-Looking for third-party stations gated to RF");
    TStationList& list = *FStations;

    // The look-up takes the first station whose trimmed call matches, and the
    // Distance that station holds at that moment. Calls do not change during
    // the walk, so an index of first positions gives the same answer as a
    // scan from the start, without making the walk quadratic.
    std::unordered_map<std::string, std::size_t> firstIndex;
    bool indexed = false;

    std::int32_t thirdParty = 0;
    for (std::size_t k = list.size(); k-- > 0;) {
        TStation& station = *list[k];
        if (station.ThirdParty) {
            ++thirdParty;
            if (!indexed) {
                firstIndex.reserve(list.size());
                for (std::size_t j = 0; j < list.size(); ++j)
                    firstIndex.emplace(support::TrimBlanksAndControls(list[j]->Call), j);
                indexed = true;
            }
            const std::string igate = IGateOf(station.Path);
            const auto found = firstIndex.find(igate);
            if (found != firstIndex.end()) {
                // A station may be its own IGate: it is not marked gated yet,
                // so its own position counts.
                const TStation& gate = *list[found->second];
                station.Distance = gate.Distance;
                station.GateLatitude = gate.Gated ? gate.GateLatitude : gate.Latitude;
                station.GateLongitude = gate.Gated ? gate.GateLongitude : gate.Longitude;
                FPanes.LogDetail(
                    "Adjusting distance for: " + support::TrimBlanksAndControls(station.Call) +
                    " since it was gated to RF by: " + igate);
            } else {
                station.Distance = 0;
                station.GateLatitude = static_cast<float>(State.OwnLatitude);
                station.GateLongitude = static_cast<float>(State.OwnLongitude);
                FPanes.LogDetail("Ignoring distance for: " + station.Call +
                                 " since it was gated to RF by: " + igate +
                                 " and that IGate station can not be located");
            }
            station.Gated = true;
        }
        GiveWay();
    }
    if (thirdParty > 0) {
        FPanes.LogSummary("-Found " + Num(thirdParty) + " third-party stations");
        FPanes.LogDetail(" ");
    }
}

int TCalculation::CompareStationDistance(const TStation* a, const TStation* b) {
    if (!a || !b)
        return 0;
    if (a->Distance > b->Distance)
        return 1;
    if (a->Distance < b->Distance)
        return -1;
    return 0;
}

void TCalculation::SortStationsByDistance() {
    FPanes.LogSummary("-Sorting station list by distance from this station");
    // Stable, so that stations at equal distance keep the host's order and
    // every run on the same list reports the same.
    std::stable_sort(
        FStations->begin(), FStations->end(),
        [this](const std::unique_ptr<TStation>& a, const std::unique_ptr<TStation>& b) {
            GiveWay();
            return CompareStationDistance(a.get(), b.get()) < 0;
        });
}

void TCalculation::AccumulateLoad() {
    State.PacketTotal = 0;
    State.RadiusKm = 0;
    State.RadiusMiles = 0;
    State.MapRadius = 0;
    std::int32_t copies = 1;
    const TStation* limit = nullptr;
    std::int32_t considered = 0, mobiles = 0, wx = 0, digis = 0, homes = 0;
    FWindow.RedrawTimer().Stop();

    const auto add = [this](std::int32_t packets, const std::string& prefix) {
        // Only a debug-mode threshold far above any real channel lets the
        // total grow this large; it stays at the top of its range rather than
        // wrapping round to a negative count.
        State.PacketTotal = static_cast<std::int32_t>(
            std::min<std::int64_t>(std::int64_t{State.PacketTotal} + packets, INT32_MAX));
        FPanes.LogDetail(prefix + Num(packets) +
                         " packets to running total - new total is: " + Num(State.PacketTotal));
    };
    const auto raiseCopies = [&] {
        ++copies;
        FPanes.LogDetail("  Incrementing packet copy multiplier to: " + Num(copies));
        ++digis;
    };

    TStationList& list = *FStations;
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (State.PacketTotal >= State.PacketDensity) {
            FPanes.LogDetail(" ");
            FPanes.LogDetail("Running packet total has reached " + Num(State.PacketDensity) +
                             ". Done.");
            break;
        }
        TStation& station = *list[i];
        ++considered;
        FPanes.LogDetail(Num(static_cast<std::int64_t>(i)) + ": " + station.Call +
                         " Dist: " + Num(station.Distance) + " symbol: " + station.SymbolTable +
                         station.SymbolCode);
        if (station.Distance > kMaxDistanceKm) {
            FPanes.LogDetail("  To far away - skipped");
            break;
        }

        const TStationKind kind = StationKind(station);
        switch (kind) {
        case TStationKind::MovingMobile:
        case TStationKind::ParkedMobile:
            FPanes.LogDetail("  This is a mobile station. Speed: " + Num(station.Speed));
            ++mobiles;
            if (kind == TStationKind::ParkedMobile)
                add(kParkedMobilePackets * copies, "  Not moving. Adding ");
            else
                add(kMovingMobilePackets * copies, "  Moving. Adding ");
            break;
        case TStationKind::Weather:
        case TStationKind::WeatherDigi:
            FPanes.LogDetail("  This is a Wx station.");
            ++wx;
            add(kWeatherPackets * copies, "  Adding ");
            if (kind == TStationKind::WeatherDigi) {
                add(kDigiPackets * copies, "  Also a Digi. Adding ");
                raiseCopies();
            }
            break;
        case TStationKind::Digi:
            FPanes.LogDetail("  This is a digi station.");
            add(kDigiPackets * copies, "  Adding ");
            raiseCopies();
            break;
        case TStationKind::GatedDigi:
        case TStationKind::Home:
            if (kind == TStationKind::GatedDigi) {
                FPanes.LogDetail("  This is a digi station, but since it has been");
                FPanes.LogDetail("  gated to RF from the APRS-IS. It will be treated");
                FPanes.LogDetail("  as a fixed station");
                station.SymbolCode = '-';
            }
            FPanes.LogDetail("  This is a home/fixed station.");
            ++homes;
            add(kHomePackets * copies, "  Adding ");
            GiveWay();
            break;
        }

        limit = &station;
        FPanes.LogPackets(Num(static_cast<std::int64_t>(i)) + ": " + station.Path);
        FPanes.LogPackets("  Last heard RF: " + station.LastHeardRF);
        FPanes.LogPackets("  Last heard Internet: " + station.LastHeardInternet);
    }

    FLastStations = ListStations(list);

    FPanes.LogDetail(" ");
    FPanes.LogDetail(Num(mobiles) + " mobile stations");
    FPanes.LogDetail(Num(wx) + " Wx stations");
    FPanes.LogDetail(Num(digis) + " digi stations");
    FPanes.LogDetail(Num(homes) + " home stations");
    FPanes.LogDetail("============================");
    FPanes.LogDetail(Num(considered) + " total stations were considered");

    if (State.PacketTotal < State.PacketDensity) {
        for (const char* line : {" ", "*** Unable to calculate ALOHA radius; There",
                                 "are too few RF stations. This can be because UI-View",
                                 "and Velloran have not been running long enough or it",
                                 "could just be that the traffic density in your area",
                                 "has not reached a high enough level to be an issue.", " ",
                                 "No ALOHA circle/ellipse has been drawn on your map.",
                                 "INSTEAD, a circle with a radius of the most distant",
                                 "heard station has been drawn.", " ",
                                 "Please do adjust your path to be considerate of",
                                 "areas that may not \"need\" to hear your APRS traffic.", " "})
            FPanes.LogSummary(line);
        FPanes.LogSummary("RF saturation occurs at ~" + Num(State.PacketDensity) +
                          " packets in 30 minutes.");
        FPanes.LogSummary("Your station hears an estimated " + Num(State.PacketTotal) + " packets");
        FPanes.LogSummary("every 30 minutes.");
    }
    FPanes.LogSummary(" ");

    const bool reached = State.PacketTotal >= State.PacketDensity && limit;
    if (reached) {
        State.RadiusKm = limit->Distance;
        State.RadiusMiles = State.RadiusKm * kMilesPerKm;
    }
    // Nothing counted, nothing drawn; and without the own station a figure
    // would have no centre.
    if (!limit || State.PacketTotal <= 0 || !State.OwnStationKnown)
        return;
    FOverlay.ComputeMapRadius(*limit);
    FHost.clsUIV.RefreshMap();
    if (reached)
        FOverlay.DrawAlohaOverlay(State.OwnLongitude, State.OwnLatitude, State.MapRadius);
    else
        FOverlay.DrawReachOverlay(State.OwnLongitude, State.OwnLatitude, State.MapRadius);
    DrawMeasured(list);
    if (FootprintMarks) {
        FOverlay.SetFootprint(FootprintMarks(FLastStations));
        FOverlay.DrawFootprintOverlay();
    }
    FWindow.RedrawTimer().Start();
}

void TCalculation::DrawMeasured(const TStationList& list) {
    if (!MeasureChannel)
        return;
    const std::optional<TMeasuredRadius> measured = MeasureChannel(FLastStations);
    // The list and the listing have one entry per station, in the same order.
    if (!measured || !measured->Reached || measured->Index >= list.size())
        return;
    FOverlay.SetMeasuredFigure(TMeasuredFigure{FOverlay.MapRadiusTo(*list[measured->Index]),
                                               static_cast<double>(measured->RadiusKm)});
    FOverlay.DrawMeasuredOverlay();
}

} // namespace aloha
