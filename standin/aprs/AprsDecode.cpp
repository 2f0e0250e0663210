#include "standin/aprs/AprsDecode.h"

#include "support/APRSParser.h"

#include <cmath>

namespace standin::aprs {

using support::TPacketType;

namespace {

constexpr double kKmPerNauticalMile = 1.852;

bool Digit(char c) {
    return c >= '0' && c <= '9';
}

/// A digit of a position; a blank stands for a digit left out on purpose
/// (position ambiguity) and counts as 0, the start of the area it leaves open.
bool PositionDigit(char c, int& value) {
    if (c == ' ') {
        value = 0;
        return true;
    }
    if (!Digit(c))
        return false;
    value = c - '0';
    return true;
}

bool SymbolTableChar(char c, bool compressed) {
    return c == '/' || c == '\\' || (c >= 'A' && c <= 'Z') ||
           (compressed ? (c >= 'a' && c <= 'j') : Digit(c));
}

bool SymbolCodeChar(char c) {
    return c > ' ' && c < 127;
}

struct TPosition {
    double latitude = 0.0, longitude = 0.0;
    char table = '\0', code = '\0';
    bool hasSpeed = false;
    double speedKnots = 0.0;
    int course = 0;
};

/// "ddd/sss" right after the symbol code: course and speed in knots.
bool CourseSpeed(std::string_view rest, int& course, double& knots) {
    if (rest.size() < 7)
        return false;
    auto match = support::AprsPattern(support::TAprsPattern::CourseSpeed).Match(rest.substr(0, 7));
    if (!match || match->Offset(0) != std::size_t{0})
        return false;
    course = std::stoi(*match->Group(1));
    knots = std::stoi(*match->Group(2));
    return true;
}

std::string Uncompressed(std::string_view s, TPosition& pos) {
    if (s.size() < 19)
        return "uncompressed position too short";
    int d[4] = {};
    if (!Digit(s[0]) || !Digit(s[1]) || s[4] != '.' || !PositionDigit(s[2], d[0]) ||
        !PositionDigit(s[3], d[1]) || !PositionDigit(s[5], d[2]) || !PositionDigit(s[6], d[3]))
        return "bad latitude '" + std::string(s.substr(0, 8)) + "'";
    const int latDeg = (s[0] - '0') * 10 + (s[1] - '0');
    const double latMin = d[0] * 10 + d[1] + (d[2] * 10 + d[3]) / 100.0;
    if (latDeg > 90 || latMin >= 60.0 || (s[7] != 'N' && s[7] != 'S'))
        return "bad latitude '" + std::string(s.substr(0, 8)) + "'";
    if (!Digit(s[9]) || !Digit(s[10]) || !Digit(s[11]) || s[14] != '.' ||
        !PositionDigit(s[12], d[0]) || !PositionDigit(s[13], d[1]) || !PositionDigit(s[15], d[2]) ||
        !PositionDigit(s[16], d[3]))
        return "bad longitude '" + std::string(s.substr(9, 9)) + "'";
    const int lonDeg = (s[9] - '0') * 100 + (s[10] - '0') * 10 + (s[11] - '0');
    const double lonMin = d[0] * 10 + d[1] + (d[2] * 10 + d[3]) / 100.0;
    if (lonDeg > 180 || lonMin >= 60.0 || (s[17] != 'E' && s[17] != 'W'))
        return "bad longitude '" + std::string(s.substr(9, 9)) + "'";
    if (!SymbolTableChar(s[8], false))
        return "bad symbol table '" + std::string(1, s[8]) + "'";
    if (!SymbolCodeChar(s[18]))
        return "bad symbol code";
    pos.latitude = (latDeg + latMin / 60.0) * (s[7] == 'S' ? -1 : 1);
    pos.longitude = (lonDeg + lonMin / 60.0) * (s[17] == 'W' ? -1 : 1);
    if (std::fabs(pos.latitude) > 90.0 || std::fabs(pos.longitude) > 180.0)
        return "position out of range";
    pos.table = s[8];
    pos.code = s[18];
    // After a weather symbol, "ddd/sss" is the wind, not the station's motion.
    if (pos.code != '_')
        pos.hasSpeed = CourseSpeed(s.substr(19), pos.course, pos.speedKnots);
    return {};
}

bool Base91(std::string_view s, double& value) {
    value = 0;
    for (const char c : s) {
        if (c < '!' || c > '{')
            return false;
        value = value * 91 + (c - 33);
    }
    return true;
}

std::string Compressed(std::string_view s, TPosition& pos) {
    if (s.size() < 13)
        return "compressed position too short";
    if (!SymbolTableChar(s[0], true))
        return "bad symbol table '" + std::string(1, s[0]) + "'";
    double y = 0, x = 0;
    if (!Base91(s.substr(1, 4), y) || !Base91(s.substr(5, 4), x))
        return "bad compressed position";
    pos.latitude = 90.0 - y / 380926.0;
    pos.longitude = -180.0 + x / 190463.0;
    if (std::fabs(pos.latitude) > 90.0 || std::fabs(pos.longitude) > 180.0)
        return "compressed position out of range";
    if (!SymbolCodeChar(s[9]))
        return "bad symbol code";
    pos.table = s[0];
    pos.code = s[9];
    const char c = s[10], sp = s[11], t = s[12];
    if (c != ' ' && t >= '!' && t <= '{' && sp >= '!' && sp <= '{') {
        const bool altitude = (((t - 33) >> 3) & 3) == 2; // from a GGA sentence: cs is altitude
        if (!altitude && c >= '!' && c <= 'z' && pos.code != '_') {
            pos.hasSpeed = true;
            pos.course = (c - 33) * 4;
            pos.speedKnots = std::pow(1.08, sp - 33) - 1.0;
        }
    }
    return {};
}

std::string Position(std::string_view s, TPosition& pos) {
    if (s.empty())
        return "no position";
    return Digit(s[0]) ? Uncompressed(s, pos) : Compressed(s, pos);
}

bool Timestamp(std::string_view s) {
    if (s.size() < 7)
        return false;
    for (std::size_t i = 0; i < 6; ++i)
        if (!Digit(s[i]))
            return false;
    return s[6] == 'z' || s[6] == '/' || s[6] == 'h';
}

std::string MicE(const TMonitorPacket& packet, TPosition& pos) {
    const std::string_view info = packet.information;
    std::string_view dest = packet.destination;
    dest = dest.substr(0, dest.find('-'));
    if (dest.size() != 6)
        return "Mic-E destination '" + packet.destination + "' is not 6 characters";
    if (info.size() < 9)
        return "Mic-E information too short";
    int digits[6] = {};
    for (std::size_t i = 0; i < 6; ++i) {
        const char c = dest[i];
        if (Digit(c))
            digits[i] = c - '0';
        else if (c >= 'A' && c <= 'J')
            digits[i] = c - 'A';
        else if (c >= 'P' && c <= 'Y')
            digits[i] = c - 'P';
        else if (c == 'K' || c == 'L' || c == 'Z')
            digits[i] = 0; // a digit left out (ambiguity)
        else
            return "bad Mic-E destination '" + packet.destination + "'";
    }
    const auto high = [&](std::size_t i) { return dest[i] >= 'P' && dest[i] <= 'Z'; };
    const int latDeg = digits[0] * 10 + digits[1];
    const double latMin = digits[2] * 10 + digits[3] + (digits[4] * 10 + digits[5]) / 100.0;
    if (latDeg > 90 || latMin >= 60.0)
        return "bad Mic-E latitude";
    for (std::size_t i = 1; i <= 6; ++i)
        if (static_cast<unsigned char>(info[i]) < 28)
            return "bad Mic-E longitude or speed byte";
    int lonDeg = static_cast<unsigned char>(info[1]) - 28;
    if (high(4))
        lonDeg += 100;
    if (lonDeg >= 180 && lonDeg <= 189)
        lonDeg -= 80;
    else if (lonDeg >= 190 && lonDeg <= 199)
        lonDeg -= 190;
    int lonMin = static_cast<unsigned char>(info[2]) - 28;
    if (lonMin >= 60)
        lonMin -= 60;
    const int lonHundredths = static_cast<unsigned char>(info[3]) - 28;
    if (lonDeg > 179 || lonMin >= 60 || lonHundredths >= 100)
        return "bad Mic-E longitude";
    const int sp = static_cast<unsigned char>(info[4]) - 28;
    const int dc = static_cast<unsigned char>(info[5]) - 28;
    const int se = static_cast<unsigned char>(info[6]) - 28;
    int speed = sp * 10 + dc / 10;
    int course = (dc % 10) * 100 + se;
    if (speed >= 800)
        speed -= 800;
    if (course >= 400)
        course -= 400;
    if (!SymbolCodeChar(info[7]) || !SymbolTableChar(info[8], false))
        return "bad Mic-E symbol";
    pos.latitude = (latDeg + latMin / 60.0) * (high(3) ? 1 : -1);
    pos.longitude = (lonDeg + (lonMin + lonHundredths / 100.0) / 60.0) * (high(5) ? -1 : 1);
    pos.code = info[7];
    pos.table = info[8];
    if (pos.code != '_') {
        pos.hasSpeed = true;
        pos.speedKnots = speed;
        pos.course = course;
    }
    return {};
}

void Place(TAprsReport& report, const TPosition& pos) {
    report.hasPosition = true;
    report.latitude = pos.latitude;
    report.longitude = pos.longitude;
    report.symbolTable = pos.table;
    report.symbolCode = pos.code;
    report.hasSpeed = pos.hasSpeed;
    report.speedKmh = pos.speedKnots * kKmPerNauticalMile;
    report.course = pos.course;
}

std::string JoinPath(const std::string& destination, const std::string& path) {
    return path.empty() ? destination : destination + "," + path;
}

/// The inner path with the IGate starred as the last element (its own entry
/// replaced when the IGate already put itself there); other stars dropped,
/// since on the local channel only the IGate sent it.
std::string ThirdPartyPath(const TMonitorPacket& inner, const std::string& igate) {
    std::string path = inner.destination;
    std::string_view rest = inner.path;
    std::string last;
    while (!rest.empty()) {
        const auto comma = rest.find(',');
        std::string element(rest.substr(0, comma));
        rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
        if (!element.empty() && element.back() == '*')
            element.pop_back();
        if (element == igate && rest.empty())
            break;
        if (!element.empty())
            path += "," + element;
    }
    return path + "," + igate + "*";
}

TAprsResult Decode(const TMonitorPacket& packet, int depth) {
    TAprsResult result;
    TAprsReport report;
    report.name = packet.source;
    report.path = JoinPath(packet.destination, packet.path);
    const std::string_view info = packet.information;
    if (info.empty()) {
        result.reason = "empty information field";
        return result;
    }
    TPosition pos;
    std::string why;
    switch (info[0]) {
    case '!':
    case '=':
        report.type = info[0] == '!' ? TPacketType::ptPositionNoTimeNoMessaging
                                     : TPacketType::ptPositionNoTimeMessaging;
        why = Position(info.substr(1), pos);
        break;
    case '/':
    case '@':
        report.type = info[0] == '/' ? TPacketType::ptPositionTimeNoMessaging
                                     : TPacketType::ptPositionTimeMessaging;
        why = Timestamp(info.substr(1)) ? Position(info.substr(8), pos) : "bad timestamp";
        break;
    case ';': {
        report.type = TPacketType::ptObject;
        if (info.size() < 18 || (info[10] != '*' && info[10] != '_')) {
            result.reason = "malformed object";
            return result;
        }
        std::string_view name = info.substr(1, 9);
        while (!name.empty() && name.back() == ' ')
            name.remove_suffix(1);
        if (name.empty()) {
            result.reason = "object without a name";
            return result;
        }
        report.name.assign(name);
        report.alive = info[10] == '*';
        why = Timestamp(info.substr(11)) ? Position(info.substr(18), pos) : "bad object timestamp";
        break;
    }
    case ')': {
        report.type = TPacketType::ptItem;
        const auto end = info.find_first_of("!_", 1);
        if (end == std::string_view::npos || end < 4 || end > 10) {
            result.reason = "malformed item name";
            return result;
        }
        report.name.assign(info.substr(1, end - 1));
        report.alive = info[end] == '!';
        why = Position(info.substr(end + 1), pos);
        break;
    }
    case '`':
    case '\'':
        report.type = info[0] == '`' ? TPacketType::ptMicECurrent : TPacketType::ptMicEOld;
        why = MicE(packet, pos);
        break;
    case '}': {
        report.type = TPacketType::ptThirdParty;
        if (depth > 0) {
            result.reason = "third-party packet inside a third-party packet";
            return result;
        }
        const TMonitorResult inner = ParseMonitorLine(info.substr(1));
        if (!inner.packet) {
            result.reason = "third-party: " + inner.reason;
            return result;
        }
        TAprsResult decoded = Decode(*inner.packet, depth + 1);
        if (decoded.report) {
            decoded.report->thirdParty = true;
            decoded.report->path = ThirdPartyPath(*inner.packet, packet.source);
        } else {
            decoded.reason = "third-party: " + decoded.reason;
        }
        return decoded;
    }
    default:
        // Messages, status reports, telemetry, weather without position and
        // the like: the station was heard, but the packet gives no place.
        report.type = TPacketType::ptUnknown;
        result.report = std::move(report);
        return result;
    }
    if (!why.empty()) {
        // A killed object or item needs no position to leave the list.
        if (!report.alive &&
            (report.type == TPacketType::ptObject || report.type == TPacketType::ptItem)) {
            result.report = std::move(report);
            return result;
        }
        result.reason = why;
        return result;
    }
    Place(report, pos);
    result.report = std::move(report);
    return result;
}

} // namespace

TMonitorResult ParseMonitorLine(std::string_view line) {
    TMonitorResult result;
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
        line.remove_suffix(1);
    if (line.find('\n') != std::string_view::npos) {
        result.reason = "more than one line";
        return result;
    }
    auto& pattern = support::AprsPattern(support::TAprsPattern::MonitorLine);
    const auto match = pattern.Match(line);
    if (!match) {
        result.reason = "not a monitor line";
        return result;
    }
    const std::size_t start = *match->Offset(1);
    if (start > 0) {
        const char before = line[start - 1];
        const bool word = Digit(before) || before == '_' || before == '-' ||
                          (before >= 'A' && before <= 'Z') || (before >= 'a' && before <= 'z');
        if (word) {
            result.reason = "source call longer than 9 characters";
            return result;
        }
    }
    TMonitorPacket packet;
    packet.source = *match->Group(1);
    packet.destination = *match->Group(2);
    packet.path = match->Group(3).value_or(std::string());
    packet.information = *match->Group(4) + *match->Group(5);
    result.packet = std::move(packet);
    return result;
}

TAprsResult DecodeAprs(const TMonitorPacket& packet) {
    return Decode(packet, 0);
}

} // namespace standin::aprs
