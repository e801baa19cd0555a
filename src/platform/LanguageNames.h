// The names of spelling languages as the user reads them, and the user's own language.
#pragma once

#include <QLocale>
#include <QString>

namespace crawlmere::platform {

/// The name the list of spelling languages shows for a language identifier: "English (United
/// States)" for "en_US", "English" for "en"; empty when the identifier names no known language.
QString languageDisplayName(const QString& identifier);

/// The identifier of the locale's language with its territory ("en_US", "de_DE"), as the
/// dictionaries are named; "en_US" for the C locale.
QString localeLanguageIdentifier(const QLocale& locale = QLocale::system());

} // namespace crawlmere::platform
