// The user dictionary window offscreen: searching through its field and unlearning the selected row.
#include "views/UserDictionaryWindow.h"

#include "platform/HunspellSpellChecker.h"

#include <QFile>
#include <QLineEdit>
#include <QTableWidget>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

TEST(UserDictionaryWindowTest, SearchFieldNarrowsAndUnlearnTakesTheSelectedWord)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("LocalDictionary"));
    crawlmere::platform::HunspellSpellChecker checker({}, path);
    checker.learnWord(QStringLiteral("plonkish"));
    checker.learnWord(QStringLiteral("Frobbed"));
    crawlmere::views::UserDictionaryWindow window(checker, path);
    auto* table = window.findChild<QTableWidget*>(QStringLiteral("tableView"));
    auto* search = window.findChild<QLineEdit*>(QStringLiteral("searchfield"));
    ASSERT_TRUE(table && search);
    ASSERT_EQ(table->rowCount(), 2);
    EXPECT_EQ(table->item(0, 0)->text(), QStringLiteral("Frobbed"));
    window.unlearnSelected(); // no selection: nothing
    EXPECT_EQ(table->rowCount(), 2);
    search->setText(QStringLiteral("PLONK"));
    ASSERT_EQ(table->rowCount(), 1);
    table->selectRow(0);
    window.unlearnSelected();
    EXPECT_EQ(table->rowCount(), 0);
    EXPECT_FALSE(checker.hasLearnedWord(QStringLiteral("plonkish")));
    search->clear();
    EXPECT_EQ(table->rowCount(), 1);
}

} // namespace
