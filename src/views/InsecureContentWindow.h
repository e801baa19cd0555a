// The insecure-content window: the outline of the insecure list and its expand-all button.
#pragma once

#include <QWidget>

class QPushButton;
class QTreeView;

namespace crawlmere::reports {
class CrwlInsecureDataSource;
}

namespace crawlmere::views {

class InsecureOutlineModel;

/// Shows a `CrwlInsecureDataSource` (which must outlive the window) in the outline
/// `insecureOutlineView`; the two-state button `expandAllButton` expands or collapses every item.
/// Main thread only.
class InsecureContentWindow final : public QWidget {
    Q_OBJECT
public:
    explicit InsecureContentWindow(const reports::CrwlInsecureDataSource& source, QWidget* parent = nullptr);
    ~InsecureContentWindow() override;

    /// showWindow: brings the window to the front, reloads the outline and applies the button.
    void showWindow();
    /// handleExpandInsecureButton: expands every item when the button is on, else collapses all.
    void handleExpandInsecureButton();

    QTreeView* getOutlineView() const { return m_outline; }
    QPushButton* expandAllButton() const { return m_expandAll; }

private:
    InsecureOutlineModel* m_model = nullptr;
    QTreeView* m_outline = nullptr;
    QPushButton* m_expandAll = nullptr;
};

} // namespace crawlmere::views
