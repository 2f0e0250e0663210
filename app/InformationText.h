#pragma once

#include <QString>

namespace app {

/// The fixed help text of the "Information" tab.
QString InformationText();

} // namespace app
