// Where the help texts appear: an interface for the help popover, so the help logic can be tested
// without showing anything.
#pragma once

#include <QSize>
#include <QString>
#include <QWidget>

namespace crawlmere::app {

/// One display of a help text.
struct HelpDisplay {
    QString text;
    /// The content size the text asks for (see `Manual::contentSizeFor`).
    QSize contentSize;
    /// Whether the more-help button is offered.
    bool moreHelpAvailable = false;
};

/// Shows help texts next to their buttons. Main thread only.
class HelpPresenter {
public:
    virtual ~HelpPresenter() = default;
    /// Shows `display` beside `sender` (the help button; may be null), replacing whatever was
    /// shown before.
    virtual void display(const HelpDisplay& display, QWidget* sender) = 0;
    /// Closes what is shown; nothing when nothing is.
    virtual void close() = 0;
};

} // namespace crawlmere::app
