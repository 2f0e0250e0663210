#include "support/LinkLabelLogic.h"

#include <gtest/gtest.h>

#include <vector>

using namespace support;

TEST(LinkState, RestHotPressedAndVisitedColours) {
    TLinkState state;
    std::vector<TColor> shown;
    state.SetColorSink([&](TColor c) { shown.push_back(c); });
    EXPECT_EQ(state.FontColor(), kClBlue);

    state.MouseEnter();
    EXPECT_EQ(state.FontColor(), kClRed);
    state.MouseDown();
    EXPECT_EQ(state.FontColor(), kClRed);
    EXPECT_TRUE(state.MouseUp(3, 3, 10, 10));
    EXPECT_TRUE(state.Visited());
    EXPECT_FALSE(state.Pressed());
    EXPECT_EQ(state.FontColor(), kClNavy);
    state.MouseLeave();
    EXPECT_EQ(state.FontColor(), kClNavy);
    // None of the passing colours became a link colour.
    EXPECT_EQ(state.LinkColor(), kClBlue);
    EXPECT_EQ(state.VLinkColor(), kClNavy);
    EXPECT_EQ(shown, (std::vector<TColor>{kClRed, kClRed, kClNavy, kClNavy}));
}

TEST(LinkState, ReleaseOffTheLabelOrWithoutPressIsNoClick) {
    TLinkState state;
    state.MouseEnter();
    state.MouseDown();
    state.MouseLeave();
    EXPECT_EQ(state.FontColor(), kClBlue);
    EXPECT_FALSE(state.MouseUp(11, 5, 10, 10));
    EXPECT_FALSE(state.MouseUp(-1, 5, 10, 10));
    EXPECT_EQ(state.FontColor(), kClBlue);
    EXPECT_FALSE(state.Visited());

    state.MouseEnter();
    EXPECT_FALSE(state.MouseUp(5, 5, 10, 10)); // no press before
    EXPECT_EQ(state.FontColor(), kClRed);

    state.MouseDown();
    EXPECT_TRUE(state.MouseUp(10, 10, 10, 10)); // the far edges are inside
    state.MouseDown();
    EXPECT_FALSE(state.MouseUp(5, 11, 10, 10));
    EXPECT_EQ(state.FontColor(), kClNavy);
}

TEST(LinkState, ColourWritesFollowTheVisitedState) {
    TLinkState state;
    state.SetVLinkColor(0x00FF00); // before a visit: stored, not shown
    EXPECT_EQ(state.FontColor(), kClBlue);
    EXPECT_EQ(state.VLinkColor(), 0x00FF00u);
    state.SetLinkColor(0x123456); // shown at rest
    EXPECT_EQ(state.FontColor(), 0x123456u);
    EXPECT_EQ(state.LinkColor(), 0x123456u);

    state.MouseDown();
    state.MouseUp(0, 0, 1, 1);
    EXPECT_EQ(state.FontColor(), 0x00FF00u);
    state.SetLinkColor(0xABCDEF); // after a visit: stored, not shown
    EXPECT_EQ(state.FontColor(), 0x00FF00u);
    EXPECT_EQ(state.LinkColor(), 0xABCDEFu);
    state.SetVLinkColor(0x0000AA);
    EXPECT_EQ(state.FontColor(), 0x0000AAu);

    // A font colour given at rest becomes the visited colour.
    state.SetFontColor(0x111111);
    EXPECT_EQ(state.VLinkColor(), 0x111111u);
    EXPECT_EQ(state.LinkColor(), 0xABCDEFu);
}

TEST(LinkState, ColourChangesWhileHotOrPressedAreNotLost) {
    TLinkState state;
    state.MouseEnter();
    state.SetFontColor(0x222222); // a font change while hot records nothing
    EXPECT_EQ(state.LinkColor(), kClBlue);
    EXPECT_EQ(state.VLinkColor(), kClNavy);

    // A LinkColor written while hot is kept and shown once the mouse leaves,
    // and the hot colour stays on screen meanwhile.
    state.MouseEnter();
    state.SetLinkColor(0x333333);
    EXPECT_EQ(state.FontColor(), kClRed);
    EXPECT_EQ(state.LinkColor(), 0x333333u);
    state.MouseLeave();
    EXPECT_EQ(state.FontColor(), 0x333333u);

    state.MouseDown();
    state.SetFontColor(0x444444);
    EXPECT_EQ(state.LinkColor(), 0x333333u);
    state.MouseUp(-5, -5, 10, 10);
    EXPECT_EQ(state.FontColor(), 0x333333u);
}

TEST(UrlEscape, KeepsTheSafeSetAndEscapesEveryOtherByte) {
    EXPECT_EQ(UrlEscape(""), "");
    EXPECT_EQ(UrlEscape("https://www.paypal.com/cgi-bin/webscr?cmd=_xclick&business="),
              "https://www.paypal.com/cgi-bin/webscr?cmd=_xclick&business=");
    EXPECT_EQ(UrlEscape(" - "), "%20-%20");
    EXPECT_EQ(UrlEscape("&currency_code=USD&bn=PP+DonationsBF&charset=UTF+8"),
              "&currency_code=USD&bn=PP%2BDonationsBF&charset=UTF%2B8");
    EXPECT_EQ(UrlEscape("&no_shipping=2&no_note=1&tax=0"), "&no_shipping=2&no_note=1&tax=0");
    EXPECT_EQ(UrlEscape("ham.radio@example.org"), "ham.radio%40example.org");
    EXPECT_EQ(UrlEscape("$(){}~%#\"\x7F\xE9"), "$(){}~%25%23%22%7F%E9");
    EXPECT_EQ(UrlEscape(std::string(1, '\0')), "%00");
}

TEST(UrlEscape, Windows1252Conversion) {
    EXPECT_EQ(Utf8ToWindows1252("Caf\xC3\xA9 \xE2\x82\xAC 5"), "Caf\xE9 \x80 5");
    EXPECT_EQ(Utf8ToWindows1252("\xC5\x93\xE2\x80\x94"), "\x9C\x97");
    // No Windows-1252 code: a question mark per character, also for emoji.
    EXPECT_EQ(Utf8ToWindows1252("\xC4\x81\xF0\x9F\x93\xA1x"), "??x");
    // Broken UTF-8 is not passed through.
    EXPECT_EQ(Utf8ToWindows1252("a\xFF"
                                "b\xC3"),
              "a?b?");
    EXPECT_EQ(Utf8ToWindows1252("\xC0\xAF"), "??");
}

TEST(UrlEscape, DonationAddress) {
    EXPECT_EQ(
        DonationUrl("", "", ""),
        "https://www.paypal.com/cgi-bin/webscr?cmd=_xclick&business=&item_name=%20-%20"
        "&no_shipping=2&no_note=1&tax=0&currency_code=USD&bn=PP%2BDonationsBF&charset=UTF%2B8");
    EXPECT_EQ(
        DonationUrl("j\xC3\xBCrgen@example.org", "M\xC3\xBCller & S\xC3\xB6hne", "Velloran"),
        "https://www.paypal.com/cgi-bin/webscr?cmd=_xclick&business=j%FCrgen%40example.org"
        "&item_name=M%FCller%20&%20S%F6hne%20-%20Velloran"
        "&no_shipping=2&no_note=1&tax=0&currency_code=USD&bn=PP%2BDonationsBF&charset=UTF%2B8");
}
