#include "app/model/ChannelTimeline.h"

#include <algorithm>
#include <array>
#include <string>

namespace app {

namespace {

constexpr TCanvasColour kBackground{0xFF, 0xFF, 0xFF};
constexpr TCanvasColour kGrid{0xD0, 0xD0, 0xD0};
constexpr TCanvasColour kInk{0x20, 0x20, 0x20};
constexpr TCanvasColour kAirtime{0x4A, 0x78, 0xB0};
constexpr double kMargin = 8.0;
constexpr double kNameWidth = 90.0;
constexpr double kLineHeight = 16.0;

constexpr std::array<std::pair<aprs::EFrameKind, const char*>, 7> kKinds = {{
    {aprs::EFrameKind::Position, "position"},
    {aprs::EFrameKind::Weather, "weather"},
    {aprs::EFrameKind::Object, "object"},
    {aprs::EFrameKind::Message, "message"},
    {aprs::EFrameKind::Status, "status"},
    {aprs::EFrameKind::Telemetry, "telemetry"},
    {aprs::EFrameKind::Other, "other"},
}};

} // namespace

TCanvasColour FrameKindColour(aprs::EFrameKind kind) {
    switch (kind) {
    case aprs::EFrameKind::Position:
        return {0x1F, 0x77, 0xB4};
    case aprs::EFrameKind::Weather:
        return {0x2C, 0xA0, 0x2C};
    case aprs::EFrameKind::Object:
        return {0xFF, 0x7F, 0x0E};
    case aprs::EFrameKind::Message:
        return {0xD6, 0x27, 0x28};
    case aprs::EFrameKind::Status:
        return {0x94, 0x67, 0xBD};
    case aprs::EFrameKind::Telemetry:
        return {0x8C, 0x56, 0x4B};
    case aprs::EFrameKind::Other:
        break;
    }
    return {0x7F, 0x7F, 0x7F};
}

void PaintChannelTimeline(IChannelCanvas& canvas, double width, double height,
                          const TChannelTimeline& timeline) {
    canvas.FillRect(0, 0, width, height, kBackground);
    const double left = kMargin + kNameWidth;
    const double right = std::max(left + 1.0, width - kMargin);
    const double span = right - left;
    const double seconds = TChannelTimeline::kMinutes * 60.0;

    // Airtime per minute: a quarter of the height, full height a whole minute.
    const double barTop = kMargin + kLineHeight;
    const double barHeight = std::max(20.0, (height - 2 * kMargin) / 4.0);
    const double barBase = barTop + barHeight;
    canvas.Text(kMargin, barTop + kLineHeight, "airtime/min", kInk);
    canvas.Line(left, barBase, right, barBase, kGrid);
    canvas.Line(left, barTop, right, barTop, kGrid);
    const double column = span / TChannelTimeline::kMinutes;
    for (int minute = 0; minute < TChannelTimeline::kMinutes; ++minute) {
        const double share = std::clamp(
            timeline.airtimePerMinute[static_cast<std::size_t>(minute)] / 60.0, 0.0, 1.0);
        if (share > 0)
            canvas.FillRect(left + minute * column + 1, barBase - share * barHeight,
                            std::max(1.0, column - 2), share * barHeight, kAirtime);
    }
    canvas.Text(left, kMargin + 10, "-30 min", kInk);
    canvas.Text(right - 30, kMargin + 10, "now", kInk);

    // The talkers, as many as there is room for above the legend.
    const double legendTop = height - kMargin - kLineHeight;
    double y = barBase + kMargin;
    for (const TChannelTimeline::TTalker& talker : timeline.talkers) {
        if (y + kLineHeight > legendTop)
            break;
        canvas.Text(kMargin, y + kLineHeight - 4, talker.name, kInk);
        canvas.Line(left, y + kLineHeight / 2, right, y + kLineHeight / 2, kGrid);
        for (const auto& [at, kind] : talker.transmissions) {
            const double x = left + std::clamp(at / seconds, 0.0, 1.0) * span;
            canvas.FillRect(x - 1, y + 2, 3, kLineHeight - 4, FrameKindColour(kind));
        }
        y += kLineHeight;
    }

    double x = kMargin;
    for (const auto& [kind, name] : kKinds) {
        canvas.FillRect(x, legendTop + 4, 10, 10, FrameKindColour(kind));
        canvas.Text(x + 14, legendTop + 13, name, kInk);
        x += 16 + 8 * static_cast<double>(std::string_view(name).size());
    }
}

} // namespace app
