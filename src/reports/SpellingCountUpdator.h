// The background recount of pages' spelling counts as the spelling results hand pages to it.
#pragma once

#include <QList>

#include <memory>

class CrwlUrl;

namespace crawlmere::reports {

/// Counts the misspelled words of the pages handed in again on a thread of its own and tells the
/// spelling manager `spellingRunnerDidFinish` on the main thread when a run ends. Called on the
/// main thread.
class SpellingCountUpdator {
public:
    virtual ~SpellingCountUpdator() = default;
    /// addPages: — queues the pages for a recount; pages already queued stay once.
    virtual void addPages(const QList<std::shared_ptr<CrwlUrl>>& pages) = 0;
};

} // namespace crawlmere::reports
