// A help presenter that keeps what it is asked to show, for tests of the help buttons.
#pragma once

#include "app/HelpPresenter.h"

#include <QList>
#include <QPointer>

namespace crawlmere::app {

/// Keeps every display and counts the closes. Main thread only.
class RecordingHelpPresenter final : public HelpPresenter {
public:
    void display(const HelpDisplay& shown, QWidget* sender) override
    {
        displays.append(shown);
        senders.append(sender);
    }
    void close() override { ++closes; }

    QList<HelpDisplay> displays;
    QList<QPointer<QWidget>> senders;
    int closes = 0;
};

} // namespace crawlmere::app
