// Rule lists as one automaton over their texts (Aho-Corasick), for lookups whose time does not
// grow with the list.
#include "engine/CrwlTermIndex.h"

#include "engine/CrwlPatternMatcher.h"
#include "platform/Strings.h"

#include <QSet>

#include <algorithm>
#include <deque>

namespace {

char16_t folded(char16_t unit) { return QChar(unit).toCaseFolded().unicode(); }

QString foldedText(QStringView text)
{
    QString out(text.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i)
        out[i] = QChar(folded(text[i].unicode()));
    return out;
}

/// The longest piece a term with "*" must find ("!" and a final "$" removed); empty when every
/// piece is skipped, so that the term is satisfied by any string.
QStringView longestPiece(QStringView term)
{
    if (term.endsWith(u'$'))
        term.chop(1);
    QStringView longest;
    for (qsizetype start = 0; start <= term.size();) {
        qsizetype star = term.indexOf(u'*', start);
        if (star < 0)
            star = term.size();
        const QStringView piece = term.sliced(start, star - start);
        if (piece != u"/" && piece.size() > longest.size())
            longest = piece;
        start = star + 1;
    }
    return longest;
}

} // namespace

CrwlTermIndex::CrwlTermIndex(const QStringList& terms)
{
    m_nodes.emplace_back();
    QSet<QString> seen;
    for (const QString& term : terms) {
        // Terms shorter than 2 characters are skipped, as a list lookup skips them.
        if (term.size() < 2 || seen.contains(term))
            continue;
        seen.insert(term);
        const bool negated = term.startsWith(u'!');
        const QStringView body = negated ? QStringView(term).sliced(1) : QStringView(term);
        if (!body.contains(u'*')) {
            Text& text = m_texts[size_t(textFor(foldedText(body)))];
            if (negated) {
                if (text.negated < 0) {
                    text.negated = qint32(m_negated.size());
                    m_negated.push_back(body.toString());
                }
            } else if (!text.literal) {
                text.literal = true;
                ++m_literal;
            }
            continue;
        }
        const QStringView key = longestPiece(body);
        if (key.isEmpty()) {
            // Every piece is skipped: the term is found in any string.
            m_matchesAll = m_matchesAll || !negated;
            continue;
        }
        const qint32 wildcard = qint32(m_wildcards.size());
        m_wildcards.push_back(term);
        m_wildcardNegated.push_back(negated);
        m_negatedWildcards += negated ? 1 : 0;
        m_texts[size_t(textFor(foldedText(key)))].wildcards.push_back(wildcard);
    }

    // Fail links, breadth first; a node's outputs and plain terms include those of its fail node.
    std::vector<std::vector<std::pair<char16_t, qint32>>> children(m_nodes.size());
    for (auto it = m_edges.cbegin(); it != m_edges.cend(); ++it)
        children[size_t(it.key() >> 16)].emplace_back(char16_t(it.key() & 0xFFFF), it.value());
    std::deque<qint32> queue;
    for (const auto& [unit, node] : children[0]) {
        m_nodes[size_t(node)].fail = 0;
        queue.push_back(node);
    }
    while (!queue.empty()) {
        const qint32 parent = queue.front();
        queue.pop_front();
        Node& p = m_nodes[size_t(parent)];
        const Node& pFail = m_nodes[size_t(p.fail)];
        p.output = p.text >= 0 ? parent : pFail.output;
        p.literal = (p.text >= 0 && m_texts[size_t(p.text)].literal) || pFail.literal;
        for (const auto& [unit, node] : children[size_t(parent)]) {
            qint32 fail = p.fail;
            qint32 next = child(fail, unit);
            while (next < 0 && fail != 0) {
                fail = m_nodes[size_t(fail)].fail;
                next = child(fail, unit);
            }
            m_nodes[size_t(node)].fail = next >= 0 && next != node ? next : 0;
            queue.push_back(node);
        }
    }
}

qint32 CrwlTermIndex::textFor(const QString& folded)
{
    qint32 node = 0;
    for (const QChar unit : folded) {
        const quint64 edge = quint64(node) << 16 | unit.unicode();
        const auto found = m_edges.constFind(edge);
        if (found != m_edges.cend()) {
            node = *found;
            continue;
        }
        m_nodes.emplace_back();
        node = qint32(m_nodes.size() - 1);
        m_edges.insert(edge, node);
    }
    if (m_nodes[size_t(node)].text < 0) {
        m_nodes[size_t(node)].text = qint32(m_texts.size());
        m_texts.emplace_back();
    }
    return m_nodes[size_t(node)].text;
}

qint32 CrwlTermIndex::child(qint32 node, char16_t unit) const
{
    return m_edges.value(quint64(node) << 16 | unit, -1);
}

bool CrwlTermIndex::scan(QStringView string, bool plainOnly, std::vector<qint32>& found) const
{
    qint32 node = 0;
    for (const QChar character : string) {
        const char16_t unit = folded(character.unicode());
        qint32 next = child(node, unit);
        while (next < 0 && node != 0) {
            node = m_nodes[size_t(node)].fail;
            next = child(node, unit);
        }
        node = next < 0 ? 0 : next;
        const Node& here = m_nodes[size_t(node)];
        if (here.literal)
            return true;
        for (qint32 out = here.output; out >= 0;) {
            const Node& ending = m_nodes[size_t(out)];
            if (!plainOnly || m_texts[size_t(ending.text)].negated >= 0)
                found.push_back(ending.text);
            out = m_nodes[size_t(ending.fail)].output;
        }
    }
    return false;
}

bool CrwlTermIndex::matches(QStringView string) const
{
    // A null string holds no term: only negated ones are satisfied.
    if (string.isNull())
        return !m_negated.empty() || m_negatedWildcards > 0;
    if (m_matchesAll)
        return true;
    if (m_nodes.size() < 2)
        return false;
    std::vector<qint32> found;
    if (scan(string, false, found))
        return true;
    std::sort(found.begin(), found.end());
    found.erase(std::unique(found.begin(), found.end()), found.end());
    // Terms with "*" are tried when their longest piece occurs.
    qsizetype negatedWildcardsTried = 0;
    for (const qint32 text : found) {
        for (const qint32 wildcard : m_texts[size_t(text)].wildcards) {
            negatedWildcardsTried += m_wildcardNegated[size_t(wildcard)] ? 1 : 0;
            if (CrwlPatternMatcher::stringMatchesPattern(string, m_wildcards[size_t(wildcard)]))
                return true;
        }
    }
    if (negatedWildcardsTried < m_negatedWildcards)
        return true; // a negated term with "*" whose longest piece is missing
    // A term without "*" that is not found is also looked for in the percent-decoded string.
    if (string.contains(u'%')) {
        if (const std::optional<QString> decoded = crawlmere::platform::strings::removingPercentEncoding(string)) {
            if (scan(*decoded, true, found))
                return true;
        }
    }
    if (m_negated.empty())
        return false;
    std::sort(found.begin(), found.end());
    found.erase(std::unique(found.begin(), found.end()), found.end());
    qsizetype negatedFound = 0;
    for (const qint32 text : found)
        negatedFound += m_texts[size_t(text)].negated >= 0 ? 1 : 0;
    return negatedFound < qsizetype(m_negated.size()); // a negated term's text is missing
}
