#include "app/model/VersionInfo.h"

#include "support/ProgramInfo.h"
#include "support/TextRules.h"

#include <sstream>

namespace app {

const char* BuiltInVersionBlock() {
    static const std::string block = std::string("FileVersion=") + support::BuildVersion() +
                                     "\nLegalCopyright=" + support::LegalNotice() + "\n";
    return block.c_str();
}

TVersionInfo::TVersionInfo() : TVersionInfo(BuiltInVersionBlock()) {}

TVersionInfo::TVersionInfo(const std::string& block) {
    std::istringstream lines(block);
    std::string line;
    while (std::getline(lines, line)) {
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        const std::string name = line.substr(0, eq);
        const std::string value = line.substr(eq + 1);
        if (name == "FileVersion") {
            std::istringstream parts(value);
            std::string part;
            for (std::size_t i = 0; i < FFileVersion.size() && std::getline(parts, part, '.');
                 ++i) {
                const std::int32_t n = support::IntTextOr(part, 0);
                FFileVersion[i] = static_cast<std::uint16_t>(n < 0 || n > 65535 ? 0 : n);
            }
        } else if (name == "LegalCopyright") {
            FLegalCopyright = value;
        }
    }
}

} // namespace app
