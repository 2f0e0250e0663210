// Coverage-guided fuzzing of what users type and write: scenario files and the
// integer text rule. A bad scenario must be refused with an error, never crash.
#include "standin/model/Scenario.h"
#include "support/TextRules.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    support::ParseIntText(text);
    try {
        standin::ParseScenario(text, "fuzz.json");
    } catch (const standin::EScenarioError&) {
    }
    return 0;
}
