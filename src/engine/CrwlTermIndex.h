// A rule list read once and asked of many strings, as the robots.txt rules are of every link.
#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <vector>

/// Answers whether a string satisfies at least one term of a list, exactly as
/// CrwlTermsMatcher::stringContainsOneOfTheseTerms does (case-insensitive, literal, wildcards
/// on), but in time that grows with the string, not with the list: the terms' texts form one
/// automaton that a lookup runs through once (twice when the string holds "%", for the
/// percent-decoded search). Terms with "*" are tried only when their longest piece occurs.
/// Immutable once built; safe to share between threads.
class CrwlTermIndex {
public:
    CrwlTermIndex() = default;
    explicit CrwlTermIndex(const QStringList& terms);

    bool isEmpty() const { return !m_matchesAll && m_literal == 0 && m_negated.empty() && m_wildcards.empty(); }
    /// Whether `string` satisfies a term of the list.
    bool matches(QStringView string) const;

private:
    struct Node {
        qint32 fail = 0;
        // The nearest node on the fail chain (this one included) where a text ends, or -1.
        qint32 output = -1;
        // The text ending here, or -1.
        qint32 text = -1;
        // A plain term ends here or at a node on the fail chain.
        bool literal = false;
    };
    /// One distinct text of the automaton: a plain term, the rest of a negated one, or the
    /// longest piece of terms with "*".
    struct Text {
        bool literal = false;
        qint32 negated = -1; // index into m_negated
        std::vector<qint32> wildcards; // indexes into m_wildcards
    };
    qint32 textFor(const QString& folded);
    qint32 child(qint32 node, char16_t unit) const;
    /// Runs `string` through the automaton: true at once when a plain term occurs; else adds the
    /// texts found to `found` (with `plainOnly`, only those of negated terms without "*").
    bool scan(QStringView string, bool plainOnly, std::vector<qint32>& found) const;

    std::vector<Node> m_nodes;
    QHash<quint64, qint32> m_edges; // (node << 16 | folded unit) -> node
    std::vector<Text> m_texts;
    qsizetype m_literal = 0;
    std::vector<QString> m_negated; // negated terms without "*", "!" removed
    std::vector<QString> m_wildcards; // terms with "*", "!" kept
    std::vector<bool> m_wildcardNegated;
    qsizetype m_negatedWildcards = 0;
    bool m_matchesAll = false;
};
