#include "app/InformationText.h"

#include <QStringList>

namespace app {

QString InformationText() {
    const QString rule(56, QLatin1Char('='));
    QStringList lines{
        QStringLiteral("Some Usage Comments"),
        QString(19, QLatin1Char('=')),
        QStringLiteral("1. Turn UI-View32's filters off, or at least make sure they"),
        QStringLiteral("   don't hide stations received on RF. Filtered packets would"),
        QStringLiteral("   be missing from the calculation."),
        QStringLiteral("2. Run UI-View32 for at least 30 minutes prior."),
        QStringLiteral("3. With enough RF traffic the circle shows the limit of"),
        QStringLiteral("   effective communication in your area."),
        QStringLiteral("4. Adjust your path so that your packets stay within your"),
        QStringLiteral("   circle."),
        QStringLiteral("5. The circle is calculated every 30 minutes while Velloran"),
        QStringLiteral("   is left running."),
        QStringLiteral("6. Look at the \"Packets Considered\" tab to see which paths"),
        QStringLiteral("   very distant stations use; they stand towards the bottom"),
        QStringLiteral("   of that list."),
        QStringLiteral(" "),
        rule,
        QStringLiteral("Some comments about ALOHA"),
        rule,
        QStringLiteral("ALOHA measures traffic density, not RF propagation: the"),
        QStringLiteral("users, objects, mobiles, digipeaters and weather stations"),
        QStringLiteral("that together saturate the channel."),
        QStringLiteral("With an ALOHA range of 50 miles the channel cannot be used"),
        QStringLiteral("effectively beyond 50 miles, digipeaters included, without"),
        QStringLiteral("collisions."),
        QStringLiteral("Set your unproto path so that your packets travel no farther"),
        QStringLiteral("than your range. With a 40-mile range there is no point in"),
        QStringLiteral("WIDE5-5; use no more than about WIDE2-2."),
        QStringLiteral(" "),
        rule,
        QStringLiteral("The ALOHA circle computation"),
        rule,
        QStringLiteral("Start with the copies count C at 1."),
        QStringLiteral("1200 baud carries about 60 packets a minute, that is 1800"),
        QStringLiteral("packets per 30 minutes."),
        QStringLiteral("Sort all stations heard on RF by range."),
        QStringLiteral("Starting with the closest, add each station's packets per"),
        QStringLiteral("30 minutes multiplied by C:"),
        QStringLiteral("   mobile in motion  15"),
        QStringLiteral("   other mobile       7"),
        QStringLiteral("   weather station    6"),
        QStringLiteral("   digipeater         3"),
        QStringLiteral("   home station       2"),
        QStringLiteral("and add 1 to C at each digipeater."),
        QStringLiteral("Stop when the total reaches 1800. The range of the last"),
        QStringLiteral("station is the ALOHA circle, to be plotted on the map."),
        QStringLiteral("Users should not routinely send packets beyond their ALOHA"),
        QStringLiteral("circle."),
    };
    return lines.join(QLatin1Char('\n'));
}

} // namespace app
