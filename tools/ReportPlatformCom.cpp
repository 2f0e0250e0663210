#include "tools/ReportPlatform.h"

#include "host/com/ComConnector.h"
#include "host/com/ComSupport.h"

#include <cstdio>
#include <fcntl.h>
#include <io.h>

namespace tools {

struct TReportPlatform::TState {
    host::com::TApartment Apartment;
};

TReportPlatform::TReportPlatform() {
    // The report is the same bytes as on Linux: no CR before each LF.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    FState = std::make_unique<TState>();
}

TReportPlatform::~TReportPlatform() = default;

std::shared_ptr<host::IHostConnector> AttachRunningHost() {
    return std::make_shared<host::TComConnector>();
}

} // namespace tools
