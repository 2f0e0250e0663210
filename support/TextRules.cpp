#include "support/TextRules.h"

#include <cmath>
#include <cstdio>
#include <limits>

namespace support {

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

/// The length in bytes of the well-formed UTF-8 sequence at the start of the
/// text, or 1 when the first byte does not begin one.
std::size_t SequenceLength(std::string_view text) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF; // allowed range of the second byte
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0; // no overlong forms
        else if (lead == 0xED)
            high = 0x9F; // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90;
        else if (lead == 0xF4)
            high = 0x8F; // nothing beyond U+10FFFF
    } else
        return 1;
    if (text.size() < length || byte(1) < low || byte(1) > high)
        return 1;
    for (std::size_t i = 2; i < length; ++i)
        if (byte(i) < 0x80 || byte(i) > 0xBF)
            return 1;
    return length;
}

} // namespace

std::string_view CharacterSpan(std::string_view utf8, std::size_t first, std::size_t count,
                               TTextUnit unit) {
    std::size_t at = 0;    // byte position
    std::size_t units = 0; // units before `at`
    std::size_t begin = utf8.size();
    const std::size_t end = first + count;
    while (at < utf8.size()) {
        const std::size_t length = SequenceLength(utf8.substr(at));
        const std::size_t width = unit == TTextUnit::Utf16 && length == 4 ? 2 : 1;
        if (begin == utf8.size() && units >= first)
            begin = at;
        if (units + width > end)
            break;
        at += length;
        units += width;
    }
    return begin < at ? utf8.substr(begin, at - begin) : std::string_view();
}

std::size_t CharacterCount(std::string_view utf8, TTextUnit unit) {
    std::size_t units = 0;
    for (std::size_t at = 0; at < utf8.size();) {
        const std::size_t length = SequenceLength(utf8.substr(at));
        units += unit == TTextUnit::Utf16 && length == 4 ? 2 : 1;
        at += length;
    }
    return units;
}

std::optional<std::int32_t> ParseIntText(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    const std::string_view rest = text.substr(i);
    if (rest.empty())
        return std::nullopt;

    std::string_view hex;
    if (rest.starts_with("0x") || rest.starts_with("0X"))
        hex = rest.substr(2);
    else if (rest[0] == '$' || rest[0] == 'x' || rest[0] == 'X')
        hex = rest.substr(1);
    else {
        // Decimal: accumulate in 64 bits, the magnitude of INT32_MIN fits.
        std::int64_t value = 0;
        for (const char c : rest) {
            if (c < '0' || c > '9')
                return std::nullopt;
            value = value * 10 + (c - '0');
            if (value > std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1)
                return std::nullopt;
        }
        if (negative)
            value = -value;
        if (value > std::numeric_limits<std::int32_t>::max())
            return std::nullopt;
        return static_cast<std::int32_t>(value);
    }

    if (hex.empty())
        return std::nullopt;
    std::uint64_t value = 0;
    for (const char c : hex) {
        const int digit = HexDigit(c);
        if (digit < 0)
            return std::nullopt;
        value = value * 16 + static_cast<std::uint64_t>(digit);
        if (value > 0xFFFFFFFFull)
            return std::nullopt;
    }
    auto bits = static_cast<std::uint32_t>(value);
    if (negative)
        bits = 0u - bits; // two's-complement negation: "-$80000000" stays INT32_MIN
    return static_cast<std::int32_t>(bits);
}

std::int32_t IntTextOr(std::string_view text, std::int32_t fallback) {
    return ParseIntText(text).value_or(fallback);
}

std::int32_t RoundHalfEven(double value) {
    if (std::isnan(value))
        return 0;
    // std::nearbyint rounds in the current rounding mode; the program never
    // changes it from round-to-nearest-even.
    const double rounded = std::nearbyint(value);
    if (rounded >= static_cast<double>(std::numeric_limits<std::int32_t>::max()))
        return std::numeric_limits<std::int32_t>::max();
    if (rounded <= static_cast<double>(std::numeric_limits<std::int32_t>::min()))
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(rounded);
}

std::string TrimBlanksAndControls(std::string_view text) {
    const auto isTrimmed = [](char c) { return static_cast<unsigned char>(c) <= 0x20; };
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && isTrimmed(text[first]))
        ++first;
    while (last > first && isTrimmed(text[last - 1]))
        --last;
    return std::string(text.substr(first, last - first));
}

std::string UpperAscii(std::string_view text) {
    std::string result(text);
    for (char& c : result) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return result;
}

std::string WithFullStop(std::string_view message) {
    std::string result(message);
    if (!result.empty() && static_cast<unsigned char>(result.back()) > '.')
        result += '.';
    return result;
}

std::string FormatSingle(float value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.9g", static_cast<double>(value));
    return buffer;
}

std::string FormatDouble(double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.17g", value);
    return buffer;
}

bool HasControlCharacter(std::string_view text) {
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F)
            return true;
    }
    return false;
}

std::string EscapeControls(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\\') {
            out += "\\\\";
        } else if (c < 0x20 || c == 0x7F) {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
        } else if (c == 0xC2 && i + 1 < text.size() &&
                   static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                   static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
            const auto c1 = static_cast<unsigned char>(text[++i]);
            out += "\\u00";
            out += kHex[c1 >> 4];
            out += kHex[c1 & 0xF];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

} // namespace support
