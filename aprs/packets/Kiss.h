#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

/// KISS framing as TNCs speak it over a serial line or TCP.
namespace aprs {

/// One frame taken out of a KISS byte stream.
struct TKissFrame {
    std::uint8_t port = 0;    ///< TNC port: high nibble of the first byte
    std::uint8_t command = 0; ///< low nibble of the first byte; 0 is a data frame
    std::string data;         ///< the frame after the first byte, unescaped
};

/// Takes frames out of a KISS byte stream that arrives in pieces of any size.
///
/// Frames are delimited by FEND (0xC0); FESC (0xDB) followed by TFEND (0xDC)
/// or TFESC (0xDD) stands for 0xC0 or 0xDB. Bytes before the first FEND, a
/// FESC followed by anything else and frames longer than the limit are
/// garbage: they are counted and dropped up to the next FEND.
class TKissDeframer {
public:
    /// Frames longer than this (without the port/command byte) are dropped.
    static constexpr std::size_t kMaxFrame = 2048;

    /// Called for every complete frame, in stream order.
    std::function<void(const TKissFrame&)> OnFrame;

    /// Feeds the next piece of the stream.
    void Feed(std::string_view bytes);
    /// Forgets a frame in progress, as after the connection dropped.
    void Reset();

    std::uint64_t Frames() const { return FFrames; }
    /// Frames (or stretches between delimiters) dropped as malformed.
    std::uint64_t Garbage() const { return FGarbage; }

private:
    std::string FBuffer;
    bool FInFrame = false; ///< a FEND has been seen since the start or the last reset
    bool FEscape = false;
    bool FDiscard = false; ///< the frame in progress is broken; skip to the next FEND
    std::uint64_t FFrames = 0;
    std::uint64_t FGarbage = 0;
};

/// The KISS data frame for an AX.25 frame on a port, escaped and delimited.
std::string KissEncode(std::string_view ax25, std::uint8_t port = 0);

} // namespace aprs
