#pragma once

#include "app/model/ChannelModel.h"

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
};

/// The colour of each kind of packet: position, weather, object, message,
/// status, telemetry, other.
TCanvasColour FrameKindColour(aprs::EFrameKind kind);

/// Paints the last 30 minutes: the channel's airtime per minute as bars
/// (full height is a minute of airtime) and, below, a row per top talker
/// with a mark for each transmission, coloured by kind; a legend at the foot.
void PaintChannelTimeline(IChannelCanvas& canvas, double width, double height,
                          const TChannelTimeline& timeline);

} // namespace app
