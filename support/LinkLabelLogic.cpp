#include "support/LinkLabelLogic.h"

#include <array>

namespace support {

TLinkState::TLinkState()
    : FFontColor(kClBlue), FLinkColor(kClBlue), FALinkColor(kClRed), FHotColor(kClRed),
      FVLinkColor(kClNavy) {}

void TLinkState::ShowColor(TColor color) {
    FFontColor = color;
    if (FSink) {
        FSink(color);
    }
    FontColorChanged(color);
}

void TLinkState::SetFontColor(TColor color) {
    ShowColor(color);
}

void TLinkState::FontColorChanged(TColor color) {
    FFontColor = color;
    if (FPressed || FHot) {
        return;
    }
    if (FVisited) {
        FVLinkColor = color;
    } else {
        FLinkColor = color;
    }
}

// Routing the new colour through the font while the mouse is over the label
// or a button is held would show it in place of the hot or pressed colour and
// then drop it, since the font-changed rule records nothing in those states.
// The value is therefore stored directly then, and shown when the label rests.
void TLinkState::SetLinkColor(TColor color) {
    if (color == FLinkColor) {
        return;
    }
    if (!FVisited && !FPressed && !FHot) {
        ShowColor(color);
    } else {
        FLinkColor = color;
    }
}

void TLinkState::SetVLinkColor(TColor color) {
    if (color == FVLinkColor) {
        return;
    }
    if (FVisited && !FPressed && !FHot) {
        ShowColor(color);
    } else {
        FVLinkColor = color;
    }
}

void TLinkState::MouseDown() {
    FPressed = true;
    ShowColor(FALinkColor);
}

void TLinkState::MouseEnter() {
    FHot = true;
    ShowColor(FPressed ? FALinkColor : FHotColor);
}

void TLinkState::MouseLeave() {
    ShowColor(FVisited ? FVLinkColor : FLinkColor);
    FHot = false;
}

bool TLinkState::MouseUp(int x, int y, int width, int height) {
    const bool outside = x < 0 || y < 0 || x > width || y > height;
    bool click = false;
    if (outside) {
        ShowColor(FVisited ? FVLinkColor : FLinkColor);
    } else if (FPressed) {
        FVisited = true;
        ShowColor(FVLinkColor);
        click = true;
    }
    FPressed = false;
    return click;
}

std::string UrlEscape(std::string_view text) {
    static constexpr std::string_view kKept =
        "1234567890ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz:/.?=_-$(){}~&";
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        if (kKept.find(c) != std::string_view::npos) {
            escaped += c;
        } else {
            const auto byte = static_cast<unsigned char>(c);
            escaped += '%';
            escaped += kHex[byte >> 4];
            escaped += kHex[byte & 0x0F];
        }
    }
    return escaped;
}

namespace {

// Windows-1252 bytes 0x80-0x9F and the characters they stand for. The five
// bytes that Windows-1252 leaves undefined carry the C1 control of the same
// value, as Windows converts them.
constexpr std::array<char32_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

char ToWindows1252(char32_t cp) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
        return static_cast<char>(cp);
    }
    for (std::size_t i = 0; i < kCp1252High.size(); ++i) {
        if (kCp1252High[i] == cp) {
            return static_cast<char>(0x80 + i);
        }
    }
    return '?';
}

} // namespace

std::string Utf8ToWindows1252(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        std::size_t length = 0;
        char32_t cp = 0;
        if (lead < 0x80) {
            length = 1;
            cp = lead;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            cp = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            cp = lead & 0x0F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            cp = lead & 0x07;
        }
        bool valid = length > 0 && i + length <= utf8.size();
        for (std::size_t k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(utf8[i + k]);
            if ((next & 0xC0) != 0x80) {
                valid = false;
            } else {
                cp = (cp << 6) | (next & 0x3F);
            }
        }
        // Overlong forms, surrogates and values past U+10FFFF are not characters.
        if (valid && ((length == 3 && cp < 0x800) || (length == 4 && cp < 0x10000) ||
                      (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF)) {
            valid = false;
        }
        if (!valid) {
            out += '?';
            ++i;
            continue;
        }
        out += ToWindows1252(cp);
        i += length;
    }
    return out;
}

std::string DonationUrl(std::string_view email, std::string_view company,
                        std::string_view product) {
    std::string address(kDonationEndpoint);
    address += Utf8ToWindows1252(email);
    address += "&item_name=";
    address += Utf8ToWindows1252(company);
    address += " - ";
    address += Utf8ToWindows1252(product);
    address += "&no_shipping=2&no_note=1&tax=0";
    address += "&currency_code=USD&bn=PP+DonationsBF&charset=UTF+8";
    return UrlEscape(address);
}

} // namespace support
