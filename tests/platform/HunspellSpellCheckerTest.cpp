// The hunspell checker on the installed en_US and en_GB dictionaries.
#include "platform/HunspellSpellChecker.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using crawlmere::platform::GrammarDetail;
using crawlmere::platform::HunspellSpellChecker;
using crawlmere::platform::SpellRange;

TEST(HunspellSpellChecker, FindsWordsByUtf16RangeAndSkipsWhatIsNoWord)
{
    HunspellSpellChecker checker;
    ASSERT_TRUE(checker.setLanguage(QStringLiteral("en_US")));
    // The emoji takes two UTF-16 units; digits, lone punctuation and the emoji are never checked.
    const QString text = QStringLiteral("\U0001F600 (teh) 42nd -- and http://exmaple.com/x");
    EXPECT_EQ(checker.checkSpelling(text, 0), (SpellRange { 4, 3 }));
    EXPECT_EQ(checker.checkSpelling(text, 7), (SpellRange { 21, 20 })); // the URL, whole
    EXPECT_FALSE(checker.checkSpelling(text, 41).found());
    EXPECT_EQ(checker.checkSpelling(text, 41, {}, /*wrap=*/true), (SpellRange { 4, 3 }));
}

TEST(HunspellSpellChecker, LanguagesDiffer)
{
    HunspellSpellChecker checker;
    EXPECT_TRUE(checker.availableLanguages().contains(QStringLiteral("en_GB")));
    EXPECT_TRUE(checker.checkSpelling(QStringLiteral("colour"), 0, QStringLiteral("en_US")).found());
    EXPECT_FALSE(checker.checkSpelling(QStringLiteral("colour"), 0, QStringLiteral("en_GB")).found());
    EXPECT_FALSE(checker.setLanguage(QStringLiteral("xx_YY")));
}

TEST(HunspellSpellChecker, GuessesAndLearnedWordsAcrossCheckers)
{
    const QString file = HunspellSpellChecker::defaultLearnedWordsFile();
    QFile::remove(file);
    const QString text = QStringLiteral("Crawlmerish teh");
    {
        HunspellSpellChecker checker;
        checker.setLanguage(QStringLiteral("en_US"));
        EXPECT_TRUE(checker.guessesForWordRange({ 12, 3 }, text).contains(QStringLiteral("the")));
        EXPECT_TRUE(checker.guessesForWordRange({ 12, 9 }, text).isEmpty()); // past the end
        checker.learnWord(QStringLiteral("crawlmerish"));
    }
    HunspellSpellChecker later;
    later.setLanguage(QStringLiteral("en_US"));
    EXPECT_TRUE(later.hasLearnedWord(QStringLiteral("crawlmerish")));
    EXPECT_EQ(later.checkSpelling(text, 0), (SpellRange { 12, 3 })); // capitalised form known too
    later.unlearnWord(QStringLiteral("crawlmerish"));
    EXPECT_EQ(HunspellSpellChecker().checkSpelling(text, 0, QStringLiteral("en_US")), (SpellRange { 0, 11 }));
}

TEST(HunspellSpellChecker, NoDictionaryFindsNothing)
{
    HunspellSpellChecker checker({ QStringLiteral("/nonexistent") }, QStringLiteral("/nonexistent/words"));
    EXPECT_TRUE(checker.language().isEmpty());
    EXPECT_FALSE(checker.checkSpelling(QStringLiteral("teh"), 0).found());
    checker.learnWord(QStringLiteral("kept")); // the save fails; the word stays learned
    EXPECT_TRUE(checker.hasLearnedWord(QStringLiteral("kept")));
}

TEST(HunspellSpellChecker, RepeatedWordIsTheGrammarRule)
{
    HunspellSpellChecker checker;
    QList<GrammarDetail> details;
    const QString text = QStringLiteral("So the The\tend. end, end and and.");
    EXPECT_EQ(checker.checkGrammar(text, 0, {}, false, &details), (SpellRange { 3, 7 }));
    ASSERT_EQ(details.size(), 1);
    EXPECT_EQ(details[0].rule, QStringLiteral("repeated word"));
    // "end. end" and "end, end" have punctuation between; "and and." counts.
    EXPECT_EQ(checker.checkGrammar(text, 10), (SpellRange { 25, 7 }));
    EXPECT_FALSE(checker.checkGrammar(text, 32).found());
}

TEST(HunspellSpellChecker, DictionaryInItsOwnEncodingFromDicpath)
{
    QTemporaryDir folder;
    const auto write = [&](const char* name, const QByteArray& bytes) {
        QFile file(folder.filePath(QString::fromLatin1(name)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    };
    write("xx_LT.aff", "SET ISO8859-1\nTRY e\xe9\n");
    write("xx_LT.dic", "2\ncaf\xe9\nthe\n");
    qputenv("DICPATH", QFile::encodeName(folder.path()));
    HunspellSpellChecker checker({}, folder.filePath(QStringLiteral("words")));
    qunsetenv("DICPATH");
    ASSERT_TRUE(checker.setLanguage(QStringLiteral("xx_LT")));
    EXPECT_FALSE(checker.checkSpelling(QStringLiteral("caf\u00e9 the"), 0).found());
    // "ŵ" has no ISO 8859-1 byte: never in this dictionary.
    EXPECT_EQ(checker.checkSpelling(QStringLiteral("the cafe \u0175"), 0), (SpellRange { 4, 4 }));
    EXPECT_EQ(checker.checkSpelling(QStringLiteral("the \u0175ord"), 0), (SpellRange { 4, 4 }));
    EXPECT_TRUE(checker.guessesForWordRange({ 0, 4 }, QStringLiteral("cafe")).contains(QStringLiteral("caf\u00e9")));
}

TEST(HunspellSpellChecker, TwoThreadsCheckWhileAWordIsLearnedAndUnlearned)
{
    QTemporaryDir folder;
    HunspellSpellChecker checker({}, folder.filePath(QStringLiteral("words")));
    checker.setLanguage(QStringLiteral("en_US"));
    QString text;
    for (int i = 0; i < 500; ++i)
        text += QStringLiteral("the zorbly cat teh ");
    const auto count = [&] {
        qint64 found = 0;
        for (SpellRange range = checker.checkSpelling(text, 0); range.found();
             range = checker.checkSpelling(text, range.end()))
            ++found;
        return found;
    };
    std::atomic<bool> wrong = false;
    const auto worker = [&] {
        for (int run = 0; run < 10; ++run) {
            const qint64 found = count(); // "zorbly" is learned for part of a run at most
            wrong = wrong || found < 500 || found > 1000;
        }
    };
    std::thread first(worker);
    std::thread second(worker);
    for (int i = 0; i < 50; ++i) {
        checker.learnWord(QStringLiteral("zorbly"));
        checker.unlearnWord(QStringLiteral("zorbly"));
    }
    first.join();
    second.join();
    EXPECT_FALSE(wrong);
    EXPECT_EQ(count(), 1000);
}
