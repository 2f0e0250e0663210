#pragma once

#include <sstream>
#include <string>

/// A stand-in host scenario of moving mobiles 1 km apart on a line north of
/// the own station: 120 of them reach the threshold of 1800 packets at 120 km.
/// fail: the scenario's "fail" object, or empty for none.
inline std::string MobilesScenario(int mobiles, const std::string& ownCall = "n1abc",
                                   const std::string& fail = "") {
    std::ostringstream json;
    json << R"({"own": {"callsign": ")" << ownCall
         << R"(", "lat": 2500, "long": -4300}, "stations": [)";
    for (int i = 0; i < mobiles; ++i)
        json
            << (i ? "," : "") << R"({"callsign": "M)" << i
            << R"(", "symbolTable": "/", "symbolCode": ">", "path": "APRS,WIDE1-1", "speed": 50,)"
            << R"( "distance": )" << i + 1 << R"(, "lat": )" << 2500 + (i + 1) * 0.54
            << R"(, "long": -4300, "lastHeardRF": "2026-12-08 12:00:00", "lastHeardInternet": ""})";
    json << "]";
    if (!fail.empty())
        json << R"(, "fail": )" << fail;
    json << "}";
    return json.str();
}
