#include "aprs/link/Agw.h"

#include <algorithm>

namespace aprs {

namespace {

void PutUint32(std::string& out, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        out[at + static_cast<std::size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::uint32_t GetUint32(std::string_view in, std::size_t at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | static_cast<unsigned char>(in[at + static_cast<std::size_t>(i)]);
    return value;
}

void PutCall(std::string& out, std::size_t at, const std::string& call) {
    const std::size_t n = std::min<std::size_t>(call.size(), 9);
    std::copy_n(call.begin(), n, out.begin() + static_cast<std::ptrdiff_t>(at));
}

std::string GetCall(std::string_view in, std::size_t at) {
    const std::string_view field = in.substr(at, 10);
    return std::string(field.substr(0, field.find('\0')));
}

} // namespace

std::string AgwEncode(const TAgwFrame& frame) {
    std::string out(kAgwHeaderSize, '\0');
    out[0] = static_cast<char>(frame.port);
    out[4] = frame.kind;
    out[6] = static_cast<char>(frame.pid);
    PutCall(out, 8, frame.callFrom);
    PutCall(out, 18, frame.callTo);
    PutUint32(out, 28, static_cast<std::uint32_t>(frame.data.size()));
    return out + frame.data;
}

std::string AgwRawFramesRequest() {
    TAgwFrame request;
    request.kind = 'k';
    return AgwEncode(request);
}

std::string AgwVersionRequest() {
    TAgwFrame request;
    request.kind = 'R';
    return AgwEncode(request);
}

std::string AgwVersion(const TAgwFrame& frame) {
    if (frame.kind != 'R' || frame.data.size() < 8)
        return {};
    return std::to_string(GetUint32(frame.data, 0) & 0xFFFF) + "." +
           std::to_string(GetUint32(frame.data, 4) & 0xFFFF);
}

std::string_view AgwRawAx25(const TAgwFrame& frame) {
    if (frame.kind != 'K' || frame.data.size() < 2)
        return {};
    return std::string_view(frame.data).substr(1);
}

void TAgwDeframer::Feed(std::string_view bytes) {
    if (FBroken)
        return;
    FBuffer.append(bytes);
    std::size_t at = 0;
    while (FBuffer.size() - at >= kAgwHeaderSize) {
        const std::string_view header = std::string_view(FBuffer).substr(at, kAgwHeaderSize);
        const std::uint32_t length = GetUint32(header, 28);
        if (length > kMaxData) {
            FBroken = true;
            FBuffer.clear();
            return;
        }
        if (FBuffer.size() - at < kAgwHeaderSize + length)
            break;
        TAgwFrame frame;
        frame.port = static_cast<std::uint8_t>(header[0]);
        frame.kind = header[4];
        frame.pid = static_cast<std::uint8_t>(header[6]);
        frame.callFrom = GetCall(header, 8);
        frame.callTo = GetCall(header, 18);
        frame.data = FBuffer.substr(at + kAgwHeaderSize, length);
        at += kAgwHeaderSize + length;
        ++FFrames;
        if (OnFrame)
            OnFrame(frame);
    }
    FBuffer.erase(0, at);
}

void TAgwDeframer::Reset() {
    FBuffer.clear();
    FBroken = false;
}

} // namespace aprs
