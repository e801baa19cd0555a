// The spelling review of one page, display-free: the walk through its misspelled words.
#pragma once

#include "platform/SpellChecker.h"
#include "reports/SpellingDialogue.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

class CrwlParser;
class ShellPrompts;

namespace crawlmere::platform {
class UrlOpener;
}

namespace crawlmere::reports {

/// spellingDialogue without its window: the page is fetched and parsed again off the main thread
/// (the review is `busy` until it is there, and every action waits for it), then the walk steps
/// through its misspelled words, or only those equal to a given word without regard to case. The
/// guesses for each word are also made off the main thread; answers for a step already left or a
/// review already replaced are dropped. `changed` is called after every visible change. Main
/// thread only; the checker (null: the shared one) must be safe from any thread and outlive every
/// fetch and guess the model started.
class SpellingDialogueModel final : public SpellingDialogue {
public:
    using SpellRange = platform::SpellRange;

    struct Services {
        platform::SpellChecker* checker = nullptr;
        ShellPrompts* prompts = nullptr; ///< the beep
        platform::UrlOpener* urlOpener = nullptr;
        std::function<void(const std::optional<QString>&)> didLearnWord; ///< spellingDiallogDidLearnWord:
        std::function<void()> didFinishReviewing; ///< spellingDiallogDidFinishReviewing
        std::function<void()> showWindow; ///< centres the window and brings it to the front
        std::function<void()> changed;
    };

    /// How much text the excerpt keeps before the word and after it.
    static constexpr qsizetype kExcerptBefore = 100;
    static constexpr qsizetype kExcerptAfter = 250;

    explicit SpellingDialogueModel(Services services);
    ~SpellingDialogueModel() override;

    /// showForPage:forWord: — starts a review (the window shows at once, busy).
    void showForPage(const QString& url, const QString& word) override;
    void next();
    void previous();
    void learnSpelling();
    void switchMode();
    /// visit: opens the URL field's text, percent-escaped when it is no valid URL as it stands.
    void visit();
    /// windowWillClose: tells the manager the review finished.
    void windowWillClose();

    bool busy() const { return m_busy; }
    QString urlText() const { return m_url; }
    QString forWordText() const { return m_forWord.value_or(QString()); }
    QString extractText() const { return m_extract; }
    /// The word's range in `extractText()`, limited to that text; length 0 when empty.
    SpellRange extractSelection() const { return m_selection; }
    QString infoText() const;
    QString currentWord() const { return m_currentWord; }
    const QStringList& suggestions() const { return m_suggestions; }
    bool learnEnabled() const { return m_learnEnabled && !m_busy; }
    int spellingCount() const { return m_spellingCount; }
    int currentError() const { return m_currentError; }
    /// The text of the page (empty while busy or when the page gave no parser).
    const QString& textContent() const { return m_textContent; }

private:
    struct Loaded;
    void pageArrived(Loaded loaded);
    bool matches(SpellRange range) const;
    SpellRange nextMatching(SpellRange range);
    void refreshForCurrentPage();
    void showRange(SpellRange range);
    void populateExtractField(SpellRange range);
    void populateGuesses(SpellRange range);
    void pushRange(SpellRange range) { m_stack.append(range); }
    SpellRange popRange();
    void beep();
    void notify();
    platform::SpellChecker& checker() const;

    Services m_services;
    std::shared_ptr<int> m_alive; ///< answers from other threads check it through a weak copy
    quint64 m_review = 0;
    quint64 m_step = 0;
    bool m_busy = false;
    bool m_learnEnabled = false;
    QString m_url;
    std::optional<QString> m_forWord;
    std::shared_ptr<CrwlParser> m_parser;
    QString m_textContent;
    QString m_currentWord;
    QString m_extract;
    SpellRange m_selection;
    QStringList m_suggestions;
    QList<SpellRange> m_stack;
    int m_spellingCount = 0;
    int m_currentError = 0;
};

} // namespace crawlmere::reports
