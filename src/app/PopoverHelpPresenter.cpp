// Help popovers, one at a time.
#include "app/PopoverHelpPresenter.h"

#include "app/HelpPopover.h"

namespace crawlmere::app {

PopoverHelpPresenter::PopoverHelpPresenter(std::function<void()> moreHelp)
    : m_moreHelp(std::move(moreHelp))
{
}

PopoverHelpPresenter::~PopoverHelpPresenter() { close(); }

void PopoverHelpPresenter::display(const HelpDisplay& display, QWidget* sender)
{
    close();
    auto* popover = new HelpPopover(display, sender ? sender->window() : nullptr);
    QObject::connect(popover, &HelpPopover::moreHelpRequested, popover, [this] {
        if (m_moreHelp)
            m_moreHelp();
    });
    m_hintPopover = popover;
    popover->showBeside(HelpPopover::convertToScreen(sender));
}

void PopoverHelpPresenter::close()
{
    if (m_hintPopover)
        m_hintPopover->close();
    m_hintPopover = nullptr;
}

} // namespace crawlmere::app
