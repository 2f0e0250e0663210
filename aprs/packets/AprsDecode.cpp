#include "aprs/packets/AprsDecode.h"

#include "support/APRSParser.h"
#include "support/TextRules.h"

#include <charconv>
#include <cmath>
#include <vector>

namespace aprs {

using support::TPacketType;

namespace {

constexpr double kKmPerNauticalMile = 1.852;
/// How much text may stand in front of the '!' of a position report.
constexpr std::size_t kMaxLeadingText = 40;

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

bool Printable(std::string_view s) {
    for (const char c : s)
        if (c < ' ' || c > '~')
            return false;
    return true;
}

char Upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

/// The extra precision of a "!DAO!" group in a comment, in minutes.
struct TDao {
    double latitudeMinutes = 0.0;
    double longitudeMinutes = 0.0;
};

/// Finds the first "!DAO!" group in a comment. An upper-case datum letter
/// carries one more decimal digit of the minutes (a blank counts as 0); a
/// lower-case one carries base-91 fractions of a hundredth of a minute.
bool Dao(std::string_view comment, TDao& dao) {
    for (std::size_t i = 0; i + 4 < comment.size(); ++i) {
        if (comment[i] != '!' || comment[i + 4] != '!')
            continue;
        const char datum = comment[i + 1], a = comment[i + 2], o = comment[i + 3];
        const auto digit = [](char c) { return c == ' ' || Digit(c); };
        const auto base91 = [](char c) { return c >= '!' && c <= '{'; };
        if (datum >= 'A' && datum <= 'Z' && digit(a) && digit(o)) {
            dao.latitudeMinutes = a == ' ' ? 0.0 : (a - '0') * 0.001;
            dao.longitudeMinutes = o == ' ' ? 0.0 : (o - '0') * 0.001;
            return true;
        }
        if (datum >= 'a' && datum <= 'z' && base91(a) && base91(o)) {
            dao.latitudeMinutes = (a - 33) / 91.0 * 0.01;
            dao.longitudeMinutes = (o - 33) / 91.0 * 0.01;
            return true;
        }
    }
    return false;
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
    const char ns = Upper(s[7]), ew = Upper(s[17]);
    if (latDeg > 90 || latMin >= 60.0 || (ns != 'N' && ns != 'S'))
        return "bad latitude '" + std::string(s.substr(0, 8)) + "'";
    if (!Digit(s[9]) || !Digit(s[10]) || !Digit(s[11]) || s[14] != '.' ||
        !PositionDigit(s[12], d[0]) || !PositionDigit(s[13], d[1]) || !PositionDigit(s[15], d[2]) ||
        !PositionDigit(s[16], d[3]))
        return "bad longitude '" + std::string(s.substr(9, 9)) + "'";
    const int lonDeg = (s[9] - '0') * 100 + (s[10] - '0') * 10 + (s[11] - '0');
    const double lonMin = d[0] * 10 + d[1] + (d[2] * 10 + d[3]) / 100.0;
    if (lonDeg > 180 || lonMin >= 60.0 || (ew != 'E' && ew != 'W'))
        return "bad longitude '" + std::string(s.substr(9, 9)) + "'";
    if (!SymbolTableChar(s[8], false))
        return "bad symbol table '" + std::string(1, s[8]) + "'";
    if (!SymbolCodeChar(s[18]))
        return "bad symbol code";
    TDao dao;
    Dao(s.substr(19), dao);
    pos.latitude = (latDeg + (latMin + dao.latitudeMinutes) / 60.0) * (ns == 'S' ? -1 : 1);
    pos.longitude = (lonDeg + (lonMin + dao.longitudeMinutes) / 60.0) * (ew == 'W' ? -1 : 1);
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
    // Lower-case overlays stand for the digits, which base 91 cannot start with.
    pos.table = s[0] >= 'a' && s[0] <= 'j' ? static_cast<char>(s[0] - 'a' + '0') : s[0];
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

/// A timestamp (7 characters) and the position after it. A malformed
/// timestamp in front of an intact position still places the station.
std::string TimedPosition(std::string_view s, TPosition& pos) {
    const std::string why = Position(s.size() > 7 ? s.substr(7) : std::string_view(), pos);
    if (!why.empty() && !Timestamp(s))
        return "bad timestamp";
    return why;
}

std::string MicE(const TMonitorPacket& packet, TPosition& pos) {
    const std::string_view info = packet.information;
    std::string_view dest = packet.destination;
    dest = dest.substr(0, dest.find('-'));
    if (dest.size() != 6)
        return "Mic-E destination '" + packet.destination + "' is not 6 characters";
    if (info.size() < 9)
        return "Mic-E information too short";
    const std::string bad = "bad Mic-E destination '" + packet.destination + "'";
    // The destination carries the latitude digits and, in its first three
    // characters only, the message bits (A-K); K, L and Z are digits left out.
    int digits[6] = {};
    bool ambiguous = false;
    for (std::size_t i = 0; i < 6; ++i) {
        const char c = dest[i];
        const bool blank = c == 'L' || c == 'Z' || (c == 'K' && i < 3);
        if (Digit(c))
            digits[i] = c - '0';
        else if (c >= 'A' && c <= 'J' && i < 3)
            digits[i] = c - 'A';
        else if (c >= 'P' && c <= 'Y')
            digits[i] = c - 'P';
        else if (!blank)
            return bad;
        // Ambiguity leaves out the last digits: none may follow a blank.
        if (ambiguous && !blank)
            return bad;
        ambiguous = blank;
    }
    const auto high = [&](std::size_t i) { return dest[i] >= 'P' && dest[i] <= 'Z'; };
    const int latDeg = digits[0] * 10 + digits[1];
    const double latMin = digits[2] * 10 + digits[3] + (digits[4] * 10 + digits[5]) / 100.0;
    if (latDeg > 90 || latMin >= 60.0 || (latDeg == 90 && latMin > 0))
        return "bad Mic-E latitude";
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(info[i]); };
    // Each longitude, speed and course byte is a value plus 28 within 7-bit
    // ASCII; degrees and minutes start at 10 (the smaller values are sent
    // shifted up, see below).
    if (byte(1) < 38 || byte(1) > 127)
        return "bad Mic-E longitude degrees";
    if (byte(2) < 38 || byte(2) > 97)
        return "bad Mic-E longitude minutes";
    for (std::size_t i = 3; i <= 6; ++i)
        if (byte(i) < 28 || byte(i) > 127)
            return "bad Mic-E longitude or speed byte";
    int lonDeg = byte(1) - 28;
    if (high(4))
        lonDeg += 100;
    if (lonDeg >= 180 && lonDeg <= 189)
        lonDeg -= 80;
    else if (lonDeg >= 190 && lonDeg <= 199)
        lonDeg -= 190;
    int lonMin = byte(2) - 28;
    if (lonMin >= 60)
        lonMin -= 60;
    const int lonHundredths = byte(3) - 28;
    if (lonDeg > 179)
        return "bad Mic-E longitude degrees";
    const int sp = byte(4) - 28;
    const int dc = byte(5) - 28;
    const int se = byte(6) - 28;
    int speed = sp * 10 + dc / 10;
    int course = (dc % 10) * 100 + se;
    if (speed >= 800)
        speed -= 800;
    if (course >= 400)
        course -= 400;
    if (course > 360)
        return "bad Mic-E course";
    if (!SymbolCodeChar(info[7]) || !SymbolTableChar(info[8], false))
        return "bad Mic-E symbol";
    TDao dao;
    Dao(info.substr(9), dao);
    pos.latitude = (latDeg + (latMin + dao.latitudeMinutes) / 60.0) * (high(3) ? 1 : -1);
    pos.longitude = (lonDeg + (lonMin + lonHundredths / 100.0 + dao.longitudeMinutes) / 60.0) *
                    (high(5) ? -1 : 1);
    pos.code = info[7];
    pos.table = info[8];
    if (pos.code != '_') {
        pos.hasSpeed = true;
        pos.speedKnots = speed;
        pos.course = course;
    }
    return {};
}

/// A raw GPS sentence's fields, between the '$' and the checksum.
std::vector<std::string_view> NmeaFields(std::string_view sentence) {
    std::vector<std::string_view> fields;
    for (;;) {
        const auto comma = sentence.find(',');
        fields.push_back(sentence.substr(0, comma));
        if (comma == std::string_view::npos)
            return fields;
        sentence.remove_prefix(comma + 1);
    }
}

int HexDigit(char c) {
    if (Digit(c))
        return c - '0';
    const char u = Upper(c);
    return u >= 'A' && u <= 'F' ? u - 'A' + 10 : -1;
}

/// "ddmm.mmm" (latitude, 2 degree digits) or "dddmm.mmm" (longitude, 3) and
/// the hemisphere letter, in degrees.
bool NmeaAngle(std::string_view value, std::string_view hemisphere, std::size_t degreeDigits,
               double& degrees) {
    const auto dot = value.find('.');
    const std::string_view whole = value.substr(0, dot);
    if (whole.size() != degreeDigits + 2 || hemisphere.size() != 1)
        return false;
    for (const char c : whole)
        if (!Digit(c))
            return false;
    if (dot != std::string_view::npos) {
        const std::string_view fraction = value.substr(dot + 1);
        for (const char c : fraction)
            if (!Digit(c))
                return false;
    }
    int deg = 0;
    for (std::size_t i = 0; i < degreeDigits; ++i)
        deg = deg * 10 + (whole[i] - '0');
    double minutes = 0;
    const char* first = value.data() + degreeDigits;
    if (std::from_chars(first, value.data() + value.size(), minutes).ec != std::errc())
        return false;
    const char h = Upper(hemisphere[0]);
    const bool latitude = degreeDigits == 2;
    const char positive = latitude ? 'N' : 'E', negative = latitude ? 'S' : 'W';
    if (minutes >= 60.0 || (h != positive && h != negative))
        return false;
    degrees = (deg + minutes / 60.0) * (h == negative ? -1 : 1);
    return std::fabs(degrees) <= (latitude ? 90.0 : 180.0);
}

bool NmeaNumber(std::string_view field, double& value) {
    if (field.empty())
        return false;
    const auto got = std::from_chars(field.data(), field.data() + field.size(), value);
    return got.ec == std::errc() && got.ptr == field.data() + field.size() && value >= 0 &&
           std::isfinite(value);
}

/// The symbol a tracker may give in its destination: GPSxyz, SPCxyz or
/// SYMxyz, where xy names the symbol (the first letter also picks the table)
/// and z is an overlay or a blank.
bool DestinationSymbol(std::string_view destination, char& table, char& code) {
    destination = destination.substr(0, destination.find('-'));
    if (destination.size() < 5 || destination.size() > 6 ||
        (!destination.starts_with("GPS") && !destination.starts_with("SPC") &&
         !destination.starts_with("SYM")))
        return false;
    // For each group of codes: the letters for the primary and alternate
    // tables, the first and last second character, and the first code.
    struct TGroup {
        char primary, alternate, first, last, code;
    };
    constexpr TGroup groups[] = {{'B', 'O', 'B', 'P', '!'}, {'P', 'A', '0', '9', '0'},
                                 {'M', 'N', 'R', 'X', ':'}, {'P', 'A', 'A', 'Z', 'A'},
                                 {'H', 'D', 'S', 'X', '['}, {'L', 'S', 'A', 'Z', 'a'},
                                 {'J', 'Q', '1', '4', '{'}};
    const char x = destination[3], y = destination[4];
    const char z = destination.size() == 6 ? destination[5] : ' ';
    for (const TGroup& g : groups) {
        if ((x != g.primary && x != g.alternate) || y < g.first || y > g.last)
            continue;
        code = static_cast<char>(g.code + (y - g.first));
        table = x == g.primary ? '/' : '\\';
        if (table == '\\' && (Digit(z) || (z >= 'A' && z <= 'Z')))
            table = z;
        return true;
    }
    return false;
}

/// A raw GPS sentence from a tracker: $GPRMC, $GPGGA or $GPGLL, also from
/// the GN (several systems) and GL (GLONASS) talkers. Sets valid false for a
/// sentence without a valid fix, which gives no position.
std::string Nmea(std::string_view info, std::string_view destination, TPosition& pos, bool& valid) {
    valid = false;
    const auto star = info.find('*');
    std::string_view body = info.substr(1, star == std::string_view::npos ? info.npos : star - 1);
    if (star != std::string_view::npos) {
        if (star + 2 >= info.size() || HexDigit(info[star + 1]) < 0 || HexDigit(info[star + 2]) < 0)
            return "bad NMEA checksum";
        unsigned sum = 0;
        for (const char c : body)
            sum ^= static_cast<unsigned char>(c);
        if (sum != static_cast<unsigned>(HexDigit(info[star + 1]) * 16 + HexDigit(info[star + 2])))
            return "NMEA checksum does not match";
    }
    const std::vector<std::string_view> f = NmeaFields(body);
    const std::string_view name = f[0];
    if (name.size() != 5 ||
        (name.substr(0, 2) != "GP" && name.substr(0, 2) != "GN" && name.substr(0, 2) != "GL"))
        return {}; // another sentence: no position
    const std::string_view kind = name.substr(2);
    std::size_t latAt = 0;
    if (kind == "RMC") {
        if (f.size() < 7 || f[2] != "A")
            return {};
        latAt = 3;
    } else if (kind == "GGA") {
        if (f.size() < 7 || f[6].empty() || f[6] == "0")
            return {};
        latAt = 2;
    } else if (kind == "GLL") {
        // Old receivers end after the time; NMEA 2.3 adds a mode, N for no fix.
        if (f.size() < 5 || (f.size() > 6 && f[6] != "A") || (f.size() > 7 && f[7] == "N"))
            return {};
        latAt = 1;
    } else {
        return {};
    }
    if (!NmeaAngle(f[latAt], f[latAt + 1], 2, pos.latitude))
        return "bad NMEA latitude '" + std::string(f[latAt]) + "'";
    if (!NmeaAngle(f[latAt + 2], f[latAt + 3], 3, pos.longitude))
        return "bad NMEA longitude '" + std::string(f[latAt + 2]) + "'";
    // Without a symbol in the destination a tracker is taken for a vehicle.
    if (!DestinationSymbol(destination, pos.table, pos.code)) {
        pos.table = '/';
        pos.code = '>';
    }
    // A speed or course no station can have is a receiver's garbage: it is
    // left out, the fix itself kept. 999 knots is also the most an APRS
    // speed field carries; nothing that beacons flies faster.
    constexpr double kMaxKnots = 999.0;
    double knots = 0, course = 0;
    if (kind == "RMC" && f.size() > 8 && NmeaNumber(f[7], knots) && knots <= kMaxKnots) {
        pos.hasSpeed = true;
        pos.speedKnots = knots;
        if (NmeaNumber(f[8], course) && course <= 360)
            pos.course = static_cast<int>(std::lround(course));
    }
    valid = true;
    return {};
}

/// A Maidenhead locator (4 or 6 characters) at the start of a status text,
/// optionally followed by a symbol; the position is the centre of the square.
bool Maidenhead(std::string_view text, TPosition& pos) {
    const auto field = [](char c) { return Upper(c) >= 'A' && Upper(c) <= 'R'; };
    const auto subsquare = [](char c) { return Upper(c) >= 'A' && Upper(c) <= 'X'; };
    if (text.size() < 4 || !field(text[0]) || !field(text[1]) || !Digit(text[2]) || !Digit(text[3]))
        return false;
    double lon = (Upper(text[0]) - 'A') * 20.0 - 180.0 + (text[2] - '0') * 2.0;
    double lat = (Upper(text[1]) - 'A') * 10.0 - 90.0 + (text[3] - '0');
    std::size_t length = 4;
    const auto ends = [&](std::size_t at) { return at >= text.size() || text[at] == ' '; };
    const auto symbolAt = [&](std::size_t at) {
        return at + 1 < text.size() && SymbolTableChar(text[at], false) &&
               SymbolCodeChar(text[at + 1]) && ends(at + 2);
    };
    if (text.size() >= 6 && subsquare(text[4]) && subsquare(text[5]) && (ends(6) || symbolAt(6))) {
        lon += (Upper(text[4]) - 'A') * (2.0 / 24) + 1.0 / 24;
        lat += (Upper(text[5]) - 'A') * (1.0 / 24) + 1.0 / 48;
        length = 6;
    } else if (ends(4) || symbolAt(4)) {
        lon += 1.0;
        lat += 0.5;
    } else {
        return false;
    }
    pos.latitude = lat;
    pos.longitude = lon;
    if (symbolAt(length)) {
        pos.table = text[length];
        pos.code = text[length + 1];
    } else {
        pos.table = '\\'; // the alternate table's "position not exact"
        pos.code = '.';
    }
    return true;
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
    // Packets that say something about a station but give no place.
    const auto noPlace = [&](TPacketType type) {
        report.type = type;
        result.report = std::move(report);
        return result;
    };
    switch (info[0]) {
    case '!':
    case '=':
        if (info.starts_with("!!"))
            return noPlace(TPacketType::ptWeatherReport); // Ultimeter data logger
        report.type = info[0] == '!' ? TPacketType::ptPositionNoTimeNoMessaging
                                     : TPacketType::ptPositionNoTimeMessaging;
        why = Position(info.substr(1), pos);
        break;
    case '/':
    case '@':
        report.type = info[0] == '/' ? TPacketType::ptPositionTimeNoMessaging
                                     : TPacketType::ptPositionTimeMessaging;
        why = TimedPosition(info.substr(1), pos);
        break;
    case '$': {
        if (info.starts_with("$ULTW"))
            return noPlace(TPacketType::ptWeatherReport); // Ultimeter in packet mode
        report.type = TPacketType::ptRawGps;
        bool fix = false;
        why = Nmea(info, packet.destination, pos, fix);
        if (why.empty() && !fix)
            return noPlace(TPacketType::ptRawGps);
        break;
    }
    case '>':
        if (!Maidenhead(info.substr(1), pos))
            return noPlace(TPacketType::ptStatus);
        report.type = TPacketType::ptStatus;
        report.locator = true;
        break;
    case ';': {
        report.type = TPacketType::ptObject;
        if (info.size() < 18 || (info[10] != '*' && info[10] != '_')) {
            result.reason = "malformed object";
            return result;
        }
        std::string_view name = info.substr(1, 9);
        if (!Printable(name)) {
            result.reason = "object name with a control character";
            return result;
        }
        while (!name.empty() && name.back() == ' ')
            name.remove_suffix(1);
        if (name.empty()) {
            result.reason = "object without a name";
            return result;
        }
        report.name.assign(name);
        report.alive = info[10] == '*';
        why = TimedPosition(info.substr(11), pos);
        break;
    }
    case ')': {
        report.type = TPacketType::ptItem;
        const auto end = info.find_first_of("!_", 1);
        if (end == std::string_view::npos || end < 4 || end > 10) {
            result.reason = "malformed item name";
            return result;
        }
        if (!Printable(info.substr(1, end - 1))) {
            result.reason = "item name with a control character";
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
    case ':':
        return noPlace(TPacketType::ptMessage);
    case '_':
        return noPlace(TPacketType::ptWeatherReport);
    case '#':
        return noPlace(TPacketType::ptPeetBrosWx);
    case '*':
        return noPlace(TPacketType::ptPeetBrosWxStar);
    case '<':
    case '?':
    case '{':
        // Capabilities, queries, user-defined data.
        return noPlace(TPacketType::ptUnknown);
    default: {
        if (info.starts_with("T#"))
            return noPlace(TPacketType::ptTelemetry);
        // Some digipeaters beacon fixed text in front of their position: the
        // '!' may follow up to 40 characters of it. Text that merely contains
        // a '!' gives no place.
        const auto bang = info.find('!');
        if (bang != std::string_view::npos && bang <= kMaxLeadingText &&
            Position(info.substr(bang + 1), pos).empty()) {
            report.type = TPacketType::ptPositionNoTimeNoMessaging;
            break;
        }
        return noPlace(TPacketType::ptUnknown);
    }
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
        // A control character is no separator: "N0AB<NUL>C" is not a line from C.
        if (before != '\t' && support::HasControlCharacter(std::string_view(&before, 1))) {
            result.reason = "control character in the source call";
            return result;
        }
    }
    // The path names digipeaters; the information field may carry control
    // characters (Mic-E does), the header may not.
    if (const auto path = match->Group(3); path && support::HasControlCharacter(*path)) {
        result.reason = "control character in the path";
        return result;
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

} // namespace aprs
