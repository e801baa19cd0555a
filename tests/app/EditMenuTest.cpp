#include "app/EditMenuRoute.h"
#include "app/MainWindow.h"
#include "platform/UserDefaults.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QLineEdit>
#include <QStandardItemModel>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

namespace app = crawlmere::app;
using app::EditCommand;
using app::EditFocus;
using app::EditStep;

TEST(EditMenuRoute, EachItemActsOnlyWhereTheFocusedWidgetCan)
{
    const EditFocus list { .kind = EditFocus::Kind::ItemView, .hasSelection = true, .rows = 3 };
    const EditFocus field { .kind = EditFocus::Kind::Text, .editable = true, .hasSelection = true, .hasText = true };
    EditFocus password = field;
    password.secret = true;
    EditFocus readOnly = field;
    readOnly.editable = false;
    const struct {
        EditCommand command;
        EditFocus focus;
        EditStep step;
    } cases[] = {
        { EditCommand::Copy, list, EditStep::CopyRows },
        { EditCommand::Cut, list, EditStep::Nothing },
        { EditCommand::Paste, list, EditStep::Nothing },
        { EditCommand::Delete, list, EditStep::Nothing },
        { EditCommand::SelectAll, list, EditStep::Nothing }, // one row at a time
        { EditCommand::Copy, field, EditStep::Text },
        { EditCommand::Delete, field, EditStep::Text },
        { EditCommand::Paste, field, EditStep::Nothing }, // nothing on the clipboard
        { EditCommand::Copy, password, EditStep::Nothing },
        { EditCommand::Cut, readOnly, EditStep::Nothing },
        { EditCommand::Copy, readOnly, EditStep::Text },
        { EditCommand::Copy, EditFocus { .kind = EditFocus::Kind::Other }, EditStep::Nothing },
    };
    for (const auto& c : cases)
        EXPECT_EQ(app::editStep(c.command, c.focus), c.step) << int(c.command) << " on " << int(c.focus.kind);
}

// A list without a Copy of its own has the keyboard: each Edit key and item leaves the program
// running, Copy puts the selected row on the clipboard and nothing else changes.
TEST(EditMenu, KeysAndItemsOnAListNeverComeBackToThemselves)
{
    QTemporaryDir folder;
    crawlmere::platform::UserDefaults store(folder.filePath(QStringLiteral("defaults.plist")));
    app::MainWindow window(store, QStringLiteral("Quit"), QStringLiteral("About"), QStringLiteral("Sites"));
    auto* pane = new QWidget;
    auto* list = new QTableView(pane);
    auto* field = new QLineEdit(QStringLiteral("https://example.test/"), pane);
    auto* layout = new QVBoxLayout(pane);
    layout->addWidget(list);
    layout->addWidget(field);
    QStandardItemModel model(2, 2);
    for (int row = 0; row < 2; ++row)
        for (int column = 0; column < 2; ++column)
            model.setItem(row, column, new QStandardItem(QStringLiteral("r%1c%2").arg(row).arg(column)));
    list->setModel(&model);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    window.setSitesPane(pane);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    list->setFocus();
    list->selectRow(1);
    QGuiApplication::clipboard()->setText(QStringLiteral("before"));

    for (const int key : { Qt::Key_C, Qt::Key_X, Qt::Key_V, Qt::Key_A })
        QTest::keyClick(list, Qt::Key(key), Qt::ControlModifier);
    QTest::keyClick(list, Qt::Key_Delete);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("r1c0\tr1c1"));
    for (const char* item : { "undoMenuItem", "redoMenuItem", "cutMenuItem", "copyMenuItem", "pasteMenuItem",
             "deleteMenuItem", "selectAllMenuItem" }) {
        QAction* action = window.findChild<QAction*>(QLatin1String(item));
        ASSERT_NE(action, nullptr) << item;
        action->trigger();
    }
    EXPECT_EQ(model.rowCount(), 2);
    EXPECT_EQ(list->selectionModel()->selectedRows().size(), 1);
    EXPECT_EQ(field->text(), QStringLiteral("https://example.test/"));

    // In a text field the items are the field's own.
    field->setFocus();
    field->selectAll();
    window.findChild<QAction*>(QStringLiteral("cutMenuItem"))->trigger();
    EXPECT_EQ(field->text(), QString());
    window.findChild<QAction*>(QStringLiteral("pasteMenuItem"))->trigger();
    EXPECT_EQ(field->text(), QStringLiteral("https://example.test/"));
}
