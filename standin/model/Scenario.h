#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

/// The stand-in host's data: an own station, a station list and a few
/// switches for tests, read from a JSON scenario file.
namespace standin {

/// One entry of the host's station list. Numbers are kept in single
/// precision, as the host keeps them.
struct TScenarioStation {
    std::string callsign;
    std::string symbolTable;
    std::string symbolCode;
    std::string path;
    std::string lastHeardRF;
    std::string lastHeardInternet;
    float speed = 0.0f;
    float distance = 0.0f;
    float lat = 0.0f;
    float lon = 0.0f;
    std::int16_t thirdParty = 0;
    std::string entry; ///< station-list entry text
};

/// Makes the host fail an operation after a number of successful calls.
struct TScenarioFail {
    std::string operation; ///< "GetDistance" or "_clsStationInfo.GetDistance"
    std::int64_t after = 0;
    std::string message;
};

struct TScenario {
    std::string ownCallsign;
    float ownLat = 0.0f;
    float ownLong = 0.0f;
    std::vector<TScenarioStation> stations;
    float textX = 0.0f; ///< what GetTextX answers (default: own longitude)
    float textY = 0.0f; ///< what GetTextY answers (default: own latitude)
    std::optional<TScenarioFail> fail;
};

/// A scenario that cannot be loaded; the message names the file and the field.
class EScenarioError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// Parses a scenario; sourceName is used in error messages.
TScenario ParseScenario(std::string_view json, const std::string& sourceName);

/// The largest scenario file read: a full list of 32,767 stations takes
/// about 10 MB.
inline constexpr std::size_t kMaxScenarioBytes = 64u << 20;

/// Reads and parses a scenario file. Anything but a regular file of at most
/// kMaxScenarioBytes is refused with an error naming it.
TScenario LoadScenarioFile(const std::string& path);

/// What a program says when it falls back on the demo scenario because no
/// host runs on the desktop bus.
inline constexpr const char* kDemoScenarioNote =
    "no host found on the session bus; using the built-in demo scenario";

/// The demo scenario shipped with the program (made by
/// standin/model/make_demo_scenario.py).
std::string_view DemoScenarioJson();

/// The demo scenario, parsed.
TScenario LoadDemoScenario();

/// The default station-list entry: a blank, then the call sign padded with
/// blanks to 9 characters.
std::string DefaultEntry(const std::string& callsign);

/// True when the name is an operation of the host's interfaces, bare
/// ("GetLat") or with its interface ("_clsMyInfo.GetLat").
bool IsHostOperationName(std::string_view name);

} // namespace standin
