// The Close keys of the program's other windows.
#include "app/WindowCloseKeys.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QKeySequence>
#include <QWidget>

namespace crawlmere::app {

WindowCloseKeys::WindowCloseKeys(QWidget* mainWindow, QAction* quit)
    : QObject(mainWindow)
    , m_mainWindow(mainWindow)
    , m_quit(quit)
{
    qApp->installEventFilter(this);
}

WindowCloseKeys::~WindowCloseKeys() { qApp->removeEventFilter(this); }

bool WindowCloseKeys::closesWithKeys(const QWidget& window, const QWidget* mainWindow)
{
    if (!window.isWindow() || &window == mainWindow || window.testAttribute(Qt::WA_DontShowOnScreen)
        || window.windowFlags().testFlag(Qt::WindowTransparentForInput))
        return false;
    switch (window.windowType()) {
    case Qt::Window:
    case Qt::Dialog:
    case Qt::Sheet:
    case Qt::Drawer:
    case Qt::Tool:
        return true;
    default:
        return false;
    }
}

bool WindowCloseKeys::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::Show || !watched->isWidgetType())
        return false;
    auto* window = static_cast<QWidget*>(watched);
    if (!closesWithKeys(*window, m_mainWindow))
        return false;
    if (window->findChild<QAction*>(QLatin1String(kActionName), Qt::FindDirectChildrenOnly))
        return false;
    auto* close = new QAction(window);
    close->setObjectName(QLatin1String(kActionName));
    close->setShortcuts(QKeySequence::Close);
    close->setShortcutContext(Qt::WindowShortcut);
    connect(close, &QAction::triggered, window, &QWidget::close);
    window->addAction(close);
    if (m_quit) {
        auto* quit = new QAction(window);
        quit->setObjectName(QLatin1String(kQuitActionName));
        // The item's own keys, whichever they are now or become.
        quit->setShortcuts(m_quit->shortcuts());
        quit->setShortcutContext(Qt::WindowShortcut);
        connect(m_quit, &QAction::changed, quit, [quit, item = m_quit] {
            if (item)
                quit->setShortcuts(item->shortcuts());
        });
        connect(quit, &QAction::triggered, this, [item = m_quit] {
            if (item && item->isEnabled())
                item->trigger();
        });
        window->addAction(quit);
    }
    return false;
}

} // namespace crawlmere::app
