// The main window's tab view: tabs that carry their identifier, found and selected by it.
#pragma once

#include <QString>
#include <QTabWidget>

namespace crawlmere::app {

/// Each tab's page widget carries its identifier ("0" sites and settings, "1" to "4" the link
/// views, …) as the property `kIdentifierProperty`. `didSelectTabViewItem` is emitted once for
/// every change of the selected tab, but never from inside a removal: `QTabWidget` announces
/// `currentChanged` while it is still taking the tab out, so a removal that moves the selection
/// announces the new tab only after the tab is gone. Main thread only.
class MainTabView final : public QTabWidget {
    Q_OBJECT
public:
    static inline constexpr const char* kIdentifierProperty = "identifier";

    explicit MainTabView(QWidget* parent = nullptr);

    /// Adds `page` (which becomes a child of the view) under `label` with `identifier`.
    void addTabViewItem(QWidget* page, const QString& label, const QString& identifier);
    /// The page of `identifier`, or null.
    QWidget* tabViewItemWithIdentifier(const QString& identifier) const;
    /// Selects the tab of `identifier`; false (and nothing changes) when there is none.
    bool selectTabViewItemWithIdentifier(const QString& identifier);
    /// The selected tab's identifier, or an empty string when there are no tabs.
    QString selectedIdentifier() const;
    /// Every tab's identifier in tab order.
    QStringList identifiers() const;
    /// Takes `page` out of the view (the page stays alive, without a parent, for the caller to
    /// keep or delete); false when it is not one of the tabs. A removal that changes the
    /// selected tab announces the new one once, after the removal.
    bool removeTabViewItem(QWidget* page);

    static QString identifierOf(const QWidget* page);

Q_SIGNALS:
    /// tabView:didSelectTabViewItem: the tab of `identifier` is now the selected one.
    void didSelectTabViewItem(const QString& identifier);

private:
    void currentTabChanged();

    bool m_removing = false;
    QString m_announced;
};

} // namespace crawlmere::app
