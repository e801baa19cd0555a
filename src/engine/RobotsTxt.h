// The Allow and Disallow rules a site's robots.txt sets for this crawler, compiled once and
// asked of every address of the scan.
#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <vector>

/// robots.txt rules as RFC 9309 reads them:
///  - a rule matches the path and query of an address (never its fragment) from their start,
///    case-sensitively; "*" stands for any run of characters, and "$" ends the pattern: the
///    address must end where the pattern does (what follows a "$" is not part of the rule);
///  - both sides are compared in one form (`normalised`): percent-encoded octets with
///    upper-case hex digits, the unreserved characters (letters, digits, "-", ".", "_", "~")
///    decoded, every other octet that is not a plain ASCII URL character encoded. So
///    "/caf%c3%a9", "/café" and "/caf%C3%A9" are one address, and "%2A" and "%24" in a rule
///    match a literal "*" and "$" of an address;
///  - of the rules that match, the longest decides, and an Allow wins a tie;
///  - "/robots.txt" itself is always allowed; an empty rule matches nothing; a rule that starts
///    with neither "/" nor "*" is read as if "/" stood before it.
/// Lookups take time that grows with the address and with the rules sharing its literal
/// beginning, not with the whole list; a rule with "*" is tried only when one pass of an
/// automaton over every rule's literal pieces finds each piece of that rule in the address, so a
/// rule whose pieces are missing never runs its star match, whatever the other rules find.
/// Immutable once built; safe to share between threads.
class RobotsTxt {
public:
    enum class Verdict {
        NoDisallowMatches, ///< no Disallow rule matches
        Disallowed, ///< a Disallow rule matches and no Allow rule as long or longer
        AllowedOverDisallow, ///< a Disallow rule matches, but an Allow rule as long or longer too
    };

    RobotsTxt() = default;
    /// The rules of `disallow` and `allow` values as robots.txt gives them (untrimmed; empty
    /// values are dropped).
    RobotsTxt(const QStringList& disallow, const QStringList& allow);

    bool isEmpty() const { return m_rules.empty(); }
    /// How the rules rule an address given as its path and query ("/a/b?x=1"; a fragment is
    /// cut), in any mix of encoded and decoded characters. `starMatchesRun`, when given, is
    /// raised by the number of rules with "*" whose match was run (the costly part of a lookup).
    Verdict verdict(QStringView pathAndQuery, qsizetype* starMatchesRun = nullptr) const;

    /// The path and query of an absolute address ("http://h:81/a?b#c" gives "/a?b"; "/" when
    /// the path is empty); the authority (host and port, lower-cased, userinfo cut) goes to
    /// `authority` when given. Null for a string without "://".
    static QString pathAndQueryOf(QStringView absoluteUrl, QString* authority = nullptr);
    /// The form rules and addresses are compared in (see the class comment). With
    /// `patternSyntax`, "*" and "$" stay as they are (a rule's wildcard and end mark); without,
    /// they are encoded, as literal characters of an address.
    static QString normalised(QStringView text, bool patternSyntax);

private:
    struct Rule {
        QString pattern; // normalised, without its "$"
        qsizetype length = 0; // the rule's length as written in the normalised form, "$" included
        bool allow = false;
        bool anchored = false; // the address must end where the pattern does
        bool literal = false; // no "*": the match is settled by the prefix alone
        // With "*": the pieces after the literal beginning (between and after the stars), as
        // indexes into the piece automaton; the address must hold each of them.
        std::vector<qint32> pieces;
    };
    static bool matches(const Rule& rule, QStringView path);
    qint32 child(qint32 node, char16_t unit) const;
    qint32 addPiece(QStringView piece);
    void linkPieces();
    /// Marks in `found` the pieces the address holds; one pass over it.
    void findPieces(QStringView path, std::vector<bool>& found) const;

    std::vector<Rule> m_rules;
    // A trie of the rules' literal beginnings (the text before their first "*"): a lookup walks
    // the address once and tries only the rules whose beginning it passes.
    std::vector<std::vector<qint32>> m_rulesAtNode { {} };
    QHash<quint64, qint32> m_edges; // (node << 16 | unit) -> node
    // The literal pieces of the rules with "*", as one automaton (Aho-Corasick): a node per
    // piece prefix, its fail link, and the nearest node on the fail chain where a piece ends.
    struct PieceNode {
        qint32 fail = 0;
        qint32 output = -1;
        qint32 piece = -1;
    };
    std::vector<PieceNode> m_pieceNodes { {} };
    QHash<quint64, qint32> m_pieceEdges; // (node << 16 | unit) -> node
    qint32 m_pieceCount = 0;
};
