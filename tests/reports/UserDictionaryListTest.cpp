// The user dictionary lists over a real hunspell checker and its learned-word file.
#include "reports/UserDictionaryList.h"

#include "engine/ScopedDefaults.h"
#include "platform/HunspellSpellChecker.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using crawlmere::platform::HunspellSpellChecker;
using crawlmere::reports::UserDictionaryList;

namespace {

void write(const QString& path, const QByteArray& text)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
}

TEST(UserDictionaryListTest, ListsConfirmedWordsOnceFiltersWithoutCaseAndUnlearns)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("LocalDictionary"));
    HunspellSpellChecker checker({}, path);
    for (const char* word : { "zorbleq", "Alphaword", "beta" })
        checker.learnWord(QString::fromLatin1(word));
    write(path, "zorbleq\nAlphaword  beta\tzorbleq\n\nghostword\n"); // the checker never learned "ghostword"
    UserDictionaryList list(checker, path);
    list.fetchLearnedWords();
    EXPECT_EQ(list.words(), (QStringList { "Alphaword", "beta", "zorbleq" }));
    list.setSearchText(QStringLiteral("ALPHA"));
    EXPECT_EQ(list.filteredWords(), QStringList { "Alphaword" });
    list.setSearchText(QStringLiteral("B"));
    EXPECT_EQ(list.filteredWords(), (QStringList { "beta", "zorbleq" }));
    list.setSearchText(QStringLiteral("e"));
    list.unlearnRow(0); // "beta"
    list.unlearnRow(7); // beyond the shown list: nothing
    EXPECT_EQ(list.filteredWords(), (QStringList { "zorbleq" }));
    EXPECT_EQ(list.words(), (QStringList { "Alphaword", "zorbleq" }));
    EXPECT_FALSE(checker.hasLearnedWord(QStringLiteral("beta")));
    EXPECT_EQ(list.objectValue(1), QString());
    list.setSearchText({});
    EXPECT_EQ(list.numberOfRows(), 2);
    // The checker rewrote its file: a checker of the next run reads it.
    HunspellSpellChecker nextRun({}, path);
    EXPECT_FALSE(nextRun.hasLearnedWord(QStringLiteral("beta")));
    EXPECT_TRUE(nextRun.hasLearnedWord(QStringLiteral("zorbleq")));
}

TEST(UserDictionaryListTest, AWordLearnedInOneRunIsListedInTheNext)
{
    {
        HunspellSpellChecker firstRun;
        firstRun.learnWord(QStringLiteral("Quarvilent"));
    }
    HunspellSpellChecker secondRun;
    UserDictionaryList list(secondRun);
    list.fetchLearnedWords();
    EXPECT_TRUE(list.words().contains(QStringLiteral("Quarvilent")));
    secondRun.unlearnWord(QStringLiteral("Quarvilent"));
}

TEST(UserDictionaryListTest, MissingFileGivesAnEmptyListAndALogLine)
{
    crawlmere::test::ScopedDefaults defaults;
    defaults.set(QStringLiteral("verbosity"), 1);
    QTemporaryDir dir;
    HunspellSpellChecker checker({}, dir.filePath(QStringLiteral("elsewhere")));
    UserDictionaryList list(checker, dir.filePath(QStringLiteral("none")));
    testing::internal::CaptureStderr();
    list.fetchLearnedWords();
    EXPECT_NE(testing::internal::GetCapturedStderr().find("unable to open local dictionary"), std::string::npos);
    EXPECT_EQ(list.numberOfRows(), 0);
}

} // namespace
