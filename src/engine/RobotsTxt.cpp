// robots.txt rules compiled into a trie of their literal beginnings, matched against the path
// and query of an address in one percent-encoded form.
#include "engine/RobotsTxt.h"

#include "platform/Strings.h"

#include <algorithm>
#include <array>
#include <deque>

namespace {

constexpr std::array<char, 16> kHexDigits
    = { '0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'A', 'B', 'C', 'D', 'E', 'F' };

int hexValue(char c) { return crawlmere::platform::strings::hexDigitValue(static_cast<unsigned char>(c)); }

bool isUnreserved(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.'
        || c == '_' || c == '~';
}

/// The reserved characters of a URL that stand for themselves ("*" and "$" aside).
bool isPlainReserved(unsigned char c)
{
    switch (c) {
    case ':':
    case '/':
    case '?':
    case '#':
    case '[':
    case ']':
    case '@':
    case '!':
    case '&':
    case '\'':
    case '(':
    case ')':
    case '+':
    case ',':
    case ';':
    case '=':
        return true;
    default:
        return false;
    }
}

void appendEncoded(QString& out, unsigned char c)
{
    out.append(u'%');
    out.append(QLatin1Char(kHexDigits[c >> 4]));
    out.append(QLatin1Char(kHexDigits[c & 0xF]));
}

} // namespace

QString RobotsTxt::normalised(QStringView text, bool patternSyntax)
{
    const QByteArray bytes = text.toUtf8();
    QString out;
    out.reserve(bytes.size() + 8);
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c == '%' && i + 2 < bytes.size() && hexValue(bytes[i + 1]) >= 0 && hexValue(bytes[i + 2]) >= 0) {
            const auto octet = static_cast<unsigned char>(hexValue(bytes[i + 1]) * 16 + hexValue(bytes[i + 2]));
            if (isUnreserved(octet))
                out.append(QLatin1Char(static_cast<char>(octet)));
            else
                appendEncoded(out, octet);
            i += 2;
        } else if (isUnreserved(c) || isPlainReserved(c) || (patternSyntax && (c == '*' || c == '$'))) {
            out.append(QLatin1Char(static_cast<char>(c)));
        } else {
            appendEncoded(out, c);
        }
    }
    return out;
}

QString RobotsTxt::pathAndQueryOf(QStringView absoluteUrl, QString* authority)
{
    const qsizetype schemeEnd = absoluteUrl.indexOf(u"://");
    if (schemeEnd < 0)
        return {};
    const qsizetype start = schemeEnd + 3;
    qsizetype end = start;
    while (end < absoluteUrl.size() && absoluteUrl[end] != u'/' && absoluteUrl[end] != u'?' && absoluteUrl[end] != u'#')
        ++end;
    if (authority) {
        QStringView hostPort = absoluteUrl.mid(start, end - start);
        if (const qsizetype at = hostPort.lastIndexOf(u'@'); at >= 0)
            hostPort = hostPort.mid(at + 1);
        const QStringView scheme = absoluteUrl.left(schemeEnd);
        if ((scheme.compare(u"http", Qt::CaseInsensitive) == 0 && hostPort.endsWith(u":80"))
            || (scheme.compare(u"https", Qt::CaseInsensitive) == 0 && hostPort.endsWith(u":443")))
            hostPort = hostPort.left(hostPort.lastIndexOf(u':'));
        *authority = hostPort.toString().toLower();
    }
    QStringView rest = absoluteUrl.mid(end);
    if (const qsizetype hash = rest.indexOf(u'#'); hash >= 0)
        rest = rest.left(hash);
    if (rest.startsWith(u'/'))
        return rest.toString();
    return u'/' + rest.toString();
}

RobotsTxt::RobotsTxt(const QStringList& disallow, const QStringList& allow)
{
    auto add = [this](const QString& value, bool allowRule) {
        QString text = value.trimmed();
        if (text.isEmpty())
            return;
        if (!text.startsWith(u'/') && !text.startsWith(u'*'))
            text.prepend(u'/');
        Rule rule;
        rule.allow = allowRule;
        rule.pattern = normalised(text, /*patternSyntax=*/true);
        rule.length = rule.pattern.size();
        if (const qsizetype dollar = rule.pattern.indexOf(u'$'); dollar >= 0) {
            rule.anchored = true;
            rule.pattern.truncate(dollar);
            rule.length = dollar + 1;
        }
        const qsizetype star = rule.pattern.indexOf(u'*');
        rule.literal = star < 0;
        if (!rule.literal) {
            for (const QStringView piece : QStringView(rule.pattern).sliced(star).split(u'*', Qt::SkipEmptyParts))
                rule.pieces.push_back(addPiece(piece));
            std::sort(rule.pieces.begin(), rule.pieces.end());
            rule.pieces.erase(std::unique(rule.pieces.begin(), rule.pieces.end()), rule.pieces.end());
        }
        const QStringView beginning = QStringView(rule.pattern).left(star < 0 ? rule.pattern.size() : star);
        qint32 node = 0;
        for (const QChar unit : beginning) {
            qint32 next = child(node, unit.unicode());
            if (next < 0) {
                next = static_cast<qint32>(m_rulesAtNode.size());
                m_rulesAtNode.emplace_back();
                m_edges.insert(static_cast<quint64>(node) << 16 | unit.unicode(), next);
            }
            node = next;
        }
        m_rulesAtNode[node].push_back(static_cast<qint32>(m_rules.size()));
        m_rules.push_back(std::move(rule));
    };
    for (const QString& value : disallow)
        add(value, /*allowRule=*/false);
    for (const QString& value : allow)
        add(value, /*allowRule=*/true);
    linkPieces();
}

qint32 RobotsTxt::child(qint32 node, char16_t unit) const
{
    return m_edges.value(static_cast<quint64>(node) << 16 | unit, -1);
}

qint32 RobotsTxt::addPiece(QStringView piece)
{
    qint32 node = 0;
    for (const QChar unit : piece) {
        const quint64 edge = static_cast<quint64>(node) << 16 | unit.unicode();
        qint32 next = m_pieceEdges.value(edge, -1);
        if (next < 0) {
            next = static_cast<qint32>(m_pieceNodes.size());
            m_pieceNodes.emplace_back();
            m_pieceEdges.insert(edge, next);
        }
        node = next;
    }
    if (m_pieceNodes[size_t(node)].piece < 0)
        m_pieceNodes[size_t(node)].piece = m_pieceCount++;
    return m_pieceNodes[size_t(node)].piece;
}

void RobotsTxt::linkPieces()
{
    // Fail links breadth first, so a node's fail node is linked before it.
    std::vector<std::vector<std::pair<char16_t, qint32>>> children(m_pieceNodes.size());
    for (auto it = m_pieceEdges.cbegin(); it != m_pieceEdges.cend(); ++it)
        children[size_t(it.key() >> 16)].emplace_back(char16_t(it.key() & 0xFFFF), it.value());
    std::deque<qint32> queue { 0 };
    while (!queue.empty()) {
        const qint32 parent = queue.front();
        queue.pop_front();
        PieceNode& node = m_pieceNodes[size_t(parent)];
        node.output = node.piece >= 0 ? parent : (parent == 0 ? -1 : m_pieceNodes[size_t(node.fail)].output);
        for (const auto& [unit, next] : children[size_t(parent)]) {
            qint32 fail = parent == 0 ? -1 : node.fail;
            qint32 target = -1;
            while (fail >= 0 && (target = m_pieceEdges.value(static_cast<quint64>(fail) << 16 | unit, -1)) < 0)
                fail = fail == 0 ? -1 : m_pieceNodes[size_t(fail)].fail;
            m_pieceNodes[size_t(next)].fail = target >= 0 ? target : 0;
            queue.push_back(next);
        }
    }
}

void RobotsTxt::findPieces(QStringView path, std::vector<bool>& found) const
{
    found.assign(size_t(m_pieceCount), false);
    qint32 node = 0;
    for (const QChar character : path) {
        const char16_t unit = character.unicode();
        qint32 next = m_pieceEdges.value(static_cast<quint64>(node) << 16 | unit, -1);
        while (next < 0 && node != 0) {
            node = m_pieceNodes[size_t(node)].fail;
            next = m_pieceEdges.value(static_cast<quint64>(node) << 16 | unit, -1);
        }
        node = next < 0 ? 0 : next;
        // A piece found before had its whole output chain found with it: stop there, so each
        // piece is marked once.
        for (qint32 out = m_pieceNodes[size_t(node)].output; out >= 0;) {
            const PieceNode& ending = m_pieceNodes[size_t(out)];
            if (found[size_t(ending.piece)])
                break;
            found[size_t(ending.piece)] = true;
            out = m_pieceNodes[size_t(ending.fail)].output;
        }
    }
}

bool RobotsTxt::matches(const Rule& rule, QStringView path)
{
    if (rule.literal)
        return !rule.anchored || path.size() == rule.pattern.size();
    // "*" runs: the last one met absorbs one more character each time the rest fails, which
    // bounds the work by the product of the two lengths.
    const QStringView pattern = rule.pattern;
    qsizetype i = 0;
    qsizetype j = 0;
    qsizetype starAt = -1;
    qsizetype resumeAt = 0;
    while (true) {
        if (j == pattern.size() && (!rule.anchored || i == path.size()))
            return true;
        if (j < pattern.size() && pattern[j] == u'*') {
            starAt = j++;
            resumeAt = i;
        } else if (j < pattern.size() && i < path.size() && pattern[j] == path[i]) {
            ++i;
            ++j;
        } else if (starAt >= 0 && resumeAt < path.size()) {
            j = starAt + 1;
            i = ++resumeAt;
        } else {
            return false;
        }
    }
}

RobotsTxt::Verdict RobotsTxt::verdict(QStringView pathAndQuery, qsizetype* starMatchesRun) const
{
    if (m_rules.empty())
        return Verdict::NoDisallowMatches;
    if (const qsizetype hash = pathAndQuery.indexOf(u'#'); hash >= 0)
        pathAndQuery = pathAndQuery.left(hash);
    const QString path = normalised(pathAndQuery, /*patternSyntax=*/false);
    if (path == u"/robots.txt")
        return Verdict::NoDisallowMatches;
    qsizetype longestAllow = 0;
    qsizetype longestDisallow = 0;
    // The pieces the address holds, found once, when a rule with pieces is first met.
    std::vector<bool> found;
    bool piecesFound = false;
    auto holdsPieces = [&](const Rule& rule) {
        if (rule.pieces.empty())
            return true;
        if (!piecesFound) {
            findPieces(path, found);
            piecesFound = true;
        }
        return std::all_of(rule.pieces.begin(), rule.pieces.end(), [&](qint32 piece) { return found[size_t(piece)]; });
    };
    auto tryRulesAt = [&](qint32 node) {
        for (const qint32 index : m_rulesAtNode[node]) {
            const Rule& rule = m_rules[index];
            qsizetype& longest = rule.allow ? longestAllow : longestDisallow;
            if (rule.length <= longest || !holdsPieces(rule))
                continue;
            if (starMatchesRun && !rule.literal)
                ++*starMatchesRun;
            if (matches(rule, path))
                longest = rule.length;
        }
    };
    qint32 node = 0;
    tryRulesAt(node);
    for (const QChar unit : path) {
        node = child(node, unit.unicode());
        if (node < 0)
            break;
        tryRulesAt(node);
    }
    if (longestDisallow == 0)
        return Verdict::NoDisallowMatches;
    return longestAllow >= longestDisallow ? Verdict::AllowedOverDisallow : Verdict::Disallowed;
}
