#include "aprs/packets/Kiss.h"

namespace aprs {

namespace {
constexpr char kFend = '\xC0';
constexpr char kFesc = '\xDB';
constexpr char kTfend = '\xDC';
constexpr char kTfesc = '\xDD';
} // namespace

void TKissDeframer::Reset() {
    FBuffer.clear();
    FInFrame = false;
    FEscape = false;
    FDiscard = false;
}

void TKissDeframer::Feed(std::string_view bytes) {
    for (const char byte : bytes) {
        if (byte == kFend) {
            if (FDiscard) {
                if (FInFrame)
                    ++FGarbage; // noise before the first FEND was counted as it came
            } else if (FInFrame && FEscape) {
                ++FGarbage; // a frame cannot end inside an escape
            } else if (FInFrame && !FBuffer.empty()) {
                TKissFrame frame;
                const auto first = static_cast<std::uint8_t>(FBuffer[0]);
                frame.port = static_cast<std::uint8_t>(first >> 4);
                frame.command = static_cast<std::uint8_t>(first & 0x0F);
                frame.data.assign(FBuffer, 1);
                ++FFrames;
                if (OnFrame)
                    OnFrame(frame);
            }
            // Back-to-back FENDs are allowed and carry nothing.
            FBuffer.clear();
            FInFrame = true;
            FEscape = false;
            FDiscard = false;
            continue;
        }
        if (!FInFrame) {
            // Noise before the first delimiter: count the stretch once.
            if (!FDiscard)
                ++FGarbage;
            FDiscard = true;
            continue;
        }
        if (FDiscard)
            continue;
        char value = byte;
        if (FEscape) {
            FEscape = false;
            if (byte == kTfend) {
                value = kFend;
            } else if (byte == kTfesc) {
                value = kFesc;
            } else {
                FDiscard = true;
                continue;
            }
        } else if (byte == kFesc) {
            FEscape = true;
            continue;
        }
        if (FBuffer.size() > kMaxFrame) {
            FDiscard = true; // a flood without delimiters must not grow us without bound
            FBuffer.clear();
            continue;
        }
        FBuffer.push_back(value);
    }
}

std::string KissEncode(std::string_view ax25, std::uint8_t port) {
    std::string out;
    out.reserve(ax25.size() + 8);
    out.push_back(kFend);
    out.push_back(static_cast<char>((port & 0x0F) << 4));
    for (const char byte : ax25) {
        if (byte == kFend) {
            out.push_back(kFesc);
            out.push_back(kTfend);
        } else if (byte == kFesc) {
            out.push_back(kFesc);
            out.push_back(kTfesc);
        } else {
            out.push_back(byte);
        }
    }
    out.push_back(kFend);
    return out;
}

} // namespace aprs
