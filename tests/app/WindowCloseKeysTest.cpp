// The keys that close the program's windows, offscreen: Ctrl+W closes the window in front
// (an inspector, any tool window, a dialog) but never the main window; Esc closes dialogs.
#include "app/WindowCloseKeys.h"

#include "app/Console.h"
#include "app/MainInterface.h"
#include "app/MainWindow.h"
#include "app/ResultsController.h"
#include "engine/CrwlUrl.h"
#include "platform/UserDefaults.h"
#include "views/InspectorWindows.h"

#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <functional>

using crawlmere::platform::UserDefaults;
namespace app = crawlmere::app;

namespace {

/// Gives `window` the keyboard (it becomes the active window) and focus to `inside`, a widget in
/// it; presses `key` there.
void pressIn(QWidget* window, QWidget* inside, const QKeySequence& key)
{
    window->activateWindow();
    QApplication::setActiveWindow(window);
    inside->setFocus();
    QTest::keyClick(inside, Qt::Key(key[0].key()), key[0].keyboardModifiers());
}

/// A window for a case: made over the main window, with a line edit to take the focus.
QWidget* windowWithField(QWidget* window)
{
    auto* layout = new QVBoxLayout(window);
    layout->addWidget(new QLineEdit(window));
    window->show();
    return window;
}

} // namespace

TEST(WindowCloseKeys, CloseClosesTheWindowInFrontButNeverTheMainWindowAndEscClosesOnlyDialogs)
{
    QTemporaryDir folder;
    UserDefaults store(folder.filePath(QStringLiteral("defaults.plist")));
    app::MainInterface shell(store);
    shell.launch();
    QWidget* mainWindow = &shell.window();

    // A link inspector, as a double-click in a link view opens it.
    auto record = std::make_shared<CrwlUrl>();
    record->setLinkURL(QStringLiteral("http://127.0.0.1:9/page.html"));
    shell.results().inspectors().inspect(record);
    QWidget* inspector = shell.results().inspectors().lastLinkInspector();
    ASSERT_NE(inspector, nullptr);
    ASSERT_TRUE(inspector->isVisible());

    struct Case {
        const char* name;
        std::function<QWidget*()> window;
        QKeySequence key;
        bool closes;
    };
    const QKeySequence ctrlW(Qt::ControlModifier | Qt::Key_W);
    const QKeySequence escape(Qt::Key_Escape);
    const Case cases[] {
        { "the main window stays", [&] { return mainWindow; }, ctrlW, false },
        { "a tool window keeps Esc", [&] { return windowWithField(new QWidget(mainWindow, Qt::Window)); }, escape,
            false },
        { "a tool window closes", [&] { return windowWithField(new QWidget(mainWindow, Qt::Window)); }, ctrlW, true },
        { "a dialog closes with Esc", [&] { return windowWithField(new QDialog(mainWindow)); }, escape, true },
        { "a dialog closes with Close", [&] { return windowWithField(new QDialog(mainWindow)); }, ctrlW, true },
        { "the link inspector closes", [&] { return inspector; }, ctrlW, true },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QWidget* window = c.window();
        ASSERT_TRUE(window->isVisible());
        QWidget* inside = window->findChild<QLineEdit*>();
        ASSERT_NE(inside, nullptr);
        pressIn(window, inside, c.key);
        EXPECT_EQ(!window->isVisible(), c.closes);
    }
    shell.terminate();
}

TEST(WindowCloseKeys, OnlyWindowsThatTakeInputGetTheKeys)
{
    QWidget mainWindow;
    const QList<std::pair<Qt::WindowFlags, bool>> kinds { { Qt::Window, true }, { Qt::Dialog, true },
        { Qt::Tool, true }, { Qt::Popup, false }, { Qt::ToolTip, false }, { Qt::SplashScreen, false },
        { Qt::Window | Qt::WindowTransparentForInput, false } };
    for (const auto& [flags, closes] : kinds) {
        QWidget window(&mainWindow, flags);
        EXPECT_EQ(app::WindowCloseKeys::closesWithKeys(window, &mainWindow), closes) << int(flags);
    }
    EXPECT_FALSE(app::WindowCloseKeys::closesWithKeys(mainWindow, &mainWindow));
    QWidget child(&mainWindow);
    EXPECT_FALSE(app::WindowCloseKeys::closesWithKeys(child, &mainWindow));
}

// Ctrl+Q in any window of the program triggers Quit, as it does in the main window.
TEST(WindowCloseKeys, QuitsFromEveryWindowOfTheProgram)
{
    QTemporaryDir folder;
    UserDefaults store(folder.filePath(QStringLiteral("defaults.plist")));
    app::MainInterface shell(store);
    shell.launch();
    app::MainWindow& mainWindow = shell.window();
    // The item's own work (closing everything) is left out: only whether it is triggered counts.
    QAction* quit = mainWindow.menuItem(QStringLiteral("quitMenuItem"));
    ASSERT_NE(quit, nullptr);
    QObject::disconnect(quit, &QAction::triggered, nullptr, nullptr);
    QSignalSpy quits(quit, &QAction::triggered);
    // Ctrl+Q as on a desktop, whose key scheme the offscreen platform lacks.
    const QKeySequence ctrlQ(Qt::ControlModifier | Qt::Key_Q);
    quit->setShortcut(ctrlQ);
    pressIn(&mainWindow, &mainWindow, ctrlQ);
    EXPECT_EQ(quits.size(), 1) << "the main window";
    std::vector<std::pair<QString, std::function<void()>>> openers;
    for (const char* item : { "showInsecureListMenuItem", "showScheduleToolMenuItem", "showOutputFilterMenuItem",
             "showDiagnosticMenuItem", "prefsMenuItem" }) {
        ASSERT_NE(mainWindow.menuItem(QLatin1String(item)), nullptr) << item;
        openers.emplace_back(
            QLatin1String(item), [&mainWindow, item] { mainWindow.menuItem(QLatin1String(item))->trigger(); });
    }
    // The console of the program (a test has none of its own).
    app::Console console;
    openers.emplace_back(QStringLiteral("the console"), [&console] { console.show(); });
    openers.emplace_back(QStringLiteral("a modal dialog"), [&mainWindow] {
        auto* dialog = new QDialog(&mainWindow);
        dialog->setWindowModality(Qt::ApplicationModal);
        dialog->show();
    });
    for (const auto& [name, open] : openers) {
        SCOPED_TRACE(name.toStdString());
        QWidgetList shownBefore;
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (top->isVisible())
                shownBefore << top;
        }
        open();
        QWidget* window = nullptr;
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (top->isVisible() && !shownBefore.contains(top))
                window = top;
        }
        ASSERT_NE(window, nullptr);
        const qsizetype earlier = quits.size();
        pressIn(window, window->focusWidget() ? window->focusWidget() : window, ctrlQ);
        EXPECT_EQ(quits.size(), earlier + 1) << qPrintable(window->objectName());
        window->close();
    }
    shell.terminate();
}
