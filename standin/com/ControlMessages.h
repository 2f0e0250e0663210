#pragma once

#include <windows.h>

/// The COM stand-in host's control window: a hidden window of this class that
/// takes test and tool commands as window messages. It exists once the host
/// has registered its classes and put clsUIV in the running object table, so
/// finding it also means that the host is ready.
namespace standin::com {

inline constexpr const wchar_t* kControlWindowClass = L"VelloranStandinHostControl";

/// Posted: send the event with the dispatch id in wParam to every subscriber.
inline constexpr UINT WM_STANDIN_SEND_EVENT = WM_APP + 1;
/// Sent: answers the number of events the subscribers took with success.
inline constexpr UINT WM_STANDIN_EVENTS_DELIVERED = WM_APP + 2;
/// Sent: answers the number of reads served by replacement objects.
inline constexpr UINT WM_STANDIN_REPLACEMENT_READS = WM_APP + 3;
/// WM_CLOSE closes the host: event 3 to every subscriber, then it exits.

} // namespace standin::com
