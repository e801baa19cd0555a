// The spelling review window over the display-free review model.
#pragma once

#include "reports/SpellingDialogueModel.h"

#include <QWidget>

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTableWidget;

namespace crawlmere::views {

/// spellingDialogue's window. It opens at once when a review starts and stays busy, its controls
/// off, until the page is there. Widgets carry the object names `urlField`, `extractField`,
/// `infoField`, `forWordField`, `suggestionTable` and `learnButton`. Closing it tells the manager
/// the review finished. Main thread only.
class SpellingDialogueWindow final : public QWidget {
public:
    /// `services.changed` and `services.showWindow` are the window's own.
    explicit SpellingDialogueWindow(reports::SpellingDialogueModel::Services services, QWidget* parent = nullptr);

    /// The window as the spelling manager's `theSpellingDialogue`.
    reports::SpellingDialogue& dialogue() { return m_model; }
    reports::SpellingDialogueModel& model() { return m_model; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void refresh();

    reports::SpellingDialogueModel m_model;
    QLineEdit* m_url = nullptr;
    QLineEdit* m_extract = nullptr;
    QLabel* m_info = nullptr;
    QLabel* m_forWord = nullptr;
    QTableWidget* m_suggestions = nullptr;
    QProgressBar* m_busy = nullptr;
    QPushButton* m_learn = nullptr;
    QList<QPushButton*> m_controls;
};

} // namespace crawlmere::views
