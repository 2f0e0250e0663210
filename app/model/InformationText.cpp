#include "app/model/InformationText.h"

#include <vector>

namespace app {

std::string InformationText() {
    const std::string rule(56, '=');
    const std::vector<std::string> lines{
        "Some Usage Comments",
        std::string(19, '='),
        "1. Turn UI-View32's filters off, or at least make sure they",
        "   don't hide stations received on RF. Filtered packets would",
        "   be missing from the calculation.",
        "2. Run UI-View32 for at least 30 minutes prior.",
        "3. With enough RF traffic the circle shows the limit of",
        "   effective communication in your area.",
        "4. Adjust your path so that your packets stay within your",
        "   circle.",
        "5. The circle is calculated every 30 minutes while Velloran",
        "   is left running.",
        "6. Look at the \"Packets Considered\" tab to see which paths",
        "   very distant stations use; they stand towards the bottom",
        "   of that list.",
        " ",
        rule,
        "Some comments about ALOHA",
        rule,
        "ALOHA measures traffic density, not RF propagation: the",
        "users, objects, mobiles, digipeaters and weather stations",
        "that together saturate the channel.",
        "With an ALOHA range of 50 miles the channel cannot be used",
        "effectively beyond 50 miles, digipeaters included, without",
        "collisions.",
        "Set your unproto path so that your packets travel no farther",
        "than your range. With a 40-mile range there is no point in",
        "WIDE5-5; use no more than about WIDE2-2.",
        " ",
        rule,
        "The ALOHA circle computation",
        rule,
        "Start with the copies count C at 1.",
        "1200 baud carries about 60 packets a minute, that is 1800",
        "packets per 30 minutes.",
        "Sort all stations heard on RF by range.",
        "Starting with the closest, add each station's packets per",
        "30 minutes multiplied by C:",
        "   mobile in motion  15",
        "   other mobile       7",
        "   weather station    6",
        "   digipeater         3",
        "   home station       2",
        "and add 1 to C at each digipeater.",
        "Stop when the total reaches 1800. The range of the last",
        "station is the ALOHA circle, to be plotted on the map.",
        "Users should not routinely send packets beyond their ALOHA",
        "circle.",
    };
    std::string text;
    for (const std::string& line : lines)
        text += (text.empty() ? "" : "\n") + line;
    return text;
}

} // namespace app
