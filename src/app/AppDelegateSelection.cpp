// The application controller's locate window and marking a link fixed.
#include "app/AppDelegate.h"

#include "app/MainWindow.h"
#include "engine/CrwlLinkInstance.h"
#include "engine/CrwlUrl.h"
#include "engine/Z12Ara.h"
#include "views/LocateText.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace crawlmere::app {

void AppDelegate::locate(const std::shared_ptr<CrwlLinkInstance>& occurrence)
{
    if (!occurrence)
        return;
    if (!m_locateWindow) {
        m_locateWindow = new QWidget(m_window, Qt::Window);
        m_locateWindow->setObjectName(QStringLiteral("locateWindow"));
        m_locateWindow->setWindowTitle(QObject::tr("Locate"));
        m_locateWindow->resize(640, 420);
        m_locateView = new QTextBrowser(m_locateWindow);
        m_locateView->setObjectName(QStringLiteral("locateView"));
        m_locateView->setOpenExternalLinks(true);
        auto* layout = new QVBoxLayout(m_locateWindow);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(m_locateView);
    }
    const bool dark = m_locateView->palette().color(QPalette::Base).lightness() < 128;
    const QString text = views::LocateText::locate(*occurrence, dark);
    if (text.isEmpty())
        return;
    m_locateView->setHtml(text);
    if (QScreen* screen = m_locateWindow->screen()) {
        QRect frame = m_locateWindow->frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        m_locateWindow->move(frame.topLeft());
    }
    m_locateWindow->show();
    m_locateWindow->raise();
    m_locateWindow->activateWindow();
}

void AppDelegate::markThisUrlAsFixed(const std::shared_ptr<CrwlUrl>& url)
{
    if (!m_hub || !url)
        return;
    m_hub->markThisUrlAsFixed(url);
    // The tabs are refiltered by the result tabs once they offer it to the delegate.
}

} // namespace crawlmere::app
