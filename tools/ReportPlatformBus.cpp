#include "tools/ReportPlatform.h"

#include "host/bus/BusConnector.h"

namespace tools {

struct TReportPlatform::TState {};

TReportPlatform::TReportPlatform() = default;
TReportPlatform::~TReportPlatform() = default;

std::shared_ptr<host::IHostConnector> AttachRunningHost() {
    return host::TBusConnector::Attach();
}

} // namespace tools
