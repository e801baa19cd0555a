// A spelling review window for tests: it records each page it is asked to show.
#pragma once

#include "reports/SpellingDialogue.h"

#include <QStringList>

namespace crawlmere::test {

/// Keeps "url|word" for each `showForPage`.
struct RecordingSpellingDialogue final : crawlmere::reports::SpellingDialogue {
    void showForPage(const QString& url, const QString& word) override { shown << url + u'|' + word; }
    QStringList shown;
};

} // namespace crawlmere::test
