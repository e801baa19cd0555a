// A URL opener that opens nothing and keeps what it is asked to open, for tests of code that opens
// addresses and files.
#pragma once

#include "platform/UrlOpener.h"

#include <QList>
#include <QUrl>

namespace crawlmere::platform {

/// Keeps every URL it is asked to open and answers `result`. Main thread only.
class RecordingUrlOpener final : public UrlOpener {
public:
    bool openURL(const QUrl& url) override
    {
        opened.append(url);
        return result;
    }

    QList<QUrl> opened;
    bool result = true;
};

} // namespace crawlmere::platform
