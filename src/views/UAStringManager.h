// The pop-up of named user-agent strings beside the settings pane's user-agent field.
#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include <utility>

class QAction;
class QLineEdit;
class QToolButton;

namespace crawlmere::views {

/// Owns the preset table and the pop-up button (`dButton`) that offers it. Choosing a preset
/// puts its string into the user-agent field, replacing the whole text, and then runs the
/// field's own edit handling (its `textEdited` signal), so the settings pane takes it as an
/// edit of that field. The pop-up keeps no selection. The field must outlive the manager, which
/// is a child of the button's parent. Main thread only.
class UAStringManager final : public QObject {
    Q_OBJECT
public:
    /// The crawler's published information page, ending its two presets.
    static inline const QString kCrawlerInfoUrl = QStringLiteral("http://www.google.com/bot.html");
    /// The application's own web page, ending its preset.
    static inline const QString kApplicationUrl = QStringLiteral("https://crawlmere.example/");

    /// Makes the pop-up button as a child of `buttonParent` and fills its menu.
    UAStringManager(QLineEdit* uaTextField, QWidget* buttonParent);

    /// The presets (name, user-agent string) in the order the pop-up lists them.
    static const QList<std::pair<QString, QString>>& presets();

    QToolButton* button() const { return dButton; }
    /// Empties the pop-up's menu and adds one item per preset name; choosing one runs
    /// `itemSelected`.
    void populateMenu();
    /// The field takes the string of the preset named by `item`'s text, then its edit handling
    /// runs. An item naming no preset does nothing.
    void itemSelected(QAction* item);

private:
    QToolButton* dButton = nullptr;
    QLineEdit* uaTextField = nullptr;
};

} // namespace crawlmere::views
