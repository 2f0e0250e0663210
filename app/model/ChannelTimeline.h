#pragma once

#include "app/model/ChannelModel.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

/// The Channel window's timeline, painted once for every toolkit through a
/// small canvas interface.
namespace app {

struct TCanvasColour {
    std::uint8_t red = 0, green = 0, blue = 0;
};

/// Where the timeline is drawn. Positions in pixels from the top left; a text
/// is placed by the left end of its base line.
class IChannelCanvas {
public:
    virtual ~IChannelCanvas() = default;
    virtual void FillRect(double x, double y, double width, double height,
                          TCanvasColour colour) = 0;
    virtual void Line(double x1, double y1, double x2, double y2, TCanvasColour colour) = 0;
    virtual void Text(double x, double y, std::string_view text, TCanvasColour colour) = 0;
    /// The width of a text in the canvas's font; a rough figure unless the
    /// canvas measures.
    virtual double TextWidth(std::string_view text) {
        return 7.0 * static_cast<double>(text.size());
    }
    /// The height of a line of text in the canvas's font.
    virtual double LineHeight() { return 16.0; }
};

/// The colour of each kind of packet: position, weather, object, message,
/// status, telemetry, other.
TCanvasColour FrameKindColour(aprs::TFrameKind kind);

/// Paints the last 30 minutes: the channel's airtime per minute as bars
/// (full height is a minute of airtime, with a scale in seconds beside them)
/// and, below, a row per top talker with a mark for each transmission,
/// coloured by kind; a legend at the foot, on as many lines as the width
/// needs. Lengths follow the canvas's font, so the picture grows with it.
void PaintChannelTimeline(IChannelCanvas& canvas, double width, double height,
                          const TChannelTimeline& timeline);

/// The height the timeline needs at width to show rows talker rows and the
/// whole legend, in the canvas's font.
double ChannelTimelineHeight(IChannelCanvas& canvas, double width, std::size_t rows);

} // namespace app
