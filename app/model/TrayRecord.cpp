#include "app/model/TrayRecord.h"

#include <algorithm>
#include <cstring>

namespace app {

void SetTip(TNotifyIconData& data, const std::string& tip) {
    const std::size_t n = std::min(tip.size(), sizeof data.szTip - 1);
    std::memset(data.szTip, 0, sizeof data.szTip);
    std::memcpy(data.szTip, tip.data(), n);
}

} // namespace app
