#include "views/qfColumnManager.h"

#include "platform/Dispatch.h"
#include "platform/UserDefaults.h"
#include "support/MainQueue.h"
#include "views/ByLinkColumnManager.h"
#include "views/ByPageColumnManager.h"
#include "views/ColumnManagerButton.h"
#include "views/ExportColumnManager.h"
#include "views/FlatViewColumnManager.h"
#include "views/SEOColumnManager.h"

#include <QMenu>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <chrono>

using crawlmere::platform::UserDefaults;
using Item = qfColumnManager::MenuItem;

namespace {

QList<TableColumn> byLinkColumns()
{
    return { { "url", "URL", false }, { "status", "Status", false }, { "filesize", "Size", false },
        { "redir", "Redirected to", true }, { "onpageurl", "Appears on", false } };
}

class qfColumnManagerTest : public testing::Test {
protected:
    QString storePath() const { return folder.filePath("defaults.plist"); }
    QTemporaryDir folder;
    UserDefaults store { storePath() };
    HeadlessTableView table { byLinkColumns() };
};

bool hidden(const TableView& table, const QString& title)
{
    for (const TableColumn& column : table.tableColumns()) {
        if (column.title == title)
            return column.hidden;
    }
    return false;
}

} // namespace

TEST_F(qfColumnManagerTest, HidesAndShowsByTitleAndKeepsMandatoryColumns)
{
    ByLinkColumnManager manager(&store);
    manager.setTableView(&table);
    manager.setUpColumns();
    EXPECT_EQ(manager.items(), (QList<Item> { { "Size", true }, { "Redirected to", false } }));

    EXPECT_TRUE(manager.sendAction("Size"));
    EXPECT_TRUE(hidden(table, "Size"));
    EXPECT_EQ(manager.items().first(), (Item { "Size", false }));
    // Every toggle is stored at once; mandatory titles never are.
    EXPECT_EQ(store.dictionaryForKey("ByLinkColumns"), (QVariantMap { { "Size", false }, { "Redirected to", false } }));

    manager.sendAction("Redirected to");
    EXPECT_FALSE(hidden(table, "Redirected to"));
    manager.sendAction("URL"); // no item: nothing
    EXPECT_FALSE(hidden(table, "URL"));
    manager.sendAction("Columns");
    EXPECT_EQ(manager.items().size(), 2);

    EXPECT_TRUE(manager.columnWithTitleIsVisible("No such column"));
    EXPECT_FALSE(manager.columnWithTitleIsVisible("Size"));
    EXPECT_EQ(manager.columnWithTitle("Appears on"), 4);
    EXPECT_EQ(manager.columnWithTitle("appears on"), std::nullopt);

    // Hidden outside the menu: the next set-up shows the item unticked (for a manager without a
    // stored choice; the by-link manager applies its stored one again).
    table.setColumnHidden(3, /*hidden=*/true);
    FlatViewColumnManager flat(&store);
    flat.setTableView(&table);
    flat.setUpColumns();
    EXPECT_EQ(flat.items().last(), (Item { "Redirected to", false }));
    manager.setUpColumns();
    EXPECT_EQ(manager.items().last(), (Item { "Redirected to", true }));
}

TEST_F(qfColumnManagerTest, ItemsByTableKind)
{
    // All columns mandatory: only the title item; the by-page outline offers every column.
    HeadlessTableView mandatoryOnly(
        { { "url", "URL", false }, { "status", "Statut", false }, { "onpageurl", "Apparaît sur", false } });
    ByLinkColumnManager byLink(&store);
    byLink.setTableView(&mandatoryOnly);
    byLink.setUpColumns();
    EXPECT_TRUE(byLink.items().isEmpty());

    HeadlessTableView twice({ { "url", "URL", false }, { "url", "Address", false }, { "status", "Status", true } });
    ByPageColumnManager byPage(&store);
    byPage.setTableView(&twice);
    byPage.setUpColumns();
    EXPECT_EQ(byPage.items(), (QList<Item> { { "URL", true }, { "Status", false } }));
}

TEST_F(qfColumnManagerTest, StoredChoiceSurvivesARestartOfTheStore)
{
    {
        UserDefaults first(folder.filePath("restart.plist"));
        ByLinkColumnManager manager(&first);
        manager.setTableView(&table);
        manager.setUpColumns();
        manager.sendAction("Size");
        manager.sendAction("Redirected to");
        ASSERT_TRUE(first.synchronize());
    }
    UserDefaults second(folder.filePath("restart.plist"));
    // A stored title that names a mandatory or missing column is applied or ignored.
    QVariantMap stored = second.dictionaryForKey("ByLinkColumns");
    stored.insert("Status", false);
    stored.insert("Gone", true);
    second.setObject(stored, "ByLinkColumns");

    HeadlessTableView fresh(byLinkColumns());
    ByLinkColumnManager manager(&second);
    manager.setTableView(&fresh);
    manager.setUpColumns();
    EXPECT_TRUE(hidden(fresh, "Size"));
    EXPECT_FALSE(hidden(fresh, "Redirected to"));
    EXPECT_TRUE(hidden(fresh, "Status"));
    EXPECT_EQ(manager.items(), (QList<Item> { { "Size", false }, { "Redirected to", true } }));
}

TEST_F(qfColumnManagerTest, AMovedColumnKeepsItsPlaceAfterARestart)
{
    const auto identifiers = [](const TableView& view) {
        QStringList order;
        for (const TableColumn& column : view.tableColumns())
            order << column.identifier;
        return order;
    };
    {
        UserDefaults first(folder.filePath("order.plist"));
        ByPageColumnManager manager(&first);
        manager.setTableView(&table);
        manager.setUpColumns();
        table.moveColumn(2, 0); // "Size" dragged to the front
        manager.columnsMoved();
        ASSERT_TRUE(first.synchronize());
    }
    UserDefaults second(folder.filePath("order.plist"));
    const struct {
        QList<TableColumn> columns;
        QStringList order;
    } cases[] = {
        { byLinkColumns(), { "filesize", "url", "status", "redir", "onpageurl" } },
        // A column the stored order does not name follows the named ones; a named column that
        // is gone is skipped.
        { { { "url", "URL", false }, { "title", "Title", false }, { "filesize", "Size", false },
              { "onpageurl", "Appears on", false } },
            { "filesize", "url", "onpageurl", "title" } },
    };
    for (const auto& c : cases) {
        HeadlessTableView fresh(c.columns);
        ByPageColumnManager manager(&second);
        manager.setTableView(&fresh);
        manager.setUpColumns();
        EXPECT_EQ(identifiers(fresh), c.order);
    }
}

TEST_F(qfColumnManagerTest, OlderKeysAreMigratedOnceAndRemoved)
{
    HeadlessTableView flat({ { "url", "URL", false }, { "redir", "Redirected to", true },
        { "linktext", "Link text", false }, { "distance", "Depth", false } });
    store.setBool(true, "CrwlFlatViewColsRedir");
    store.setObject("NO", "CrwlFlatViewColsLinkText");
    store.setBool(false, "WebtallySEOViewColsRobots");

    FlatViewColumnManager manager(&store);
    manager.setTableView(&flat);
    manager.setUpColumns();
    EXPECT_FALSE(hidden(flat, "Redirected to"));
    EXPECT_TRUE(hidden(flat, "Link text"));
    EXPECT_FALSE(hidden(flat, "Depth"));
    EXPECT_FALSE(store.objectForKey("CrwlFlatViewColsRedir").isValid());
    EXPECT_FALSE(store.objectForKey("CrwlFlatViewColsLinkText").isValid());
    EXPECT_TRUE(store.objectForKey("WebtallySEOViewColsRobots").isValid()); // another table's key

    // The second launch finds nothing to migrate; a toggle stores nothing for this table.
    flat.setColumnHidden(2, /*hidden=*/false);
    manager.setUpColumns();
    EXPECT_FALSE(hidden(flat, "Link text"));
    const QVariantMap before = store.persistentDomain();
    manager.sendAction("Depth");
    EXPECT_TRUE(hidden(flat, "Depth"));
    EXPECT_EQ(store.persistentDomain(), before);

    HeadlessTableView seo({ { "url", "URL", false }, { "robots", "Robots", false } });
    SEOColumnManager seoManager(&store);
    seoManager.setTableView(&seo);
    seoManager.setUpColumns();
    EXPECT_TRUE(hidden(seo, "Robots"));
    EXPECT_FALSE(store.objectForKey("WebtallySEOViewColsRobots").isValid());
}

TEST_F(qfColumnManagerTest, ExportManagerMirrorsOnTheNextEventLoopTurn)
{
    auto byLink = std::make_shared<ByLinkColumnManager>(&store);
    byLink->setTableView(&table);
    byLink->setUpColumns();

    HeadlessTableView preview(byLinkColumns());
    ExportColumnManager exporter(&store);
    exporter.setTableView(&preview);
    exporter.setUpColumns();
    EXPECT_EQ(exporter.items().size(), 5); // no mirror: nothing is mandatory
    exporter.setMirror(byLink);
    exporter.setUpColumns();
    EXPECT_EQ(exporter.items().size(), 2);

    exporter.sendAction("Size");
    EXPECT_TRUE(hidden(preview, "Size"));
    EXPECT_FALSE(hidden(table, "Size"));
    ASSERT_TRUE(
        crawlmere::platform::Dispatch::runUntil([&] { return hidden(table, "Size"); }, std::chrono::seconds(10)));
    EXPECT_EQ(byLink->items().first(), (Item { "Size", false }));
    EXPECT_EQ(store.dictionaryForKey("ByLinkColumns").value("Size"), false);

    // A title the mirror has no item for hides a column of that title there.
    byLink->mirror("URL");
    EXPECT_TRUE(hidden(table, "URL"));

    // A toggle still pending when the mirror is gone is dropped.
    exporter.sendAction("Size");
    exporter.setMirror(nullptr);
    byLink.reset();
    ASSERT_TRUE(crawlmere::test::runQueuedWork());
    EXPECT_FALSE(hidden(preview, "Size"));
}

TEST_F(qfColumnManagerTest, ButtonMenuStartsWithColumnsAndFollowsTheManager)
{
    auto manager = std::make_shared<ByLinkColumnManager>(&store);
    manager->setTableView(&table);
    crawlmere::views::ColumnManagerButton button(manager);
    manager->setUpColumns();

    QList<QAction*> actions = button.columnsMenu()->actions();
    ASSERT_EQ(actions.size(), 3);
    EXPECT_EQ(actions[0]->text(), "Columns");
    EXPECT_FALSE(actions[0]->isEnabled());
    EXPECT_EQ(actions[1]->text(), "Size");
    EXPECT_TRUE(actions[1]->isChecked());
    EXPECT_FALSE(actions[2]->isChecked());

    actions[1]->trigger();
    EXPECT_TRUE(hidden(table, "Size"));
    EXPECT_FALSE(actions[1]->isChecked());
    manager->sendAction("Redirected to");
    EXPECT_TRUE(actions[2]->isChecked());
}
