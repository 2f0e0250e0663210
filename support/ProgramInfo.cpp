#include "support/ProgramInfo.h"

#if !defined(VELLORAN_BUILD_VERSION) || !defined(VELLORAN_LEGAL_NOTICE)
#error "VELLORAN_BUILD_VERSION and VELLORAN_LEGAL_NOTICE must be given by the build"
#endif

namespace support {

const char* BuildVersion() {
    return VELLORAN_BUILD_VERSION;
}

const char* LegalNotice() {
    return VELLORAN_LEGAL_NOTICE;
}

TStandardRequest FindStandardRequest(const std::vector<std::string>& args) {
    for (const std::string& arg : args) {
        if (arg == "--")
            break;
        if (arg == "--help")
            return TStandardRequest::Help;
        if (arg == "--version")
            return TStandardRequest::Version;
    }
    return TStandardRequest::None;
}

std::string VersionText(std::string_view program) {
    std::string text(program);
    text += " (Velloran) ";
    text += BuildVersion();
    text += '\n';
    text += LegalNotice();
    text += '\n';
    return text;
}

} // namespace support
