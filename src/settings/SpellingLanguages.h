// The spelling languages offered by the settings pane: the installed hunspell dictionaries.
#pragma once

#include "platform/HunspellSpellChecker.h"
#include "platform/SpellChecker.h"

#include <QString>
#include <QStringList>
#include <QVariantMap>

namespace crawlmere::settings {

/// Language identifiers ("en_US") of the dictionaries installed in a folder, and their display
/// names in the current locale. Reads the folder on each call; any thread.
class SpellingLanguages {
public:
    /// The system's dictionary folder.
    static QString systemFolder() { return platform::HunspellSpellChecker::systemFolder(); }
    /// Identifiers of the dictionaries in `folder` (a ".dic" with its ".aff"), sorted, as the spell
    /// checker finds them.
    static QStringList availableLanguages(const QString& folder = systemFolder());
    /// The identifier's display name ("English (United States)"); empty when the identifier
    /// names no known language.
    static QString displayName(const QString& identifier);
    /// sortedArrayOfDisplayLanguages: the display names, those without one skipped, sorted
    /// case-insensitively.
    static QStringList sortedArrayOfDisplayLanguages(const QStringList& identifiers);
    /// identifierForLanguage: the first identifier whose display name is `name`; empty when none.
    static QString identifierForLanguage(const QString& name, const QStringList& identifiers);
    /// newLanguageSelected: the checker's installed language whose display name is `name` becomes
    /// its current language. False, the language kept, when no installed language has that name.
    static bool putOnChecker(const QString& name, platform::SpellChecker& checker = platform::SpellChecker::shared());
    /// The site's stored `language` (a display name) put on the checker, as `putOnChecker`; a
    /// site without one keeps the checker's language.
    static bool putSiteLanguageOnChecker(
        const QVariantMap& site, platform::SpellChecker& checker = platform::SpellChecker::shared());
    /// A scan's site language put on the checker as `putSiteLanguageOnChecker` does. When the
    /// scan checks spelling (`checkSpelling`) and no installed dictionary has its language, the
    /// line that tells the user so and names the language the words are checked in instead;
    /// a null string otherwise. The caller shows the line where its user sees it.
    static QString putScanLanguageOnChecker(
        const QVariantMap& settings, platform::SpellChecker& checker = platform::SpellChecker::shared());
};

} // namespace crawlmere::settings
