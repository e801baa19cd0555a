// The spelling tab: the by-page table and the by-word outline under two tabs, with the buttons that
// act on the words, over the display-free spelling manager.
#pragma once

#include "reports/WbtlySpellingManager.h"

#include <QWidget>

#include <memory>

class QTabWidget;
class crawlmereTableView;
class qfOutlineView;

namespace crawlmere::views {

class SpellingOutlineAdapter;

/// Owns its views and the manager over them (`manager()`, which the application fills before the
/// spelling exports). Widgets carry their object names: `spellingTabView` (tabs carry the
/// identifiers "0" and "1" in the property "identifier"), `spellingTableView`,
/// `misspelledWordOutlineView` and the buttons `learnButton`, `removeButton`, `expandAllButton`,
/// `collapseAllButton`, `userDictionaryButton`. Double-clicks open the review of a page. Main
/// thread only.
class SpellingResultsView final : public QWidget {
    Q_OBJECT
public:
    /// `services` go to the manager as they are.
    explicit SpellingResultsView(reports::WbtlySpellingManager::Services services, QWidget* parent = nullptr);
    ~SpellingResultsView() override;

    reports::WbtlySpellingManager& manager() { return *m_manager; }
    crawlmereTableView& spellingTableView() { return *m_table; }
    qfOutlineView& misspelledWordOutlineView() { return *m_outlineView; }
    SpellingOutlineAdapter& outline() { return *m_outline; }

private:
    QTabWidget* m_tabs;
    crawlmereTableView* m_table;
    qfOutlineView* m_outlineView;
    std::unique_ptr<SpellingOutlineAdapter> m_outline;
    std::unique_ptr<reports::WbtlySpellingManager> m_manager;
};

} // namespace crawlmere::views
