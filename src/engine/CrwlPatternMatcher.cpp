// Rule-term matching and regular-expression application for the crawl's rule lists.
#include "engine/CrwlPatternMatcher.h"

#include "platform/Strings.h"

#include <QDebug>
#include <QRegularExpression>

#include <algorithm>
#include <array>

namespace {

// Whether `term` (without its "!") is found in `string`; the caller turns this into the result.
bool termFound(QStringView string, QStringView term, bool allowWildcards, Qt::CaseSensitivity cs)
{
    if (string.isNull() || term.isEmpty())
        return false;

    if (!allowWildcards || !term.contains(u'*')) {
        if (string.indexOf(term, 0, cs) >= 0)
            return true;
        // Decoding a string without "%" gives the same string back, so only a string holding
        // one can be found by a second search.
        if (!string.contains(u'%'))
            return false;
        const std::optional<QString> decoded = crawlmere::platform::strings::removingPercentEncoding(string);
        return decoded && decoded->indexOf(term, 0, cs) >= 0;
    }

    bool anchored = false;
    if (term.endsWith(u'$')) {
        anchored = true;
        term.chop(1);
    }

    qsizetype rest = 0; // start of what is left of `string`
    qsizetype pieceStart = 0;
    for (;;) {
        const qsizetype star = term.indexOf(u'*', pieceStart);
        const bool lastPiece = star < 0;
        const QStringView piece = term.sliced(pieceStart, (lastPiece ? term.size() : star) - pieceStart);
        if (!piece.isEmpty() && piece != u"/") {
            const QStringView left = string.sliced(rest);
            if (anchored && lastPiece)
                return left.endsWith(piece, cs);
            const qsizetype at = left.indexOf(piece, 0, cs);
            if (at < 0)
                return false;
            // Case-insensitive comparison folds one UTF-16 unit at a time, so a match is
            // exactly as long as the piece.
            rest += at + piece.size();
        }
        if (lastPiece)
            return true;
        pieceStart = star + 1;
    }
}

// A few compiled expressions per thread, most recent first. Compiling is the costly part of a
// match and the rule lists repeat the same patterns for every link; an entry behaves exactly
// like a freshly built expression, including its error for an invalid pattern.
class RegexCache {
public:
    const QRegularExpression& get(const QString& pattern)
    {
        for (size_t i = 0; i < m_used; ++i) {
            if (m_entries[i].pattern() == pattern) {
                std::rotate(m_entries.begin(), m_entries.begin() + static_cast<std::ptrdiff_t>(i),
                    m_entries.begin() + static_cast<std::ptrdiff_t>(i) + 1);
                return m_entries[0];
            }
        }
        if (m_used < m_entries.size())
            ++m_used;
        std::rotate(m_entries.begin(), m_entries.begin() + static_cast<std::ptrdiff_t>(m_used) - 1,
            m_entries.begin() + static_cast<std::ptrdiff_t>(m_used));
        m_entries[0] = QRegularExpression(pattern,
            QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption
                | QRegularExpression::UseUnicodePropertiesOption);
        return m_entries[0];
    }

private:
    std::array<QRegularExpression, 8> m_entries;
    size_t m_used = 0;
};

} // namespace

bool CrwlPatternMatcher::stringMatchesPattern(
    QStringView string, QStringView pattern, bool allowWildcards, bool caseInSensitive, bool literal)
{
    bool resultForMatch = true;
    if (pattern.startsWith(u'!')) {
        if (pattern.size() == 1)
            return true;
        pattern = pattern.sliced(1);
        resultForMatch = false;
    }

    const Qt::CaseSensitivity cs = caseInSensitive ? Qt::CaseInsensitive : Qt::CaseSensitive;
    bool found;
    if (literal || string.isNull()) {
        found = termFound(string, pattern, allowWildcards, cs);
    } else {
        const QString decomposedString = string.toString().normalized(QString::NormalizationForm_D);
        const QString decomposedTerm = pattern.toString().normalized(QString::NormalizationForm_D);
        found = termFound(decomposedString, decomposedTerm, allowWildcards, cs);
    }
    return found ? resultForMatch : !resultForMatch;
}

QStringList CrwlPatternMatcher::applyRegex(const QString& pattern, QStringView string)
{
    thread_local RegexCache cache;
    const QRegularExpression& regex = cache.get(pattern);
    if (!regex.isValid()) {
        qWarning().noquote() << QStringLiteral("error in regex: %1 (at offset %2 of \"%3\")")
                                    .arg(regex.errorString(), QString::number(regex.patternErrorOffset()), pattern);
        return {};
    }
    if (string.isNull())
        return {};

    QStringList results;
    const int groups = regex.captureCount();
    QRegularExpressionMatchIterator it = regex.globalMatch(string);
    while (it.hasNext() && results.size() < maxRegexResults) {
        const QRegularExpressionMatch match = it.next();
        if (groups <= 0) {
            results.append(match.captured(0));
            continue;
        }
        QString joined;
        for (int group = 1; group <= groups; ++group)
            joined += match.capturedView(group);
        results.append(joined);
    }
    return results;
}
