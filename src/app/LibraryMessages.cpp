// Where the libraries' own messages go in a scan without windows.
#include "app/LibraryMessages.h"

#include "platform/Log.h"

#include <QtGlobal>

#include <cstring>

namespace crawlmere::app {

void sendLibraryMessagesToLog()
{
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& context, const QString& text) {
        const bool named = context.category && std::strcmp(context.category, "default") != 0;
        const QString line = named ? QString::fromLatin1(context.category) + QStringLiteral(": ") + text : text;
        platform::logLine(type == QtFatalMsg ? 0 : 2, line.trimmed());
    });
}

} // namespace crawlmere::app
