#pragma once

#include "app/model/ChannelModel.h"

#include <functional>
#include <windows.h>

namespace app {

/// The window class name of the Channel window.
inline constexpr const char* kChannelWindowClass = "TVelloranChannel";

/// Opens the Channel window (Action > Channel...) beside owner, or brings the
/// open one to the front. It takes its content from picture every two
/// seconds and paints the timeline with GDI through the canvas interface.
HWND OpenChannelWindow(HINSTANCE instance, HWND owner, std::function<TChannelPicture()> picture);

/// Paints the window's content into dc: the texts, then the timeline below.
void PaintChannelWindow(HDC dc, int width, int height, const TChannelPicture& picture);

} // namespace app
