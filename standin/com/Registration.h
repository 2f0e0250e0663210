#pragma once

#include <string>

/// Registering the COM stand-in host, so that COM can start it and the
/// standard marshaler can carry calls to it between processes.
namespace standin::com {

enum class TRegistryScope {
    CurrentUser, ///< HKEY_CURRENT_USER\Software\Classes: no administrator rights needed
    AllUsers     ///< HKEY_LOCAL_MACHINE\Software\Classes
};

/// Registers the four classes as served by this program (its local server)
/// and the type library embedded in it. Returns a line saying what was done;
/// throws host::EHostError naming what failed.
std::string RegisterServer(TRegistryScope scope);

/// Removes what RegisterServer added, as far as it still names this program
/// (the classes are the real host's too). Returns a line saying what was done.
std::string UnregisterServer(TRegistryScope scope);

} // namespace standin::com
