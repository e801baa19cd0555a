// The learned words of the spell checker as the user dictionary window lists them.
#include "reports/UserDictionaryList.h"

#include "platform/HunspellSpellChecker.h"
#include "platform/Log.h"
#include "platform/SpellChecker.h"

#include <QFile>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>

namespace crawlmere::reports {

UserDictionaryList::UserDictionaryList(platform::SpellChecker& checker, QString file)
    : m_checker(checker)
    , m_file(file.isEmpty() ? platform::HunspellSpellChecker::defaultLearnedWordsFile() : std::move(file))
{
}

void UserDictionaryList::fetchLearnedWords()
{
    QFile file(m_file);
    if (m_file.isEmpty() || !file.open(QIODevice::ReadOnly)) {
        platform::logLine(1, QStringLiteral("unable to open local dictionary"));
        return;
    }
    static const QRegularExpression space(QStringLiteral("\\s+"));
    QStringList taken;
    QSet<QString> seen;
    for (const QString& piece : QString::fromUtf8(file.readAll()).split(space, Qt::SkipEmptyParts)) {
        const QString word = piece.trimmed();
        if (!word.isEmpty() && !seen.contains(word) && m_checker.hasLearnedWord(word)) {
            seen.insert(word);
            taken << word;
        }
    }
    std::stable_sort(taken.begin(), taken.end(),
        [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
    m_words = taken;
    filter();
}

void UserDictionaryList::setSearchText(const QString& text)
{
    m_searchText = text;
    filter();
}

void UserDictionaryList::filter()
{
    if (m_searchText.isEmpty()) {
        m_filtered = m_words;
        return;
    }
    m_filtered.clear();
    m_filtered.reserve(m_words.size());
    for (const QString& word : m_words) {
        if (!word.isEmpty() && word.contains(m_searchText, Qt::CaseInsensitive))
            m_filtered << word;
    }
}

void UserDictionaryList::unlearnRow(qsizetype row)
{
    if (row < 0 || row >= m_filtered.size())
        return;
    const QString word = m_filtered.at(row);
    platform::logLine(1, QStringLiteral("telling checker to unlearn '%1'").arg(word));
    m_checker.unlearnWord(word);
    m_words.removeAll(word);
    filter();
}

QString UserDictionaryList::objectValue(qsizetype row) const
{
    return row >= 0 && row < m_filtered.size() ? m_filtered.at(row) : QString();
}

} // namespace crawlmere::reports
