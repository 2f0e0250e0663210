#include "app/model/ErrorReport.h"

#include "host/HostError.h"
#include "support/TextRules.h"

#include <chrono>
#include <ctime>
#include <fstream>

namespace app {

std::string OperatorErrorText(const std::exception& error) {
    const auto* hostError = dynamic_cast<const host::EHostError*>(&error);
    if (!hostError)
        return error.what();
    switch (hostError->Failure()) {
    case host::THostFailure::Gone:
        return std::string("The host is not answering. Start it again; Velloran attaches to it "
                           "at the next calculation.\n\nDetails: ") +
               error.what();
    case host::THostFailure::NotAnswering:
        return std::string("The host is not answering. Velloran tries again at the next "
                           "calculation; if the host does not recover, start it again.\n\n"
                           "Details: ") +
               error.what();
    case host::THostFailure::NotInstalled:
        return std::string("The host is not installed, or not registered. Start the host once, so "
                           "that it registers itself, or register the stand-in host "
                           "(velloran-standin-host.exe /RegServer), then start Velloran "
                           "again.\n\nDetails: ") +
               error.what();
    case host::THostFailure::Failed:
        break;
    }
    return error.what();
}

std::string StartUpErrorText(const std::exception& error) {
    return support::WithFullStop(OperatorErrorText(error));
}

void AppendLogLine(const std::filesystem::path& file, const std::string& line) {
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm parts{};
#ifdef _WIN32
    gmtime_s(&parts, &now);
#else
    gmtime_r(&now, &parts);
#endif
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S UTC", &parts);
    std::ofstream out(file, std::ios::binary | std::ios::app);
    out << stamp << ' ' << line << "\r\n";
}

} // namespace app
