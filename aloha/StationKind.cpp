#include "aloha/StationKind.h"

#include <string_view>

namespace aloha {

bool IsMobileSymbol(char table, char code) {
    constexpr std::string_view primary = "<=>'()*0COPRSUXY[^abefgjkpsuv";
    constexpr std::string_view alternate = "/0>AKOS^knsuv";
    if (code == '\0')
        return false;
    return (table == '/' ? primary : alternate).find(code) != std::string_view::npos;
}

TStationKind StationKind(const TStation& station) {
    if (IsMobileSymbol(station.SymbolTable, station.SymbolCode))
        return station.Speed <= 1 ? TStationKind::ParkedMobile : TStationKind::MovingMobile;
    if (station.SymbolCode == '_')
        return station.SymbolTable != '/' ? TStationKind::WeatherDigi : TStationKind::Weather;
    if (station.SymbolCode == '#')
        return station.ThirdParty ? TStationKind::GatedDigi : TStationKind::Digi;
    return TStationKind::Home;
}

std::int32_t KindPackets(TStationKind kind) {
    switch (kind) {
    case TStationKind::MovingMobile:
        return kMovingMobilePackets;
    case TStationKind::ParkedMobile:
        return kParkedMobilePackets;
    case TStationKind::Weather:
        return kWeatherPackets;
    case TStationKind::WeatherDigi:
        return kWeatherPackets + kDigiPackets;
    case TStationKind::Digi:
        return kDigiPackets;
    case TStationKind::GatedDigi:
    case TStationKind::Home:
        break;
    }
    return kHomePackets;
}

} // namespace aloha
