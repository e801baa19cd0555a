// The process's spell and grammar checker as the text checks, the spelling views and the settings
// see it: the next misspelled word or grammar issue from a position, guesses, learned words and
// the current language.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

namespace crawlmere::platform {

/// A stretch of a text in UTF-16 units. `location` is `NotFound` when nothing was found.
struct SpellRange {
    static constexpr qsizetype NotFound = -1;
    qsizetype location = NotFound;
    qsizetype length = 0;

    bool found() const { return location != NotFound; }
    qsizetype end() const { return location + length; }
    bool operator==(const SpellRange&) const = default;
};

/// One explanation of a grammar issue: the range it covers, the rule's name and a sentence.
struct GrammarDetail {
    SpellRange range;
    QString rule;
    QString description;
};

/// Checks texts word by word in one current language. Words are the pieces of a text between
/// white space, with leading and trailing punctuation taken off; a piece holding a digit or no
/// letter is never checked, any other is checked whole (so "http://example.com" reaches the
/// caller as one misspelled word). Ranges count UTF-16 units of the text given.
///
/// One instance is shared by the whole process (`shared()`); the main thread and the spelling
/// recount's thread call it at the same time, so every implementation is safe from any thread.
class SpellChecker {
public:
    virtual ~SpellChecker();

    /// checkSpellingOfString:startingAt:language:wrap:… — the range of the first misspelled word
    /// that starts at or after `startingAt`, in `language` (empty: the current language), or a
    /// not-found range. With `wrap`, when nothing is found behind `startingAt` the search goes on
    /// from the text's start up to it. A `startingAt` out of the text finds nothing (without wrap).
    /// `wordCount`, when given, receives the number of words looked at.
    virtual SpellRange checkSpelling(const QString& text, qsizetype startingAt, const QString& language = {},
        bool wrap = false, qint64* wordCount = nullptr)
        = 0;
    /// checkGrammarOfString:startingAt:language:wrap:… — the range of the first grammar issue at or
    /// after `startingAt`, or a not-found range; `details` (when given) receives its explanations,
    /// empty when nothing was found. An implementation may throw; counting callers catch.
    virtual SpellRange checkGrammar(const QString& text, qsizetype startingAt, const QString& language = {},
        bool wrap = false, QList<GrammarDetail>* details = nullptr)
        = 0;
    /// guessesForWordRange:inString:language:… — corrections for the word at `range` of `text`,
    /// best first; empty for a range outside the text or a word with none.
    virtual QStringList guessesForWordRange(SpellRange range, const QString& text, const QString& language = {}) = 0;

    /// learnWord: — the word is correct in every language from now on, also for checkers made
    /// later by this program. Empty words are ignored.
    virtual void learnWord(const QString& word) = 0;
    /// unlearnWord: — takes a learned word back; a word never learned is left alone.
    virtual void unlearnWord(const QString& word) = 0;
    /// hasLearnedWord:
    virtual bool hasLearnedWord(const QString& word) = 0;

    /// The current language's identifier ("en_US"); empty when no language is installed.
    virtual QString language() = 0;
    /// setLanguage: — answers false, keeping the language, when `language` is not installed.
    virtual bool setLanguage(const QString& language) = 0;
    /// The identifiers of the installed languages, sorted.
    virtual QStringList availableLanguages() = 0;

    /// The process's checker: the one given to `setShared`, else a hunspell checker made at the
    /// first call. Lives until the program exits.
    static SpellChecker& shared();
    /// Replaces the process's checker (tests hand in a fake); null goes back to the default. The
    /// caller keeps `checker` alive while it is shared. Not while another thread checks.
    static void setShared(SpellChecker* checker);
};

} // namespace crawlmere::platform
