#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

/// Text and number rules shared by every part of Velloran.
///
/// Texts are byte strings (UTF-8 where they come from the user); the rules here
/// work on single bytes, so an ASCII rule never touches a multi-byte character.
namespace support {

/// Reads a typed number as a signed 32-bit integer.
///
/// Accepted: optional leading spaces, one optional sign, then either decimal
/// digits or hexadecimal digits after "$", "x", "X", "0x" or "0X". Nothing may
/// follow the digits, not even a blank. A decimal value must fit a signed
/// 32-bit integer; a hexadecimal value of up to 32 bits is taken as a 32-bit
/// two's-complement number ("$FFFFFFFF" is -1) and the sign applies to that
/// ("-$10" is -16). Anything else, the empty text included, is not a number.
std::optional<std::int32_t> ParseIntText(std::string_view text);

/// ParseIntText with a default for text that is not a number.
std::int32_t IntTextOr(std::string_view text, std::int32_t fallback);

/// Rounds to the nearest integer, ties to even (2.5 gives 2, 1.5 gives 2).
/// Values beyond the 32-bit range saturate at its ends; NaN gives 0.
std::int32_t RoundHalfEven(double value);

/// Removes leading and trailing blanks and control characters (every byte up
/// to and including the space, 0x00-0x20).
std::string TrimBlanksAndControls(std::string_view text);

/// Whether the text holds a C0 control character or DEL (0x00-0x1F, 0x7F).
bool HasControlCharacter(std::string_view text);

/// The text with control characters written out, for logs that reach a
/// terminal: C0 controls and DEL as \xHH, C1 controls (UTF-8 encoded) as
/// \u00HH, and the backslash doubled so that nothing reads as an escape it
/// is not. Other text passes unchanged.
std::string EscapeControls(std::string_view text);

/// How a text's characters are counted where a host counts them.
enum class TTextUnit {
    CodePoint, ///< one per Unicode code point
    Utf16,     ///< one per UTF-16 code unit: two for a character beyond U+FFFF
};

/// How the host counts the characters of its texts (the station-list entry's
/// layout is in characters): on Windows in UTF-16 units, as its own strings
/// do; elsewhere in code points. The two differ only beyond U+FFFF.
#ifdef _WIN32
inline constexpr TTextUnit kHostTextUnit = TTextUnit::Utf16;
#else
inline constexpr TTextUnit kHostTextUnit = TTextUnit::CodePoint;
#endif

/// The part of a UTF-8 text that starts at character `first` (0-based) and
/// holds at most `count` characters, counted in `unit`. A byte that does not
/// begin a well-formed UTF-8 sequence counts as one character of its own. A
/// character of two UTF-16 units that would be cut in half, at either end, is
/// left out: half of it is no text.
std::string_view CharacterSpan(std::string_view utf8, std::size_t first, std::size_t count,
                               TTextUnit unit);

/// The number of characters of a UTF-8 text, counted in `unit` (as CharacterSpan counts).
std::size_t CharacterCount(std::string_view utf8, TTextUnit unit);

/// Turns the ASCII letters a-z into A-Z; every other byte is kept.
std::string UpperAscii(std::string_view text);

/// The message of an error as shown to the user: a full stop is added when the
/// text's last byte sorts after the full stop, as letters and digits do.
std::string WithFullStop(std::string_view message);

/// Formats a single-precision value as printf "%.9g" does (enough digits to
/// give the same float back).
std::string FormatSingle(float value);

/// Formats a double-precision value as printf "%.17g" does.
std::string FormatDouble(double value);

} // namespace support
