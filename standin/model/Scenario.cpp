#include "standin/model/Scenario.h"

#include "support/RegularFile.h"
#include "support/TextRules.h"

#include <nlohmann/json.hpp>

#include <array>
#include <cmath>
#include <fstream>
#include <limits>
#include <set>
#include <sstream>

namespace standin {

namespace {

using nlohmann::json;

struct HostOperation {
    std::string_view interfaceName;
    std::string_view name;
};

constexpr std::array<HostOperation, 28> kOperations{{
    {"_clsUIV", "GetStationInfo"},
    {"_clsUIV", "RefreshMap"},
    {"_clsUIV", "GetMap"},
    {"_clsUIV", "GetStationCount"},
    {"_clsUIV", "GetStationListEntry"},
    {"_clsUIV", "GetMyInfo"},
    {"_clsStationInfo", "GetCallsign"},
    {"_clsStationInfo", "SetCallsign"},
    {"_clsStationInfo", "GetSymbolCode"},
    {"_clsStationInfo", "GetSymbolTable"},
    {"_clsStationInfo", "GetPath"},
    {"_clsStationInfo", "GetLastHeardRF"},
    {"_clsStationInfo", "GetLastHeardInternet"},
    {"_clsStationInfo", "GetLong"},
    {"_clsStationInfo", "GetLat"},
    {"_clsStationInfo", "GetSpeed"},
    {"_clsStationInfo", "GetDistance"},
    {"_clsStationInfo", "GetThirdParty"},
    {"_clsMyInfo", "GetLong"},
    {"_clsMyInfo", "GetLat"},
    {"_clsMyInfo", "GetCallsign"},
    {"_clsUIVMap", "DrawCircle"},
    {"_clsUIVMap", "DrawMapText"},
    {"_clsUIVMap", "GetTextX"},
    {"_clsUIVMap", "GetTextY"},
    {"_clsUIVMap", "SetDrawSettingA"},
    {"_clsUIVMap", "SetDrawSettingB"},
    {"_clsUIVMap", "SetDrawColour"},
}};

/// Reads one object's fields, checking types and refusing unknown names, so
/// that a misspelt field is reported instead of silently taking its default.
class FieldReader {
public:
    FieldReader(const json& object, std::string where, const std::string& source)
        : FObject(object), FWhere(std::move(where)), FSource(source) {
        if (!object.is_object())
            Fail(FWhere, "expected an object");
    }

    std::string Text(const char* key, std::string fallback = {}) {
        const json* value = Take(key);
        if (!value)
            return fallback;
        if (!value->is_string())
            Fail(Field(key), "expected a text");
        return value->get<std::string>();
    }

    std::optional<double> Number(const char* key) {
        const json* value = Take(key);
        if (!value)
            return std::nullopt;
        if (!value->is_number())
            Fail(Field(key), "expected a number");
        return value->get<double>();
    }

    float Single(const char* key, float fallback = 0.0f) {
        const std::optional<double> value = Number(key);
        if (!value)
            return fallback;
        if (std::isfinite(*value) && std::fabs(*value) > std::numeric_limits<float>::max())
            Fail(Field(key), "out of the single-precision range");
        return static_cast<float>(*value);
    }

    /// A position in host units (60 a degree), within +-90 degrees of latitude
    /// or +-180 degrees of longitude.
    float Position(const char* key, bool latitude, float fallback = 0.0f) {
        const float value = Single(key, fallback);
        const double limit = (latitude ? 90.0 : 180.0) * 60.0;
        if (!(std::fabs(value) <= limit))
            Fail(Field(key), "must be from " + std::to_string(static_cast<int>(-limit)) + " to " +
                                 std::to_string(static_cast<int>(limit)) + " (" +
                                 (latitude ? "90" : "180") + " degrees in host units)");
        return value;
    }

    std::int64_t Integer(const char* key, std::int64_t low, std::int64_t high,
                         std::int64_t fallback = 0) {
        const json* value = Take(key);
        if (!value)
            return fallback;
        if (!value->is_number_integer())
            Fail(Field(key), "expected an integer");
        const std::int64_t result =
            value->is_number_unsigned()
                ? static_cast<std::int64_t>(std::min<std::uint64_t>(
                      value->get<std::uint64_t>(), std::numeric_limits<std::int64_t>::max()))
                : value->get<std::int64_t>();
        if (result < low || result > high)
            Fail(Field(key), "must be from " + std::to_string(low) + " to " + std::to_string(high));
        return result;
    }

    const json* Take(const char* key) {
        FSeen.insert(key);
        const auto found = FObject.find(key);
        return found == FObject.end() ? nullptr : &*found;
    }

    const json& Require(const char* key) {
        const json* value = Take(key);
        if (!value)
            Fail(Field(key), "missing");
        return *value;
    }

    /// Refuses the fields that were not read.
    void Finish() const {
        for (const auto& item : FObject.items()) {
            if (!FSeen.contains(item.key()))
                Fail(Field(item.key()), "unknown field");
        }
    }

    std::string Field(const std::string& key) const {
        return FWhere.empty() ? key : FWhere + "." + key;
    }

    [[noreturn]] void Fail(const std::string& field, const std::string& what) const {
        throw EScenarioError(FSource + ": " + (field.empty() ? "" : field + ": ") + what);
    }

private:
    const json& FObject;
    std::string FWhere;
    const std::string& FSource;
    std::set<std::string> FSeen;
};

} // namespace

std::string DefaultEntry(const std::string& callsign) {
    std::string entry = " " + callsign;
    const std::size_t length = support::CharacterCount(callsign, support::kHostTextUnit);
    if (length < 9)
        entry.append(9 - length, ' ');
    return entry;
}

bool IsHostOperationName(std::string_view name) {
    for (const HostOperation& op : kOperations) {
        if (name == op.name)
            return true;
        if (name.size() == op.interfaceName.size() + 1 + op.name.size() &&
            name.starts_with(op.interfaceName) && name[op.interfaceName.size()] == '.' &&
            name.ends_with(op.name))
            return true;
    }
    return false;
}

TScenario ParseScenario(std::string_view text, const std::string& sourceName) {
    json document;
    try {
        document = json::parse(text);
    } catch (const json::exception& error) {
        // Syntax errors, and numbers too large for a double ("1e999").
        // Drop the library's "[json.exception.parse_error.101] " prefix.
        std::string what = error.what();
        if (const auto close = what.find("] "); what.starts_with("[") && close != std::string::npos)
            what.erase(0, close + 2);
        throw EScenarioError(sourceName + ": not valid JSON: " + what);
    }

    TScenario scenario;
    FieldReader top(document, "", sourceName);

    FieldReader own(top.Require("own"), "own", sourceName);
    const json* ownCall = own.Take("callsign");
    if (!ownCall)
        own.Fail("own.callsign", "missing");
    if (!ownCall->is_string())
        own.Fail("own.callsign", "expected a text");
    scenario.ownCallsign = ownCall->get<std::string>();
    scenario.ownLat = own.Position("lat", true);
    scenario.ownLong = own.Position("long", false);
    own.Finish();

    if (const json* list = top.Take("stations")) {
        if (!list->is_array())
            top.Fail("stations", "expected a list");
        if (list->size() > static_cast<std::size_t>(std::numeric_limits<std::int16_t>::max()))
            top.Fail("stations", "more than 32767 stations (the host counts them in 16 bits)");
        scenario.stations.reserve(list->size());
        for (std::size_t i = 0; i < list->size(); ++i) {
            FieldReader in((*list)[i], "stations[" + std::to_string(i) + "]", sourceName);
            TScenarioStation station;
            station.callsign = in.Text("callsign");
            station.symbolTable = in.Text("symbolTable");
            station.symbolCode = in.Text("symbolCode");
            station.path = in.Text("path");
            station.lastHeardRF = in.Text("lastHeardRF");
            station.lastHeardInternet = in.Text("lastHeardInternet");
            station.speed = in.Single("speed");
            station.distance = in.Single("distance");
            station.lat = in.Position("lat", true);
            station.lon = in.Position("long", false);
            station.thirdParty = static_cast<std::int16_t>(
                in.Integer("thirdParty", std::numeric_limits<std::int16_t>::min(),
                           std::numeric_limits<std::int16_t>::max()));
            station.entry = in.Text("entry", DefaultEntry(station.callsign));
            in.Finish();
            scenario.stations.push_back(std::move(station));
        }
    }

    scenario.textX = scenario.ownLong;
    scenario.textY = scenario.ownLat;
    if (const json* map = top.Take("map")) {
        FieldReader in(*map, "map", sourceName);
        scenario.textX = in.Position("textX", false, scenario.textX);
        scenario.textY = in.Position("textY", true, scenario.textY);
        in.Finish();
    }

    if (const json* fail = top.Take("fail")) {
        FieldReader in(*fail, "fail", sourceName);
        TScenarioFail rule;
        rule.operation = in.Text("operation");
        if (!IsHostOperationName(rule.operation))
            in.Fail("fail.operation", "\"" + rule.operation + "\" is not an operation of the host");
        rule.after = in.Integer("after", 0, std::numeric_limits<std::int64_t>::max());
        rule.message = in.Text("message");
        in.Finish();
        scenario.fail = std::move(rule);
    }
    top.Finish();
    return scenario;
}

TScenario LoadScenarioFile(const std::string& path) {
    std::string content;
    try {
        content = support::ReadRegularFile(path, kMaxScenarioBytes);
    } catch (const support::EFileRefused& error) {
        throw EScenarioError(error.what());
    }
    return ParseScenario(content, path);
}

TScenario LoadDemoScenario() {
    return ParseScenario(DemoScenarioJson(), "demo scenario");
}

} // namespace standin
