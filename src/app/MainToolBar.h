// The main window's toolbar: the window's own buttons arranged by item identifiers.
#pragma once

#include <QHash>
#include <QList>
#include <QStringList>
#include <QToolBar>

class QAction;
class QToolButton;
class QWidgetAction;

namespace crawlmere::app {

/// Shows icon and label under it, at the small size, and wraps each item's existing button
/// (looked up by the item's `button` objectName among `buttons`); each action carries its item
/// identifier as the property "itemIdentifier". The buttons stay owned by the toolbar's actions
/// while shown or not. Its context menu offers "Customise Toolbar…" (`customiseRequested`).
/// Main thread only.
class MainToolBar final : public QToolBar {
    Q_OBJECT
public:
    MainToolBar(const QString& identifier, const QList<QToolButton*>& buttons, QWidget* parent = nullptr);

    /// Shows exactly `identifiers` in order (each sanitized beforehand by the caller); an
    /// identifier with no item and no button is left out.
    void setItemIdentifiers(const QStringList& identifiers);
    /// Enables or disables the item wrapping `button` (a wrapped button follows its item).
    void setButtonEnabled(const QToolButton* button, bool enabled);
    /// The identifiers shown, in order.
    QStringList itemIdentifiers() const;

Q_SIGNALS:
    void customiseRequested();

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    QHash<QString, QWidgetAction*> m_itemActions;
    QList<QAction*> m_spaceActions;
};

} // namespace crawlmere::app
