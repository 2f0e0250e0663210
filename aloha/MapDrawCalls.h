#pragma once

#include <cstdint>

/// The arguments the map overlay gives the host's drawing calls. The stand-in
/// host reads them back to tell the figures apart, without the rest of the run.
namespace aloha {

inline constexpr std::int32_t kDrawSettingA = 2;
inline constexpr std::int32_t kDrawSettingB = 2;
inline constexpr std::int32_t kDrawColour = 0x00FFFF00;
inline constexpr std::uint32_t kAlohaColour = 255;
inline constexpr std::uint32_t kReachColour = 0;
inline constexpr std::uint32_t kLabelColour = 0;
inline constexpr float kStartAngle = 6.2831855f;       // 2 pi as single
inline constexpr double kEndAngle = 6.283185307179586; // 2 pi as double
inline constexpr std::int32_t kLabelVariantSize = 8;
/// Colour argument of the measured figure and its label: blue in the host's
/// coding, where 255 is the ALOHA figure's red.
inline constexpr std::uint32_t kMeasuredColour = 0x00FF0000;

/// Colour argument of the marks of the digipeaters that repeated the own
/// packets: dark green in the host's coding.
inline constexpr std::uint32_t kFootprintColour = 0x00008000;

} // namespace aloha
