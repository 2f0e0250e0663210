#pragma once

#include <windows.h>

#include <cstddef>
#include <vector>

namespace comtest {

/// One operation of the host's interfaces: where it must sit in its
/// interface's method table (counting from 1 after the seven IDispatch
/// methods), and where the header made from the IDL puts it.
struct TPlacement {
    const IID* iid;
    const wchar_t* name;
    int expected;
    int inHeader;
};

std::vector<TPlacement> Placements();

} // namespace comtest
