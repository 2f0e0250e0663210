// Coverage-guided fuzzing of everything a TNC's bytes go through: KISS
// framing, AX.25, the monitor line and the APRS information field; the same
// bytes as an AGW stream, as one monitor line (with or without a time in
// front) and as one frame the channel counts. Nothing may crash, hang or read
// out of bounds.
#include "aprs/channel/ChannelMeter.h"
#include "aprs/link/Agw.h"
#include "aprs/packets/AprsDecode.h"
#include "aprs/packets/Ax25.h"
#include "aprs/packets/Kiss.h"
#include "support/APRSParser.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    support::InitializeAprsPatterns();
    return 0;
}

namespace {

void DecodeLine(std::string_view line) {
    const aprs::TMonitorResult parsed = aprs::ParseMonitorLine(line);
    if (parsed.packet)
        aprs::DecodeAprs(*parsed.packet);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    aprs::TKissDeframer deframer;
    deframer.OnFrame = [](const aprs::TKissFrame& frame) {
        const aprs::TAx25Result ax25 = aprs::DecodeAx25(frame.data);
        if (ax25.frame)
            DecodeLine(aprs::MonitorLine(*ax25.frame));
    };
    // Fed in two pieces, as a stream arrives.
    deframer.Feed(bytes.substr(0, size / 2));
    deframer.Feed(bytes.substr(size / 2));
    DecodeLine(bytes);

    aprs::TAgwDeframer agw;
    agw.OnFrame = [](const aprs::TAgwFrame& frame) {
        aprs::AgwVersion(frame);
        const aprs::TAx25Result ax25 = aprs::DecodeAx25(aprs::AgwRawAx25(frame));
        if (ax25.frame)
            DecodeLine(aprs::MonitorLine(*ax25.frame));
    };
    agw.Feed(bytes.substr(0, size / 3));
    agw.Feed(bytes.substr(size / 3));
    std::string_view rest;
    aprs::MonitorLineTime(bytes, rest);
    aprs::MeterMonitorLine(rest);
    aprs::MeterAx25(bytes);
    return 0;
}
