// The spelling tab's widgets over the spelling manager: rows on screen follow the manager's
// expand, collapse and learn actions, and a double-click on a page row opens its review.
#include "views/SpellingResultsView.h"

#include "engine/CrwlUrl.h"
#include "reports/RecordingSpellingDialogue.h"
#include "views/ResultItemModel.h"
#include "views/SpellingOutlineAdapter.h"
#include "views/ViewsTestSupport.h"
#include "views/crawlmereTableView.h"
#include "views/qfOutlineView.h"

#include <QAbstractItemModelTester>
#include <QItemSelectionModel>
#include <QPushButton>
#include <QTabWidget>

#include <gtest/gtest.h>

using crawlmere::test::makeRecord;
using crawlmere::views::SpellingResultsView;

TEST(SpellingResultsView, OutlineRowsFollowTheManagerAndAPageRowOpensItsReview)
{
    crawlmere::test::RecordingSpellingDialogue dialogue;
    crawlmere::reports::WbtlySpellingManager::Services services;
    services.theSpellingDialogue = &dialogue;
    SpellingResultsView view(services);
    QAbstractItemModelTester tester(
        &view.misspelledWordOutlineView().itemModel(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    auto a = makeRecord(QStringLiteral("https://example.test/a"), 200);
    auto b = makeRecord(QStringLiteral("https://example.test/b"), 200);
    a->setSpellingCount(2);
    auto& manager = view.manager();
    manager.setCollection({ a, b });
    manager.setMisspelledWordDictionary({ { QStringLiteral("teh"), { a, b } }, { QStringLiteral("wrold"), { a } } });
    manager.reloadData();

    EXPECT_EQ(view.spellingTableView().itemModel().rowCount(), 1); // b has no misspelling
    auto& outline = view.outline();
    EXPECT_EQ(outline.numberOfRows(), 2);
    manager.expandAllButton();
    EXPECT_EQ(outline.numberOfRows(), 5);
    EXPECT_TRUE(view.misspelledWordOutlineView().isExpanded(view.misspelledWordOutlineView().itemModel().index(0, 0)));

    auto* tabs = view.findChild<QTabWidget*>(QStringLiteral("spellingTabView"));
    ASSERT_TRUE(tabs);
    tabs->setCurrentIndex(1);
    EXPECT_EQ(manager.selectedTabIdentifier(), QStringLiteral("1"));
    const QModelIndex pageRow = view.misspelledWordOutlineView().itemModel().index(
        1, 0, view.misspelledWordOutlineView().itemModel().index(0, 0));
    view.misspelledWordOutlineView().selectionModel()->select(
        pageRow, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    EXPECT_EQ(outline.selectedRowIndexes(), (QList<qsizetype> { 2 }));
    Q_EMIT view.misspelledWordOutlineView().doubleClicked(pageRow);
    EXPECT_EQ(dialogue.shown, (QStringList { QStringLiteral("https://example.test/b|teh") }));

    view.misspelledWordOutlineView().selectionModel()->select(view.misspelledWordOutlineView().itemModel().index(0, 0),
        QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    view.findChild<QPushButton*>(QStringLiteral("removeButton"))->click();
    EXPECT_EQ(manager.getMisspelledWordDictionary().count(QStringLiteral("teh")), 0u);
    EXPECT_EQ(outline.numberOfRows(), 2); // "wrold" stays open across the reload
    view.findChild<QPushButton*>(QStringLiteral("collapseAllButton"))->click();
    EXPECT_EQ(outline.numberOfRows(), 1);
}
