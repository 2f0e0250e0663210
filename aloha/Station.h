#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace aloha {

/// One station heard on RF, as gathered for one calculation run.
struct TStation {
    std::string Call;              ///< call sign as the host returns it
    char SymbolTable = '\0';       ///< first byte of the symbol-table text; NUL when empty
    char SymbolCode = '\0';        ///< first byte of the symbol-code text; NUL when empty
    std::string Path;              ///< path as the host gives it
    std::int32_t Speed = 0;        ///< host speed, rounded (ties to even)
    std::string LastHeardRF;       ///< empty when never heard on RF
    std::string LastHeardInternet; ///< last heard on the Internet
    std::int32_t Distance = 0;     ///< km from the own station, rounded; may be adjusted
    float Latitude = 0.0f;         ///< host position units (60 a degree of latitude)
    float Longitude = 0.0f;
    bool ThirdParty = false; ///< reached RF through an IGate

    /// Where the station's packets enter the local channel, once the
    /// third-party adjustment has moved it to its IGate's distance: the IGate's
    /// position, or the own station's when the IGate is unknown (distance 0).
    /// The map figure uses it, so that the circle agrees with the distance.
    bool Gated = false;
    float GateLatitude = 0.0f;
    float GateLongitude = 0.0f;
};

/// The run's station list: it owns its records.
using TStationList = std::vector<std::unique_ptr<TStation>>;

} // namespace aloha
