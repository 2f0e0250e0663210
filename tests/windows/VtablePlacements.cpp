// The header's C view of the interfaces (one vtable struct each), so that
// the place of each operation can be measured with offsetof.
#define CINTERFACE
#define COBJMACROS

#include "tests/windows/VtablePlacements.h"

#include "host/com/UIView32.h" // made by widl from host/com/UIView32.idl

namespace comtest {

namespace {

constexpr int kIDispatchMethods = 7;

constexpr int Place(std::size_t offset) {
    return static_cast<int>(offset / sizeof(void*)) - kIDispatchMethods + 1;
}

} // namespace

#define PLACEMENT(intf, method, expected)                                                          \
    TPlacement {                                                                                   \
        &IID_##intf, L## #method, expected, Place(offsetof(intf##Vtbl, method))                    \
    }

std::vector<TPlacement> Placements() {
    return {
        PLACEMENT(_clsUIV, GetStationInfo, 7),
        PLACEMENT(_clsUIV, RefreshMap, 10),
        PLACEMENT(_clsUIV, GetMap, 13),
        PLACEMENT(_clsUIV, GetStationCount, 17),
        PLACEMENT(_clsUIV, GetStationListEntry, 18),
        PLACEMENT(_clsUIV, GetMyInfo, 42),
        PLACEMENT(_clsStationInfo, GetCallsign, 1),
        PLACEMENT(_clsStationInfo, SetCallsign, 2),
        PLACEMENT(_clsStationInfo, GetSymbolCode, 3),
        PLACEMENT(_clsStationInfo, GetSymbolTable, 7),
        PLACEMENT(_clsStationInfo, GetPath, 9),
        PLACEMENT(_clsStationInfo, GetLastHeardRF, 19),
        PLACEMENT(_clsStationInfo, GetLastHeardInternet, 21),
        PLACEMENT(_clsStationInfo, GetLong, 23),
        PLACEMENT(_clsStationInfo, GetLat, 25),
        PLACEMENT(_clsStationInfo, GetSpeed, 35),
        PLACEMENT(_clsStationInfo, GetDistance, 49),
        PLACEMENT(_clsStationInfo, GetThirdParty, 59),
        PLACEMENT(_clsMyInfo, GetLong, 1),
        PLACEMENT(_clsMyInfo, GetLat, 3),
        PLACEMENT(_clsMyInfo, GetCallsign, 15),
        PLACEMENT(_clsUIVMap, DrawCircle, 3),
        PLACEMENT(_clsUIVMap, DrawMapText, 9),
        PLACEMENT(_clsUIVMap, GetTextX, 14),
        PLACEMENT(_clsUIVMap, GetTextY, 15),
        PLACEMENT(_clsUIVMap, SetDrawSettingA, 24),
        PLACEMENT(_clsUIVMap, SetDrawSettingB, 28),
        PLACEMENT(_clsUIVMap, SetDrawColour, 30),
    };
}

} // namespace comtest
