// Site reset, login windows, console and web-page items of the application controller.
#include "app/DelegateActions.h"

#include "app/AppDelegate.h"

#include "platform/Log.h"
#include "platform/UrlOpener.h"
#include "platform/UserDefaults.h"
#include "settings/ConfigManager.h"
#include "settings/WebRenderLoader.h"
#include "settings/WebRenderModule.h"
#include "sitemap/SitemapManager.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTextBrowser>
#include <QUrl>

namespace crawlmere::app {

DelegateActions::DelegateActions(platform::UserDefaults& defaults, platform::UrlOpener& opener, QWidget* parent)
    : QObject(parent)
    , m_defaults(defaults)
    , m_opener(opener)
    , m_parent(parent)
{
}

void DelegateActions::installMenuItems(QMenuBar* bar, QWidget* console)
{
    auto menu = [bar](const char* name) { return bar->findChild<QMenu*>(QLatin1String(name)); };
    auto add = [this](QMenu* into, const QString& title, const char* name, auto slot) {
        QAction* action = into->addAction(title);
        action->setObjectName(QLatin1String(name));
        connect(action, &QAction::triggered, this, slot);
        return action;
    };
    if (QMenu* file = menu("fileMenu")) {
        QAction* before = file->actions().isEmpty() ? nullptr : file->actions().constFirst();
        const QList<QAction*> items { add(file, tr("Return to Default Settings…"), "returnToDefaultSettingsMenuItem",
                                          [this] { returnToDefaultSettings(); }),
            add(file, tr("Log In to Site…"), "showCookieWindowMenuItem", [this] { showCookieWindow(false); }),
            add(file, tr("Log In to Site (Legacy)…"), "showLegacyCookieWindowMenuItem",
                [this] { showCookieWindow(true); }) };
        for (QAction* item : items)
            file->insertAction(before, item);
        file->insertSeparator(before);
        m_logins = { items.at(1), items.at(2) };
        connect(file, &QMenu::aboutToShow, this, &DelegateActions::updateMenuItems);
    }
    if (QMenu* window = menu("windowMenu"); window && console) {
        add(window, tr("Console"), "consoleMenuItem", [console] {
            console->show();
            console->raise();
            console->activateWindow();
        });
    }
    if (QMenu* help = menu("helpMenu")) {
        help->addSeparator();
        m_home = add(help, tr("Home Page"), "visitHomeMenuItem", [this] { visitPage(kHomePageKey); });
        m_support = add(help, tr("Support"), "visitSupportMenuItem", [this] { visitPage(kSupportPageKey); });
        add(help, AppDelegate::getHelpMenuTitle(), "visitHelpMenuItem", [this] { visitHelp(); });
        connect(help, &QMenu::aboutToShow, this, &DelegateActions::updateMenuItems);
    }
    updateMenuItems();
}

void DelegateActions::updateMenuItems()
{
    if (m_home)
        m_home->setEnabled(pageAvailable(kHomePageKey));
    if (m_support)
        m_support->setEnabled(pageAvailable(kSupportPageKey));
    // A login window needs a site to open on and the browser engine to show it.
    const bool loginAvailable = m_configManager && !m_configManager->getStartingURLForCurrentSite().isEmpty()
        && settings::WebRenderLoader::module();
    for (QAction* login : std::as_const(m_logins))
        login->setEnabled(loginAvailable);
}

QString DelegateActions::resetInformativeText()
{
    return tr("If you continue, all settings for this site except the starting url, including the rules table, "
              "will be reset to defaults.");
}

bool DelegateActions::returnToDefaultSettings()
{
    if (!m_configManager)
        return false;
    QMessageBox alert(QMessageBox::Warning, tr("Return to default settings"), tr("Return to default settings"),
        QMessageBox::NoButton, m_parent);
    alert.setInformativeText(resetInformativeText());
    QPushButton* ok = alert.addButton(tr("OK"), QMessageBox::AcceptRole);
    alert.addButton(tr("Cancel"), QMessageBox::RejectRole);
    alert.exec();
    if (alert.clickedButton() != ok)
        return false;
    m_configManager->returnToDefaultSettings();
    return true;
}

QWidget* DelegateActions::showCookieWindow(bool legacy)
{
    const QString start = m_configManager ? m_configManager->getStartingURLForCurrentSite() : QString();
    settings::WebRenderModule* module = start.isEmpty() ? nullptr : settings::WebRenderLoader::module();
    if (!module)
        return nullptr;
    if (m_cookieWindow)
        m_cookieWindow->close();
    QWidget* window = module->makeLoginWindow(legacy, start, m_parent);
    window->setWindowFlag(Qt::Window);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
    m_cookieWindow = window;
    Q_EMIT loginWindowShown(window);
    return window;
}

bool DelegateActions::pageAvailable(const QString& key) const
{
    const QUrl page(m_defaults.stringForKey(key).trimmed());
    return page.isValid() && !page.isRelative();
}

bool DelegateActions::visitPage(const QString& key)
{
    if (!pageAvailable(key))
        return false;
    return m_opener.openURL(QUrl(m_defaults.stringForKey(key).trimmed()));
}

bool DelegateActions::visitHelp()
{
    if (!m_defaults.stringForKey(kHelpPageKey).trimmed().isEmpty() && visitPage(kHelpPageKey))
        return true;
    if (const QString readme = installedReadme(m_readmeLocations); !readme.isEmpty() && showReadme(readme))
        return true;
    platform::logLine(1, QStringLiteral("no help page opened and no installed README found"));
    // Said, not just logged: the item would otherwise seem to do nothing.
    auto* alert = new QMessageBox(QMessageBox::Information, AppDelegate::getHelpMenuTitle(),
        tr("The help is not installed."), QMessageBox::Ok, m_parent);
    alert->setObjectName(QStringLiteral("missingHelpAlert"));
    alert->setInformativeText(missingHelpText(m_readmeLocations));
    alert->setAttribute(Qt::WA_DeleteOnClose);
    alert->open();
    return false;
}

bool DelegateActions::showReadme(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QString text = QString::fromUtf8(file.readAll());
    if (!m_helpWindow) {
        auto* window = new QTextBrowser(m_parent);
        window->setObjectName(QStringLiteral("helpWindow"));
        window->setWindowFlag(Qt::Window);
        window->setWindowTitle(AppDelegate::getHelpMenuTitle());
        window->setOpenExternalLinks(true);
        window->resize(760, 640);
        m_helpWindow = window;
    }
    auto* view = static_cast<QTextBrowser*>(m_helpWindow.data());
    view->setSearchPaths({ QFileInfo(path).absolutePath() });
    view->setMarkdown(text);
    view->show();
    view->raise();
    view->activateWindow();
    return true;
}

QStringList DelegateActions::readmeLocations()
{
    return { QDir::cleanPath(
                 QCoreApplication::applicationDirPath() + QStringLiteral("/../share/doc/crawlmere/README.md")),
        QStringLiteral("/usr/share/doc/crawlmere/README.md") };
}

QString DelegateActions::installedReadme(const QStringList& locations)
{
    for (const QString& candidate : locations) {
        const QFileInfo file(candidate);
        if (file.isFile())
            return file.canonicalFilePath();
    }
    return QString();
}

QString DelegateActions::missingHelpText(const QStringList& locations)
{
    return tr("Crawlmere's help is its README file, installed with the program. It was looked for at:\n%1")
        .arg(locations.join(QLatin1Char('\n')));
}

void DelegateActions::updateChangeFrequencies(sitemap::SitemapManager& sitemap, settings::ConfigManager& config)
{
    sitemap.setCrawlSettings(config.currentSettings());
    sitemap.updateChangeFrequencies();
}

} // namespace crawlmere::app
