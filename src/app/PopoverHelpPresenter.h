// Shows help texts in help popovers, one at a time.
#pragma once

#include "app/HelpPopover.h"
#include "app/HelpPresenter.h"

#include <QPointer>

#include <functional>

namespace crawlmere::app {

/// Each display makes a new `HelpPopover` beside the help button (`hintPopover`) and closes the
/// one before. Main thread only.
class PopoverHelpPresenter final : public HelpPresenter {
public:
    /// `moreHelp` runs when the popover's more-help button is pressed.
    explicit PopoverHelpPresenter(std::function<void()> moreHelp);
    ~PopoverHelpPresenter() override;

    void display(const HelpDisplay& display, QWidget* sender) override;
    void close() override;

    /// The popover shown last, while it is open.
    HelpPopover* hintPopover() const { return m_hintPopover; }

private:
    std::function<void()> m_moreHelp;
    QPointer<HelpPopover> m_hintPopover;
};

} // namespace crawlmere::app
