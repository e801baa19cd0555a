// The spell checker on hunspell dictionaries, with the learned-word list kept in the
// application-support folder and one grammar rule of our own.
#pragma once

#include "platform/SpellChecker.h"

#include <QHash>
#include <QSet>

#include <map>
#include <memory>
#include <mutex>
#include <string>

class Hunspell;

namespace crawlmere::platform {

/// Dictionaries are the ".dic"/".aff" pairs of the system hunspell folder and of the folders of
/// `DICPATH` (colon-separated), named by file name ("en_GB"); the first folder holding a name wins.
/// A dictionary is loaded at its first use and kept. Words reach hunspell in the dictionary's own
/// encoding; a word that encoding cannot hold is misspelled.
///
/// Learned words are one list for all languages, kept in `Spelling/LocalDictionary` of the
/// application-support folder (UTF-8, a word a line), read when the checker is made and rewritten
/// atomically at every learn and unlearn; a failed save is logged and the word stays learned in
/// this checker. A learned word also matches its capitalised and upper-case forms.
///
/// Grammar has one rule: a word followed, with only white space between, by the same word in any
/// letter case ("the The"). The range covers both words; its one detail names the rule
/// "repeated word". The rule is the same in every language.
///
/// The start-up language is the system locale's ("en_GB") when installed, else "en_US", else the
/// first installed one. With none installed nothing is ever found, and the first check writes a
/// log line (always shown) that spelling was not checked.
///
/// Thread rule: any thread. One lock is held per word lookup, never for a whole text.
class HunspellSpellChecker final : public SpellChecker {
public:
    /// The folders searched when none are given: the system folder, then `DICPATH`'s.
    static QStringList defaultFolders();
    static QString systemFolder() { return QStringLiteral("/usr/share/hunspell"); }
    /// The identifiers of the dictionaries in `folders` (a ".dic" beside its ".aff"), sorted, each once.
    static QStringList languagesInFolders(const QStringList& folders);

    /// `folders` empty: `defaultFolders()`. `learnedWordsFile` empty: the application-support file.
    explicit HunspellSpellChecker(QStringList folders = {}, QString learnedWordsFile = {});
    ~HunspellSpellChecker() override;

    SpellRange checkSpelling(const QString& text, qsizetype startingAt, const QString& language = {}, bool wrap = false,
        qint64* wordCount = nullptr) override;
    SpellRange checkGrammar(const QString& text, qsizetype startingAt, const QString& language = {}, bool wrap = false,
        QList<GrammarDetail>* details = nullptr) override;
    QStringList guessesForWordRange(SpellRange range, const QString& text, const QString& language = {}) override;
    void learnWord(const QString& word) override;
    void unlearnWord(const QString& word) override;
    bool hasLearnedWord(const QString& word) override;
    QString language() override;
    bool setLanguage(const QString& language) override;
    QStringList availableLanguages() override;

    /// The learned-word file of the application-support folder; empty when the folder cannot be made.
    static QString defaultLearnedWordsFile();

private:
    struct Dictionary;

    /// The dictionary of `language` (empty: the current one), loaded when needed; null when it
    /// is not installed or cannot be loaded. Needs `m_mutex` held.
    Dictionary* dictionaryLocked(const QString& language);
    /// Whether `word` is spelled correctly in `dictionary`, under the lock.
    bool isCorrect(Dictionary* dictionary, QStringView word);
    SpellRange findMisspelled(
        const QString& text, qsizetype from, qsizetype to, const QString& language, qint64* count);
    void saveLearnedWordsLocked();

    std::mutex m_mutex;
    QStringList m_folders;
    QHash<QString, QString> m_dictionaryFolders; ///< language → folder holding it
    QString m_language;
    std::map<QString, std::unique_ptr<Dictionary>> m_dictionaries;
    QString m_learnedWordsFile;
    QStringList m_learnedWords; ///< in the order learned, as written to the file
    QSet<QString> m_learnedSet;
    bool m_reportedNoLanguage = false;
    std::string m_encodeBuffer;
};

} // namespace crawlmere::platform
