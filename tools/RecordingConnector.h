#pragma once

#include "host/Components.h"
#include "standin/model/StandinHost.h"

#include <memory>
#include <vector>

namespace tools {

/// Wraps a connector and records, in order, every call made on the host's
/// map operations (GetMap, RefreshMap) and on the map objects, whatever the
/// transport. A call the host fails is recorded too, marked failed.
class TRecordingConnector : public host::IHostConnector {
public:
    explicit TRecordingConnector(std::shared_ptr<host::IHostConnector> inner);

    std::shared_ptr<host::IHostObject> GetObject(host::Guid classId,
                                                 host::TConnectKind kind) override;

    const std::vector<standin::TMapCall>& MapCalls() const { return *FCalls; }
    void ClearMapCalls() { FCalls->clear(); }

private:
    std::shared_ptr<host::IHostConnector> FInner;
    std::shared_ptr<std::vector<standin::TMapCall>> FCalls;
};

} // namespace tools
