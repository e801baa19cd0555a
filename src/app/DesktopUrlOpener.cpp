// Opens addresses and files in the user's own applications.
#include "app/DesktopUrlOpener.h"

#include <QDesktopServices>

namespace crawlmere::app {

bool DesktopUrlOpener::openURL(const QUrl& url)
{
    if (!url.isValid() || url.isEmpty())
        return false;
    return QDesktopServices::openUrl(url);
}

} // namespace crawlmere::app
