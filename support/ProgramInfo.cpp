#include "support/ProgramInfo.h"

#ifndef VELLORAN_BUILD_VERSION
#error "VELLORAN_BUILD_VERSION must be given by the build"
#endif

namespace support {

const char* BuildVersion() {
    return VELLORAN_BUILD_VERSION;
}

const char* LegalNotice() {
    return "Copyright (C) the Velloran authors. Free software, without any warranty.";
}

EStandardRequest FindStandardRequest(const std::vector<std::string>& args) {
    for (const std::string& arg : args) {
        if (arg == "--")
            break;
        if (arg == "--help")
            return EStandardRequest::Help;
        if (arg == "--version")
            return EStandardRequest::Version;
    }
    return EStandardRequest::None;
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
