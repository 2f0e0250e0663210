#pragma once

#include <string>

namespace app {

/// The fixed help text of the "Information" tab, its lines joined with line
/// feeds.
std::string InformationText();

} // namespace app
