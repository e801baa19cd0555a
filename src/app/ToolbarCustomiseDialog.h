// The dialog in which the user arranges the toolbar's items.
#pragma once

#include <QDialog>
#include <QStringList>

class QListWidget;

namespace crawlmere::app {

/// Two lists: the items the toolbar allows (the palette; spaces may be added any number of
/// times, each other item once) and the toolbar's current arrangement, with buttons to add,
/// remove, move up and down, and go back to the default set. `itemIdentifiers` is the
/// arrangement when the dialog is accepted. Main thread only.
class ToolbarCustomiseDialog final : public QDialog {
    Q_OBJECT
public:
    ToolbarCustomiseDialog(const QString& toolbarIdentifier, const QStringList& current, QWidget* parent = nullptr);

    QStringList itemIdentifiers() const;

    /// Adds the palette's selected item after the arrangement's selected one (at the end when
    /// none is selected); an item already on the toolbar is not added twice.
    void addSelected();
    /// Removes the arrangement's selected item.
    void removeSelected();
    /// Moves the arrangement's selected item by `delta` places.
    void moveSelected(int delta);
    void useDefaultSet();

    QListWidget* palette() const { return m_palette; }
    QListWidget* arrangement() const { return m_arrangement; }

private:
    void setArrangement(const QStringList& identifiers);
    static QString titleFor(const QString& identifier);

    QString m_toolbarIdentifier;
    QListWidget* m_palette;
    QListWidget* m_arrangement;
};

} // namespace crawlmere::app
