// The names of spelling languages and the identifier of the user's own language.
#include "platform/LanguageNames.h"

#include <gtest/gtest.h>

using namespace crawlmere::platform;

TEST(LanguageNames, TheLocalesLanguageIsNamedAsTheListOfSpellingLanguagesNamesIt)
{
    const struct {
        const char* locale;
        const char* identifier;
        const char* name;
    } cases[] = {
        { "en_US", "en_US", "English (United States)" },
        { "en_GB", "en_GB", "English (United Kingdom)" },
        { "de_DE", "de_DE", "German (Germany)" },
        { "C", "en_US", "English (United States)" },
    };
    for (const auto& c : cases) {
        const QString identifier = localeLanguageIdentifier(QLocale(QLatin1String(c.locale)));
        EXPECT_EQ(identifier, QLatin1String(c.identifier)) << c.locale;
        EXPECT_EQ(languageDisplayName(identifier), QLatin1String(c.name)) << c.locale;
    }
    EXPECT_EQ(languageDisplayName(QStringLiteral("en")), "English");
    EXPECT_EQ(languageDisplayName(QStringLiteral("C")), "");
}
