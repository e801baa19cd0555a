// Programs run on a virtual X display of their own (support/on-virtual-display.sh).
#pragma once

#include <QStandardPaths>
#include <QString>
#include <QStringList>

namespace crawlmere::test {

/// The script that runs its command on a display it starts: on-virtual-display.sh SCREEN COMMAND...
inline QString virtualDisplayScript() { return QStringLiteral(CRAWLMERE_FIXTURES "/../support/on-virtual-display.sh"); }

/// Why no virtual display can be started here (a tool missing); null when one can.
inline QString whyNoVirtualDisplay()
{
    for (const char* tool : { "Xvfb", "xauth" }) {
        if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
            return QStringLiteral("%1 is needed").arg(QLatin1String(tool));
    }
    return {};
}

} // namespace crawlmere::test
