// The spelling languages of the installed dictionaries.
#include "settings/SpellingLanguages.h"

#include "platform/HunspellSpellChecker.h"
#include "platform/Log.h"

#include <QLocale>

#include <algorithm>

namespace crawlmere::settings {

QStringList SpellingLanguages::availableLanguages(const QString& folder)
{
    return platform::HunspellSpellChecker::languagesInFolders({ folder });
}

QString SpellingLanguages::displayName(const QString& identifier)
{
    const QLocale locale(identifier);
    if (locale.language() == QLocale::C || locale.language() == QLocale::AnyLanguage)
        return QString();
    const QString language = QLocale::languageToString(locale.language());
    if (!identifier.contains(u'_') && !identifier.contains(u'-'))
        return language;
    return QStringLiteral("%1 (%2)").arg(language, QLocale::territoryToString(locale.territory()));
}

QStringList SpellingLanguages::sortedArrayOfDisplayLanguages(const QStringList& identifiers)
{
    QStringList names;
    for (const QString& identifier : identifiers) {
        const QString name = displayName(identifier);
        if (!name.isEmpty())
            names.append(name);
    }
    std::sort(names.begin(), names.end(),
        [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
    return names;
}

QString SpellingLanguages::identifierForLanguage(const QString& name, const QStringList& identifiers)
{
    for (const QString& identifier : identifiers) {
        if (displayName(identifier) == name)
            return identifier;
    }
    return QString();
}

bool SpellingLanguages::putOnChecker(const QString& name, platform::SpellChecker& checker)
{
    if (name.isEmpty())
        return false;
    const QString identifier = identifierForLanguage(name, checker.availableLanguages());
    if (identifier.isEmpty()) {
        platform::logLine(1, QStringLiteral("no spelling dictionary for the language %1").arg(name));
        return false;
    }
    if (identifier == checker.language())
        return true;
    platform::logLine(2, QStringLiteral("spelling language is now %1").arg(identifier));
    return checker.setLanguage(identifier);
}

bool SpellingLanguages::putSiteLanguageOnChecker(const QVariantMap& site, platform::SpellChecker& checker)
{
    return putOnChecker(site.value(QStringLiteral("language")).toString(), checker);
}

} // namespace crawlmere::settings
