// The site store's maker of thumbnail getters on the browser engine.
#include "webrender/WebThumbGetterFactory.h"

#include "platform/Log.h"
#include "webrender/WebThumbGetter.h"

#include <QGuiApplication>

namespace crawlmere::webrender {

std::unique_ptr<settings::ThumbGetter> WebThumbGetterFactory::makeGetter(
    const QString& url, const QString& location, Callback owner)
{
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        platform::logLine(0, QStringLiteral("thumbnails cannot be made without a GUI application"));
        return nullptr;
    }
    return std::make_unique<WebThumbGetter>(url, location, std::move(owner));
}

} // namespace crawlmere::webrender
