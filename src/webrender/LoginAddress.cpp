// The address a login window loads for what the user typed.
#include "webrender/LoginAddress.h"

#include "engine/PunycodeAdditions.h"
#include "platform/Paths.h"
#include "platform/Strings.h"
#include "platform/Url.h"

using crawlmere::platform::Paths;
namespace strings = crawlmere::platform::strings;

namespace crawlmere::webrender {

QString LoginAddress::normalised(const QString& typed, LoginWindowKind /*kind*/)
{
    const QString http = QStringLiteral("http://");
    if (typed.size() < 7)
        return http + typed;
    if (typed.contains(u"://"))
        return typed;
    if (typed.size() < 9)
        return http + typed;
    if (Paths::isLocalPath(typed)) {
        QString path = strings::decodingXmlEntities(Paths::expandTilde(typed));
        path.replace(u' ', QStringLiteral("%20"));
        return QStringLiteral("file://") + path;
    }
    return http + typed;
}

QUrl LoginAddress::url(const QString& typed, LoginWindowKind kind)
{
    const QString text = normalised(typed, kind);
    if (crawlmere::platform::Url::fromString(text))
        return QUrl(text);
    const QString encoded = PunycodeAdditions::encodedURLString(text);
    if (crawlmere::platform::Url::fromString(encoded))
        return QUrl(encoded);
    return QUrl();
}

int LoginAddress::timeoutSeconds(LoginWindowKind kind)
{
    switch (kind) {
    case LoginWindowKind::Current:
        return 60;
    case LoginWindowKind::Legacy:
        return 30;
    }
    return 60;
}

} // namespace crawlmere::webrender
