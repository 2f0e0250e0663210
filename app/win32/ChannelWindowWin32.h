#pragma once

#include "app/model/ChannelModel.h"

#include <functional>
#include <windows.h>

namespace app {

/// The window class name of the Channel window.
inline constexpr const char* kChannelWindowClass = "TVelloranChannel";

/// Opens the Channel window (Action > Channel...) beside owner, or brings the
/// open one to the front. It takes its content from picture every two
/// seconds: the listed stations in a scrolling list, the text and the
/// timeline painted with GDI through the canvas interface, all in the
/// message font at the window's DPI. The timeline keeps room for its legend
/// and at least three talkers whatever the list holds. Beside the list and
/// the timeline the path's lines (the own packets' footprint, the suggested
/// path, the stations from beyond the radius) stand in a fixed-pitch font.
HWND OpenChannelWindow(HINSTANCE instance, HWND owner, std::function<TChannelPicture()> picture);

/// Paints the window's content into dc in font (the GUI font when none):
/// the texts, the line of stations not listed below the list's place, and
/// the timeline at the foot.
void PaintChannelWindow(HDC dc, int width, int height, const TChannelPicture& picture,
                        HFONT font = nullptr);

/// The station list of an open Channel window (a list view), for tests.
HWND ChannelWindowList(HWND window);
/// Where the own packets go, beside the list (a read-only edit), for tests.
HWND ChannelWindowPath(HWND window);

} // namespace app
