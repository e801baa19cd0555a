// The spelling review window as the spelling results open it.
#pragma once

#include <QString>

namespace crawlmere::reports {

/// Shows one page's misspelled words for review and reports back through the spelling manager's
/// `spellingDiallogDidLearnWord` and `spellingDiallogDidFinishReviewing`. Main thread only.
class SpellingDialogue {
public:
    virtual ~SpellingDialogue() = default;
    /// showForPage:forWord: — opens the review of the page at `url`, starting at `word` when one
    /// is given (empty: the page's first misspelled word).
    virtual void showForPage(const QString& url, const QString& word) = 0;
};

} // namespace crawlmere::reports
