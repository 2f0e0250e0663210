#pragma once

#include <string_view>

namespace app {

/// The donation link on the Options tab as both windows set it up: its caption
/// and the three values its address is built from.
struct TDonationLabel {
    std::string_view Caption;
    std::string_view Company;
    std::string_view Product;
    std::string_view Email;
};

inline constexpr TDonationLabel kDonationLabel{
    "If you like Velloran consider making a donation",
    "The Velloran Authors",
    "Velloran",
    "donations@example.org",
};

} // namespace app
