// What the site configuration store asks of the settings pane and the site list that show it.
#pragma once

#include <QString>
#include <QStringList>
#include <QVariantMap>

namespace crawlmere::settings {

/// The widgets of the site settings as the store drives them. Every method has a default that
/// does nothing, so a view implements only what it shows. Main thread only; the store calls
/// these synchronously and never while a call into the store from the view is unfinished,
/// except `copyInterfaceToSettings`, which may be called from inside any store operation.
class ConfigView {
public:
    virtual ~ConfigView();

    /// Sets every bound control from `site`; a key the site lacks shows its default.
    virtual void showSettings(const QVariantMap& /*site*/) { }
    /// Stores into `site` the value of every bound control that changed since the site was shown
    /// (every control's value when none has been shown).
    virtual void copyInterfaceToSettings(QVariantMap& /*site*/) { }
    /// The application's values that sites without their own take have changed: each control
    /// the user left as shown for `site` (the shown site as last stored) shows what its scan now
    /// uses.
    virtual void followApplicationSettings(const QVariantMap& /*site*/) { }
    /// The Go button's title becomes "Go" (it is the shell's; showing a site resets it).
    virtual void resetGoTitle() { }
    virtual void setMainWindowTitle(const QString& /*title*/) { }
    virtual void bringWindowToFront() { }
    /// The text of the starting-URL field.
    virtual QString urlFieldText() const { return QString(); }
    virtual void setUrlFieldText(const QString& /*text*/) { }
    virtual void setStatusText(const QString& /*text*/) { }
    /// Sets a checkbox of the binding by its key.
    virtual void setCheckbox(const QString& /*key*/, bool /*on*/) { }
    /// The rows of the site list changed (the store's `rows()`).
    virtual void reloadSiteList() { }
    /// One row of the site list changed its text.
    virtual void reloadSiteRow(int /*row*/) { }
    /// Selects a row of the site list (-1: none) without reporting it back.
    virtual void selectSiteRow(int /*row*/) { }
    virtual void reloadRuleTables() { }
    virtual void reloadFolderTable() { }
    /// The folder names of the move-to-folder menu.
    virtual void populateFolderMenus(const QStringList& /*folders*/) { }
    /// The sort menu marks the item of `key` ("name", "startingUrl", "dateStamp" or none).
    virtual void markSelectedSort(const QString& /*key*/) { }
    /// Shows the settings tab of the site pane.
    virtual void selectOptionsTab() { }
};

} // namespace crawlmere::settings
