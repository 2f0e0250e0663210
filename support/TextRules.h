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
