#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

/// The AGW packet engine protocol over TCP, as far as listening needs it.
namespace aprs {

/// One AGW frame: a 36-byte header (port, data kind, PID, two calls, the
/// data's length, all little-endian) and its data.
struct TAgwFrame {
    std::uint8_t port = 0;
    char kind = 0;
    std::uint8_t pid = 0;
    std::string callFrom, callTo; ///< without the NUL padding
    std::string data;
};

inline constexpr std::size_t kAgwHeaderSize = 36;

/// The bytes of a frame.
std::string AgwEncode(const TAgwFrame& frame);

/// The one request a listener sends: raw monitored frames ('k'). The
/// engine then sends every frame it hears as a 'K' frame.
std::string AgwRawFramesRequest();

/// The engine's version query ('R'). Its answer comes after the engine has
/// taken the requests sent before it: a listener knows then that raw frames
/// are on.
std::string AgwVersionRequest();

/// The version an 'R' answer carries, "major.minor"; empty for other frames.
std::string AgwVersion(const TAgwFrame& frame);

/// The AX.25 frame (without flags and FCS) that a 'K' frame carries after its
/// leading KISS-style port byte; empty for any other frame.
std::string_view AgwRawAx25(const TAgwFrame& frame);

/// Takes frames out of an AGW byte stream arriving in pieces of any size.
/// A frame whose stated length is beyond any AX.25 frame means the stream has
/// lost its framing, which cannot be found again: Broken() turns true and
/// nothing more is taken until Reset().
class TAgwDeframer {
public:
    static constexpr std::uint32_t kMaxData = 65536;

    std::function<void(const TAgwFrame&)> OnFrame;

    void Feed(std::string_view bytes);
    void Reset();
    bool Broken() const { return FBroken; }
    std::uint64_t Frames() const { return FFrames; }

private:
    std::string FBuffer;
    bool FBroken = false;
    std::uint64_t FFrames = 0;
};

} // namespace aprs
