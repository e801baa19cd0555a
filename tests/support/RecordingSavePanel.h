// A save panel that answers from a prepared list, for tests of the commands that save files.
#pragma once

#include "platform/SavePanel.h"

#include <QList>
#include <QStringList>

#include <optional>

namespace crawlmere::platform {

/// Keeps every request and answers from `answers` in order (cancelled when none is left).
/// Main thread only.
class RecordingSavePanel final : public SavePanel {
public:
    std::optional<QString> runModal(const SavePanelRequest& request) override
    {
        requests.append(request);
        if (answers.isEmpty())
            return std::nullopt;
        return answers.takeFirst();
    }
    void showSaveFailure(const QString& path, const QString& reason) override
    {
        failures.append(saveFailureText(path, reason));
    }

    QList<SavePanelRequest> requests;
    /// The failures shown, as their texts.
    QStringList failures;
    QList<std::optional<QString>> answers;
};

} // namespace crawlmere::platform
