// The spelling languages of the installed dictionaries.
#include "settings/SpellingLanguages.h"

#include "engine/CrawlSettingKeys.h"

#include "platform/StoredValue.h"

#include "platform/HunspellSpellChecker.h"
#include "platform/LanguageNames.h"
#include "platform/Log.h"

#include <algorithm>

namespace crawlmere::settings {

QStringList SpellingLanguages::availableLanguages(const QString& folder)
{
    return platform::HunspellSpellChecker::languagesInFolders({ folder });
}

QString SpellingLanguages::displayName(const QString& identifier) { return platform::languageDisplayName(identifier); }

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

namespace {

QString noDictionaryText(const QString& name)
{
    return QStringLiteral("no spelling dictionary for the language %1").arg(name);
}

/// The checker's language made the one named `name` when a dictionary has it; the identifier
/// found, empty when none.
QString putIfInstalled(const QString& name, platform::SpellChecker& checker, bool* changed)
{
    const QString identifier = SpellingLanguages::identifierForLanguage(name, checker.availableLanguages());
    if (identifier.isEmpty())
        return identifier;
    if (identifier == checker.language()) {
        *changed = true;
        return identifier;
    }
    platform::logLine(2, QStringLiteral("spelling language is now %1").arg(identifier));
    *changed = checker.setLanguage(identifier);
    return identifier;
}

} // namespace

bool SpellingLanguages::putOnChecker(const QString& name, platform::SpellChecker& checker)
{
    if (name.isEmpty())
        return false;
    bool changed = false;
    if (putIfInstalled(name, checker, &changed).isEmpty())
        platform::logLine(1, noDictionaryText(name));
    return changed;
}

bool SpellingLanguages::putSiteLanguageOnChecker(const QVariantMap& site, platform::SpellChecker& checker)
{
    return putOnChecker(site.value(crawlKey::language).toString(), checker);
}

QString SpellingLanguages::putScanLanguageOnChecker(const QVariantMap& settings, platform::SpellChecker& checker)
{
    if (!crawlmere::platform::boolValue(settings.value(crawlKey::checkSpelling))) {
        putSiteLanguageOnChecker(settings, checker);
        return QString();
    }
    const QString name = settings.value(crawlKey::language).toString();
    bool changed = false;
    if (name.isEmpty() || !putIfInstalled(name, checker, &changed).isEmpty())
        return QString();
    const QString fallback = displayName(checker.language());
    return fallback.isEmpty() ? noDictionaryText(name)
                              : QStringLiteral("%1: spelling is checked in %2").arg(noDictionaryText(name), fallback);
}

} // namespace crawlmere::settings
