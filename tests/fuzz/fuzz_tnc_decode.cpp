// Coverage-guided fuzzing of everything a TNC's bytes go through: KISS
// framing, AX.25, the monitor line and the APRS information field. The same
// bytes are also read as one monitor line. Nothing may crash, hang or read
// out of bounds.
#include "standin/aprs/AprsDecode.h"
#include "standin/aprs/Ax25.h"
#include "standin/aprs/Kiss.h"
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
    const standin::aprs::TMonitorResult parsed = standin::aprs::ParseMonitorLine(line);
    if (parsed.packet)
        standin::aprs::DecodeAprs(*parsed.packet);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    standin::aprs::TKissDeframer deframer;
    deframer.OnFrame = [](const standin::aprs::TKissFrame& frame) {
        const standin::aprs::TAx25Result ax25 = standin::aprs::DecodeAx25(frame.data);
        if (ax25.frame)
            DecodeLine(standin::aprs::MonitorLine(*ax25.frame));
    };
    // Fed in two pieces, as a stream arrives.
    deframer.Feed(bytes.substr(0, size / 2));
    deframer.Feed(bytes.substr(size / 2));
    DecodeLine(bytes);
    return 0;
}
