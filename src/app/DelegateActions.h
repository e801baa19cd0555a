// The application controller's remaining menu actions: site reset, login windows and web pages.
#pragma once

#include "platform/DefaultsKeys.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <memory>

class QAction;
class QMenuBar;
class QWidget;

namespace crawlmere::platform {
class UrlOpener;
class UserDefaults;
} // namespace crawlmere::platform

namespace crawlmere::settings {
class ConfigManager;
}

namespace crawlmere::sitemap {
class SitemapManager;
}

namespace crawlmere::app {

/// Menu items "Return to Default Settings…", "Log In to Site…", "Log In to Site (Legacy)…",
/// "Console", "Home Page", "Support" and the help item (`AppDelegate::getHelpMenuTitle`), and
/// what they do. The home and support pages are the defaults `kHomePageKey` and
/// `kSupportPageKey`, unset by default, their items disabled while unset; help opens
/// `kHelpPageKey` when set, else (or when no application takes that address) the installed
/// README in a window of the program's own.
/// Main thread only; the windows it opens are owned by `parent`.
class DelegateActions : public QObject {
    Q_OBJECT
public:
    static inline const QString kHomePageKey = defaultsKey::homePageAddress;
    static inline const QString kSupportPageKey = defaultsKey::supportPageAddress;
    static inline const QString kHelpPageKey = defaultsKey::helpPageAddress;

    /// `defaults` and `opener` must outlive this object; `parent` owns it.
    DelegateActions(platform::UserDefaults& defaults, platform::UrlOpener& opener, QWidget* parent);

    void setConfigManager(std::shared_ptr<settings::ConfigManager> manager) { m_configManager = std::move(manager); }
    /// Adds the items to the menus named "fileMenu", "windowMenu" and "helpMenu" of `bar`;
    /// `console` (may be null) is shown by "Console".
    void installMenuItems(QMenuBar* bar, QWidget* console);
    /// Enables the web-page items whose default is set, and the login items while there is a
    /// starting URL and the browser engine; called when a menu opens.
    void updateMenuItems();

    /// returnToDefaultSettings: asks "Return to default settings" ("OK", "Cancel"); on "OK" the
    /// site settings controller resets the selected site. False when not reset.
    bool returnToDefaultSettings();
    /// showCookieWindow: / showLegacyCookieWindow: the login window on the selected site's
    /// starting URL; nothing (null) when it is empty, there is no settings controller or the
    /// browser-engine module is missing.
    QWidget* showCookieWindow(bool legacy);
    /// visitHome: / visitSupport: open the page of that default; false when unset or refused.
    bool visitPage(const QString& key);
    /// Whether the default `key` holds an address `visitPage` would open.
    bool pageAvailable(const QString& key) const;
    /// visitHelp: the help default when set and an application takes it; else the installed
    /// README in the program's own window `helpWindow` (a text browser; links to the web open
    /// outside), which needs no viewer installed. False when neither, after an
    /// alert (`missingHelpAlert`, not waited for) that says where the README was looked for.
    bool visitHelp();
    /// The help window; null until help was shown in it.
    QWidget* helpWindow() const { return m_helpWindow; }
    /// Where `visitHelp` looks for the README; `readmeLocations` unless set.
    void setReadmeLocations(QStringList locations) { m_readmeLocations = std::move(locations); }
    /// Where the README shipped with the program is looked for, in order:
    /// "../share/doc/crawlmere/README.md" from the program's folder, then
    /// "/usr/share/doc/crawlmere/README.md".
    static QStringList readmeLocations();
    /// The first of `locations` that exists; empty when none does.
    static QString installedReadme(const QStringList& locations = readmeLocations());
    /// The alert's text when no README is installed: it lists `locations`.
    static QString missingHelpText(const QStringList& locations = readmeLocations());

    /// updateChangeFrequencies: the sitemap takes a copy of the current site's settings, then
    /// applies its change-frequency rules again.
    static void updateChangeFrequencies(sitemap::SitemapManager& sitemap, settings::ConfigManager& config);

    /// The text asked before a reset.
    static QString resetInformativeText();

Q_SIGNALS:
    /// A login window was opened (by `showCookieWindow`), for its help button.
    void loginWindowShown(QWidget* window);

private:
    /// Shows the README at `path` in `helpWindow`; false when it cannot be read.
    bool showReadme(const QString& path);

    platform::UserDefaults& m_defaults;
    platform::UrlOpener& m_opener;
    QPointer<QWidget> m_parent;
    std::shared_ptr<settings::ConfigManager> m_configManager;
    QPointer<QWidget> m_cookieWindow;
    QPointer<QWidget> m_helpWindow;
    QStringList m_readmeLocations = readmeLocations();
    QAction* m_home = nullptr;
    QAction* m_support = nullptr;
    QList<QAction*> m_logins;
};

} // namespace crawlmere::app
