#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

/// The toolkit-free part of the link labels: their colour states, URL
/// escaping and the donation address.
namespace support {

/// A colour as 0x00BBGGRR.
using TColor = std::uint32_t;

inline constexpr TColor kClBlue = 0xFF0000;
inline constexpr TColor kClRed = 0x0000FF;
inline constexpr TColor kClNavy = 0x800000;

/// The colour state machine of a link label.
///
/// The label's font colour is held here; the widget shows it. Every write of
/// the font colour, from inside or from outside, passes through
/// FontColorChanged, which records a colour given while the label is at rest
/// as the link colour of the current state (LinkColor, or VLinkColor after a
/// visit). State flags are set before and cleared after the colour changes of
/// the mouse notifications, so a passing state colour is never recorded.
class TLinkState {
public:
    /// Called with the new font colour whenever the state machine changes it.
    using TColorSink = std::function<void(TColor)>;

    TLinkState();

    /// Sets where font colour changes are shown.
    void SetColorSink(TColorSink sink) { FSink = std::move(sink); }

    TColor FontColor() const { return FFontColor; }
    TColor LinkColor() const { return FLinkColor; }
    TColor ALinkColor() const { return FALinkColor; }
    TColor VLinkColor() const { return FVLinkColor; }
    TColor HotColor() const { return FHotColor; }
    bool Visited() const { return FVisited; }
    bool Pressed() const { return FPressed; }
    bool Hot() const { return FHot; }

    /// Sets the colour for the unvisited label. Shown at once when the label
    /// is unvisited and at rest; otherwise shown when the label next rests
    /// unvisited.
    void SetLinkColor(TColor color);
    /// Sets the colour for the visited label. Shown at once when the label is
    /// visited and at rest; otherwise shown when the label next rests visited.
    void SetVLinkColor(TColor color);
    void SetALinkColor(TColor color) { FALinkColor = color; }
    void SetHotColor(TColor color) { FHotColor = color; }

    /// Writes the font colour (for instance from the font settings of a form)
    /// and applies the font-changed rule.
    void SetFontColor(TColor color);
    /// The font-changed rule: at rest, the font colour becomes VLinkColor
    /// when visited, else LinkColor.
    void FontColorChanged(TColor color);

    /// A mouse button went down on the label (any button).
    void MouseDown();
    /// The mouse entered the label.
    void MouseEnter();
    /// The mouse left the label.
    void MouseLeave();
    /// A mouse button was released at x, y in the label's coordinates, the
    /// label being width × height. Points on the right and bottom edge count
    /// as inside. Returns true when the release completes a click: the label
    /// is then visited and the caller opens the target.
    bool MouseUp(int x, int y, int width, int height);

private:
    void ShowColor(TColor color);

    TColor FFontColor;
    TColor FLinkColor;
    TColor FALinkColor;
    TColor FHotColor;
    TColor FVLinkColor;
    bool FVisited = false;
    bool FPressed = false;
    bool FHot = false;
    TColorSink FSink;
};

/// Escapes a text byte by byte for a web address: letters, digits and
/// ":/.?=_-$(){}~&" are kept, every other byte becomes "%" and two upper-case
/// hexadecimal digits ("+" gives "%2B", a blank "%20", "@" "%40").
std::string UrlEscape(std::string_view text);

/// Converts UTF-8 text to Windows-1252 bytes. A character without a
/// Windows-1252 code, and a byte that is not valid UTF-8, becomes "?".
std::string Utf8ToWindows1252(std::string_view utf8);

/// The donation endpoint, up to and including "business=".
inline constexpr std::string_view kDonationEndpoint =
    "https://www.paypal.com/cgi-bin/webscr?cmd=_xclick&business=";

/// The escaped donation address for the given UTF-8 e-mail, company and
/// product, each converted to Windows-1252 before escaping.
std::string DonationUrl(std::string_view email, std::string_view company, std::string_view product);

} // namespace support
