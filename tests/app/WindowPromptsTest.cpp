#include "app/WindowPrompts.h"

#include "WindowTestSupport.h"

#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>

#include <gtest/gtest.h>

using crawlmere::app::WindowPrompts;

// The large-export question over the export sheet: once it is answered by Escape, the sheet has
// the keyboard again, so its own Escape works without a click.
TEST(WindowPrompts, AnAlertOverASheetGivesTheKeyboardBackToTheSheet)
{
    QWidget window;
    window.resize(600, 400);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QDialog sheet(&window);
    auto* field = new QLineEdit(&sheet);
    (new QVBoxLayout(&sheet))->addWidget(field);
    sheet.open();
    sheet.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&sheet));
    field->setFocus();

    QTimer escape;
    QObject::connect(&escape, &QTimer::timeout, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            QTest::keyClick(box, Qt::Key_Escape);
    });
    escape.start(10);
    WindowPrompts prompts(&window);
    EXPECT_EQ(prompts.runModalAlert({ .messageText = QStringLiteral("Large export"), .informativeText = {},
                  .buttons = { QStringLiteral("Cancel"), QStringLiteral("Continue") }, .cancelButton = 0 }),
        0);
    escape.stop();
    EXPECT_TRUE(crawlmere::test::waitFor([&] { return QApplication::activeWindow() == &sheet; }, 2000));
    EXPECT_EQ(QApplication::focusWidget(), field);
}
