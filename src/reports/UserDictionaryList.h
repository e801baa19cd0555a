// The learned words of the spell checker as the user dictionary window lists them.
#pragma once

#include <QString>
#include <QStringList>

namespace crawlmere::platform {
class SpellChecker;
}

namespace crawlmere::reports {

/// The user dictionary window's lists: every word of the learned-word file that the checker
/// confirms as learned (`wds`, once each, in case-insensitive order) and the words shown
/// (`filteredwds`, those holding the search text without regard to case, in `wds` order).
/// Main thread only. The checker is not owned and must outlive the list.
class UserDictionaryList {
public:
    /// `file` empty: the hunspell checker's learned-word file of the application-support folder.
    explicit UserDictionaryList(platform::SpellChecker& checker, QString file = {});

    /// fetchLearnedWords: reads the file again and refilters. A file that cannot be read logs
    /// "unable to open local dictionary" and leaves both lists as they were.
    void fetchLearnedWords();
    /// filter: with a new search text (empty shows every word).
    void setSearchText(const QString& text);
    const QString& searchText() const { return m_searchText; }
    /// unlearnSelected: — unlearns the word of shown row `row` and drops it from both lists;
    /// a row out of the shown list does nothing. The file is not read again.
    void unlearnRow(qsizetype row);

    qsizetype numberOfRows() const { return m_filtered.size(); }
    /// The word of shown row `row`; the empty text beyond the end.
    QString objectValue(qsizetype row) const;
    const QStringList& words() const { return m_words; }
    const QStringList& filteredWords() const { return m_filtered; }

private:
    void filter();

    platform::SpellChecker& m_checker;
    QString m_file;
    QString m_searchText;
    QStringList m_words;
    QStringList m_filtered;
};

} // namespace crawlmere::reports
