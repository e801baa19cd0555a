// The preferences window: one tab per page of the preferences model, one control per default.
#pragma once

#include "views/PreferencesModel.h"

#include <QDialog>
#include <QHash>

#include <functional>

namespace crawlmere::platform {
class UserDefaults;
}

namespace crawlmere::app {

class MainTabView;

/// `prefsWindow`, holding the tab view `prefsMainTabView` whose items carry the model's
/// identifiers. Each control is named by its default's key and stores a change at once; then
/// the change's effect runs: the result views reload, the site list takes the new row size
/// (`IconSizeCallback:`), the Sitemap tab lists its pages afresh.
/// Controls do not take the mouse wheel unless they have the focus, so the wheel scrolls the
/// tab. A modeless window; main thread only; `defaults` must outlive it.
class PreferencesWindow final : public QDialog {
    Q_OBJECT
public:
    struct Services {
        /// The result views show the changed default (labels, status texts, page titles).
        std::function<void()> reloadResultViews;
        /// `IconSizeCallback:` of the site list.
        std::function<void()> iconSizeCallback;
        /// The Sitemap tab, shown or not, follows a changed sitemap default.
        std::function<void()> reloadSitemap;
        /// The settings pane shows what the shown site's scan now takes from the application.
        std::function<void()> followApplicationSettings;
    };

    PreferencesWindow(platform::UserDefaults& defaults, Services services, QWidget* parent = nullptr);
    ~PreferencesWindow() override;

    /// showPrefs: shows the controls' stored values and brings the window to the front.
    void showPrefs();
    /// selectPrefsSitemapTabView: the sitemap tab ("3"), then `showPrefs`.
    void selectPrefsSitemapTabView();

    MainTabView* tabView() const { return m_tabs; }
    /// The control of the default `key`, or null.
    QWidget* control(const QString& key) const { return m_controls.value(key); }
    views::PreferencesModel& model() { return m_model; }

    /// Every control shows its default's stored value again.
    void reloadValues();

private:
    QWidget* makeControl(const views::Preference& preference, QWidget* parent);
    void stored(const views::Preference& preference, const QVariant& value);
    void showValue(const views::Preference& preference);

    views::PreferencesModel m_model;
    Services m_services;
    MainTabView* m_tabs = nullptr;
    QHash<QString, QWidget*> m_controls;
    bool m_showing = false;
};

} // namespace crawlmere::app
