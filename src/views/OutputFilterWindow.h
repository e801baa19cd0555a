// The window that edits the output-filter rules kept by the interface's OutputFilterManager.
#pragma once

#include <QWidget>

#include <memory>

class OutputFilterManager;
class ShellPrompts;
class QListWidget;

namespace crawlmere::platform {
class UserDefaults;
}

namespace crawlmere::views {

/// Lists the rules as sentences (`filterTableView`), switches the filter (`mipFilter`) and its
/// combination (`mipContainsAndOr`: all or any), adds a rule through a window-modal sheet whose
/// controls edit the four rule keys of the defaults store, and deletes the selected rule after
/// asking. The manager, store and prompts must outlive the window. Main thread only.
class OutputFilterWindow final : public QWidget {
    Q_OBJECT
public:
    OutputFilterWindow(OutputFilterManager& manager, platform::UserDefaults& defaults,
        std::shared_ptr<ShellPrompts> prompts, QWidget* parent = nullptr);
    ~OutputFilterWindow() override;

    void reload();

public Q_SLOTS:
    /// beginNewDialog: resets the rule keys and opens the new-rule sheet.
    void beginNewDialog();
    /// deleteSelectedRule: beeps without a selected rule, else asks and removes it.
    void deleteSelectedRule();

private:
    OutputFilterManager& m_manager;
    platform::UserDefaults& m_defaults;
    std::shared_ptr<ShellPrompts> m_prompts;
    QListWidget* m_table = nullptr;
};

} // namespace crawlmere::views
