#include "support/APRSParser.h"

#include <chrono>
#include <memory>
#include <stdexcept>

namespace support {

namespace {

// Days from 1899-12-30 to the Unix epoch 1970-01-01.
constexpr double kUnixEpochDays = 25569.0;
constexpr std::int64_t kMillisecondsPerDay = 86'400'000;

constexpr std::array<std::string_view, kAprsPatternCount> kPatternTexts = {
    R"(([\w-]{1,9})>([\w-]{1,9})(?:,(.*?))?:(.?)(.*))",
    R"(( Port=.*?>))",
    R"(.:Fm ([\w-]{1,9}) To ([\w-]{1,9}) Via (.+)? <.+]\r\n(.?)(.*))",
    R"((b\d{5})|(b\.{5})|(b {5}))",
    R"((?P<wx_mdhm>\d{8}))",
    R"((h\d\d)|(h\.\.)|(h  ))",
    R"((p\d{3})|(p\.{3})|(p {3}))",
    R"((r\d{3})|(r\.{3})|(r {3}))",
    R"((P\d{3})|(P\.{3})|(P {3}))",
    R"((t\d{3})|(t\.{3})|(t {3}))",
    R"((c\d{3})|(c\.{3})|(c {3}))",
    R"((g\d{3})|(g\.{3})|(g {3}))",
    R"((s\d{3})|(s\.{3})|(s {3}))",
    R"((\d{3})/(\d{3}))",
};

// The compiled patterns live from InitializeAprsPatterns to
// FinalizeAprsPatterns: they are the program's one set, shared by every parser.
std::array<std::unique_ptr<TPerlRegEx>, kAprsPatternCount>& Patterns() {
    static std::array<std::unique_ptr<TPerlRegEx>, kAprsPatternCount> patterns;
    return patterns;
}

bool& Ready() {
    static bool ready = false;
    return ready;
}

} // namespace

TDateTime UtcNow() {
    const auto now =
        std::chrono::time_point_cast<std::chrono::milliseconds>(std::chrono::system_clock::now());
    const std::int64_t ms = now.time_since_epoch().count();
    // Whole days and the time of day separately, so the fraction keeps its
    // millisecond resolution.
    std::int64_t days = ms / kMillisecondsPerDay;
    std::int64_t rest = ms % kMillisecondsPerDay;
    if (rest < 0) {
        rest += kMillisecondsPerDay;
        --days;
    }
    return kUnixEpochDays + static_cast<double>(days) +
           static_cast<double>(rest) / static_cast<double>(kMillisecondsPerDay);
}

double MinutesToDays(std::int32_t minutes) {
    return minutes * (1.0 / 1440.0);
}

std::string_view AprsPatternText(TAprsPattern pattern) {
    return kPatternTexts.at(static_cast<std::size_t>(pattern));
}

void InitializeAprsPatterns() {
    if (Ready()) {
        return;
    }
    auto& patterns = Patterns();
    try {
        for (std::size_t i = 0; i < kAprsPatternCount; ++i) {
            auto regex = std::make_unique<TPerlRegEx>();
            regex->SetOptions({TPerlRegExOption::preMultiLine});
            regex->SetRegEx(kPatternTexts[i]);
            regex->Study();
            patterns[i] = std::move(regex);
        }
    } catch (...) {
        for (auto& regex : patterns) {
            regex.reset();
        }
        throw;
    }
    Ready() = true;
}

void FinalizeAprsPatterns() {
    for (auto& regex : Patterns()) {
        regex.reset();
    }
    Ready() = false;
}

bool AprsPatternsReady() {
    return Ready();
}

TPerlRegEx& AprsPattern(TAprsPattern pattern) {
    const auto index = static_cast<std::size_t>(pattern);
    if (!Ready() || index >= kAprsPatternCount) {
        throw std::logic_error("The APRS patterns are not initialized");
    }
    return *Patterns()[index];
}

} // namespace support
