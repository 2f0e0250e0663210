#include "app/model/ChannelTimeline.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <vector>

namespace app {

namespace {

constexpr TCanvasColour kBackground{0xFF, 0xFF, 0xFF};
constexpr TCanvasColour kGrid{0xD0, 0xD0, 0xD0};
constexpr TCanvasColour kInk{0x20, 0x20, 0x20};
constexpr TCanvasColour kAirtime{0x4A, 0x78, 0xB0};
constexpr double kMargin = 8.0;

constexpr std::array<std::pair<aprs::TFrameKind, const char*>, 7> kKinds = {{
    {aprs::TFrameKind::Position, "position"},
    {aprs::TFrameKind::Weather, "weather"},
    {aprs::TFrameKind::Object, "object"},
    {aprs::TFrameKind::Message, "message"},
    {aprs::TFrameKind::Status, "status"},
    {aprs::TFrameKind::Telemetry, "telemetry"},
    {aprs::TFrameKind::Other, "other"},
}};

} // namespace

TCanvasColour FrameKindColour(aprs::TFrameKind kind) {
    switch (kind) {
    case aprs::TFrameKind::Position:
        return {0x1F, 0x77, 0xB4};
    case aprs::TFrameKind::Weather:
        return {0x2C, 0xA0, 0x2C};
    case aprs::TFrameKind::Object:
        return {0xFF, 0x7F, 0x0E};
    case aprs::TFrameKind::Message:
        return {0xD6, 0x27, 0x28};
    case aprs::TFrameKind::Status:
        return {0x94, 0x67, 0xBD};
    case aprs::TFrameKind::Telemetry:
        return {0x8C, 0x56, 0x4B};
    case aprs::TFrameKind::Other:
        break;
    }
    return {0x7F, 0x7F, 0x7F};
}

namespace {

/// Where the legend's entries go: each a square and its word, wrapped onto
/// as many lines as the width needs.
struct TLegendEntry {
    aprs::TFrameKind kind;
    const char* name;
    double x;
    int line;
};

std::vector<TLegendEntry> LayOutLegend(IChannelCanvas& canvas, double width, int& lines) {
    const double line = canvas.LineHeight();
    const double square = std::round(line * 0.6);
    std::vector<TLegendEntry> entries;
    double x = kMargin;
    lines = 1;
    for (const auto& [kind, name] : kKinds) {
        const double entry = square + line * 0.3 + canvas.TextWidth(name);
        if (x > kMargin && x + entry > width - kMargin) {
            x = kMargin;
            ++lines;
        }
        entries.push_back({kind, name, x, lines - 1});
        x += entry + line;
    }
    return entries;
}

/// The airtime bars' height: four lines, and a quarter of a tall picture.
double BarHeight(double line, double height) {
    return std::max(4 * line, (height - 2 * kMargin) / 4.0);
}

} // namespace

double ChannelTimelineHeight(IChannelCanvas& canvas, double width, std::size_t rows) {
    const double line = canvas.LineHeight();
    int legendLines = 1;
    LayOutLegend(canvas, width, legendLines);
    // The bars take a quarter of the whole, at least four lines.
    const double rest = kMargin + line + kMargin + static_cast<double>(rows) * line + kMargin +
                        legendLines * line + kMargin;
    return std::max(rest + 4 * line, rest * 4.0 / 3.0);
}

void PaintChannelTimeline(IChannelCanvas& canvas, double width, double height,
                          const TChannelTimeline& timeline) {
    canvas.FillRect(0, 0, width, height, kBackground);
    const double line = canvas.LineHeight();
    // The names' column: the widest name shown, or the scale's words.
    double names = std::max(canvas.TextWidth("airtime/min"), canvas.TextWidth("60 s"));
    for (const TChannelTimeline::TTalker& talker : timeline.talkers)
        names = std::max(names, canvas.TextWidth(talker.name));
    const double left = kMargin + std::min(names, width / 3) + kMargin;
    const double right = std::max(left + 1.0, width - kMargin);
    const double span = right - left;
    const double seconds = TChannelTimeline::kMinutes * 60.0;

    // Airtime per minute, full height a whole minute, with its scale.
    const double barTop = kMargin + line;
    const double barHeight = BarHeight(line, height);
    const double barBase = barTop + barHeight;
    const double baseline = line * 0.3; // from a line's middle to its base line
    canvas.Line(left, barBase, right, barBase, kGrid);
    canvas.Line(left, barTop + barHeight / 2, right, barTop + barHeight / 2, kGrid);
    canvas.Line(left, barTop, right, barTop, kGrid);
    canvas.Text(kMargin, barTop + baseline, "60 s", kInk);
    canvas.Text(kMargin, barTop + barHeight / 2 + baseline, "30 s", kInk);
    canvas.Text(kMargin, barBase + baseline, "0 s", kInk);
    canvas.Text(kMargin, barTop + barHeight / 4 + baseline, "airtime/min", kInk);
    const double column = span / TChannelTimeline::kMinutes;
    for (int minute = 0; minute < TChannelTimeline::kMinutes; ++minute) {
        const double share = std::clamp(
            timeline.airtimePerMinute[static_cast<std::size_t>(minute)] / 60.0, 0.0, 1.0);
        if (share > 0)
            canvas.FillRect(left + minute * column + 1, barBase - share * barHeight,
                            std::max(1.0, column - 2), share * barHeight, kAirtime);
    }
    canvas.Text(left, kMargin + line - baseline, "-30 min", kInk);
    canvas.Text(right - canvas.TextWidth("now"), kMargin + line - baseline, "now", kInk);

    // The legend's lines at the foot, the talkers in the room above.
    int legendLines = 1;
    const std::vector<TLegendEntry> legend = LayOutLegend(canvas, width, legendLines);
    const double legendTop = height - kMargin - legendLines * line;
    double y = barBase + kMargin;
    for (const TChannelTimeline::TTalker& talker : timeline.talkers) {
        if (y + line > legendTop)
            break;
        canvas.Text(kMargin, y + line * 0.78, talker.name, kInk);
        canvas.Line(left, y + line / 2, right, y + line / 2, kGrid);
        for (const auto& [at, kind] : talker.transmissions) {
            const double x = left + std::clamp(at / seconds, 0.0, 1.0) * span;
            canvas.FillRect(x - 1, y + 2, std::max(3.0, line / 5), line - 4, FrameKindColour(kind));
        }
        y += line;
    }
    const double square = std::round(line * 0.6);
    for (const TLegendEntry& entry : legend) {
        const double top = legendTop + entry.line * line;
        canvas.FillRect(entry.x, top + (line - square) / 2, square, square,
                        FrameKindColour(entry.kind));
        canvas.Text(entry.x + square + line * 0.3, top + line * 0.78, entry.name, kInk);
    }
}

} // namespace app
