// The user dictionary window: the learned words, a search field and an unlearn button.
#pragma once

#include "reports/UserDictionaryList.h"

#include <QWidget>

class QLineEdit;
class QProgressBar;
class QTableWidget;

namespace crawlmere::views {

/// userDictionaryManager: a window over a `UserDictionaryList`, read once when it is made.
/// Widgets carry the object names `tableView`, `progind` and `searchfield`; the window itself is
/// "userDictionaryManager". Main thread only; the checker must outlive the window.
class UserDictionaryWindow final : public QWidget {
public:
    /// `file` empty: the checker's learned-word file of the application-support folder.
    explicit UserDictionaryWindow(platform::SpellChecker& checker, const QString& file = {}, QWidget* parent = nullptr);

    /// refresh: reads the file again, stops the progress indicator and reloads the table.
    void refresh();
    /// unlearnSelected: unlearns the selected word; nothing without a selection.
    void unlearnSelected();
    const reports::UserDictionaryList& list() const { return m_list; }

private:
    void reloadTable();

    reports::UserDictionaryList m_list;
    QTableWidget* m_table = nullptr;
    QProgressBar* m_progress = nullptr;
    QLineEdit* m_search = nullptr;
};

} // namespace crawlmere::views
