// The names of spelling languages and the user's own language.
#include "platform/LanguageNames.h"

namespace crawlmere::platform {

QString languageDisplayName(const QString& identifier)
{
    const QLocale locale(identifier);
    if (locale.language() == QLocale::C || locale.language() == QLocale::AnyLanguage)
        return QString();
    const QString language = QLocale::languageToString(locale.language());
    if (!identifier.contains(u'_') && !identifier.contains(u'-'))
        return language;
    return QStringLiteral("%1 (%2)").arg(language, QLocale::territoryToString(locale.territory()));
}

QString localeLanguageIdentifier(const QLocale& locale)
{
    if (locale.language() == QLocale::C || locale.language() == QLocale::AnyLanguage)
        return QStringLiteral("en_US");
    return locale.name();
}

} // namespace crawlmere::platform
