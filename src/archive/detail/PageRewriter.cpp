// One pass over an exported page's markup: tags, their attributes and values, with comments,
// scripts and style elements passed over whole.
#include "archive/detail/PageRewriter.h"

#include "parsing/CrwlParser.h"

#include <algorithm>
#include <array>

namespace crawlmere::archive::detail {

namespace {

bool isSpace(QChar c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f'; }
bool isAsciiLetter(QChar c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }

/// Attributes whose whole value is one address.
bool holdsAddress(const QString& name)
{
    static const std::array<QStringView, 20> names { u"href", u"src", u"action", u"formaction", u"poster",
        u"background", u"data", u"cite", u"longdesc", u"usemap", u"codebase", u"icon", u"manifest", u"lowsrc",
        u"data-src", u"data-original", u"data-orig-src", u"data-lazy-src", u"data-href", u"xlink:href" };
    return std::find(names.cbegin(), names.cend(), name) != names.cend();
}
bool holdsSourceSet(const QString& name)
{
    return name == u"srcset" || name == u"data-srcset" || name == u"imagesrcset";
}

/// Elements whose content is not markup: it is passed over up to the element's end tag.
bool holdsRawText(const QString& name)
{
    return name == u"script" || name == u"style" || name == u"textarea" || name == u"title" || name == u"xmp";
}

/// A replacement as an attribute value quoted with `quote` (none: unquoted) writes it: "&" and the
/// quote as references; an unquoted value that would end early, or read otherwise, is quoted.
QString attributeText(const QString& value, QChar quote, bool* needsQuotes)
{
    QString text;
    text.reserve(value.size() + 8);
    *needsQuotes = false;
    for (const QChar c : value) {
        if (c == u'&')
            text += QStringLiteral("&amp;");
        else if (c == u'"' && quote != u'\'')
            text += QStringLiteral("&quot;");
        else if (c == u'\'' && quote == u'\'')
            text += QStringLiteral("&#39;");
        else
            text += c;
        if (quote.isNull()
            && (isSpace(c) || c == u'"' || c == u'\'' || c == u'=' || c == u'<' || c == u'>' || c == u'`'))
            *needsQuotes = true;
    }
    if (quote.isNull() && text.isEmpty())
        *needsQuotes = true;
    return text;
}

/// The rewriting of one text: the parts of it kept as they are, and the replaced values between.
class Rewrite {
public:
    Rewrite(const QString& source, const LinkReplacement& replacement)
        : text(source)
        , n(source.size())
        , replacementFor(replacement)
    {
    }

    QString run()
    {
        qsizetype i = 0;
        while (i < n) {
            const qsizetype lt = text.indexOf(u'<', i);
            if (lt < 0 || lt + 1 >= n)
                break;
            i = markupAt(lt);
        }
        if (from == 0)
            return text;
        out += QStringView(text).mid(from);
        return out;
    }

private:
    /// Reads the markup that begins with the "<" at `lt`; the place behind it.
    qsizetype markupAt(qsizetype lt)
    {
        const QChar next = text.at(lt + 1);
        if (QStringView(text).mid(lt, 4) == u"<!--") {
            // "<!-->", "<!--->", "-->" and "--!>" end a comment.
            for (qsizetype at = text.indexOf(QStringLiteral("--"), lt + 2); at >= 0;
                 at = text.indexOf(QStringLiteral("--"), at + 1)) {
                if (at + 2 < n && text.at(at + 2) == u'>')
                    return at + 3;
                if (at + 3 < n && text.at(at + 2) == u'!' && text.at(at + 3) == u'>')
                    return at + 4;
            }
            return n;
        }
        if (next == u'!' || next == u'?' || next == u'/') {
            const qsizetype end = text.indexOf(u'>', lt + 2);
            return end < 0 ? n : end + 1;
        }
        if (!isAsciiLetter(next))
            return lt + 1;
        qsizetype j = lt + 1;
        while (j < n && !isSpace(text.at(j)) && text.at(j) != u'/' && text.at(j) != u'>')
            ++j;
        const QString name = text.mid(lt + 1, j - lt - 1).toLower();
        if (name == u"base") {
            // The copy's links are relative to its own files: a base element would send them,
            // and what they load, back to the site. It goes whole, attributes and all.
            out += QStringView(text).mid(from, lt - from);
            dropping = true;
            from = attributesFrom(j);
            dropping = false;
            return from;
        }
        j = attributesFrom(j);
        if (j < n && holdsRawText(name)) {
            // Up to "</name", in any case.
            const QString end = QStringLiteral("</") + name;
            for (qsizetype at = text.indexOf(end, j, Qt::CaseInsensitive); at >= 0;
                 at = text.indexOf(end, at + 1, Qt::CaseInsensitive)) {
                const qsizetype behind = at + end.size();
                if (behind >= n || isSpace(text.at(behind)) || text.at(behind) == u'>' || text.at(behind) == u'/')
                    return at;
            }
            return n;
        }
        return j;
    }

    /// Reads the attributes of a start tag from `j` through its ">"; the place behind it.
    qsizetype attributesFrom(qsizetype j)
    {
        for (;;) {
            while (j < n && (isSpace(text.at(j)) || text.at(j) == u'/'))
                ++j;
            if (j >= n)
                return n;
            if (text.at(j) == u'>')
                return j + 1;
            const qsizetype nameStart = j;
            ++j; // a name may begin with "="
            while (j < n && !isSpace(text.at(j)) && text.at(j) != u'/' && text.at(j) != u'>' && text.at(j) != u'=')
                ++j;
            const QString name = text.mid(nameStart, j - nameStart).toLower();
            qsizetype k = j;
            while (k < n && isSpace(text.at(k)))
                ++k;
            if (k >= n || text.at(k) != u'=')
                continue; // no value
            ++k;
            while (k < n && isSpace(text.at(k)))
                ++k;
            if (k >= n)
                return n;
            const QChar quote = text.at(k);
            if (quote == u'"' || quote == u'\'') {
                const qsizetype close = text.indexOf(quote, k + 1);
                if (close < 0)
                    return n; // runs to the end of the page: a browser reads no value here
                value(name, k + 1, close, quote);
                j = close + 1;
            } else {
                qsizetype end = k;
                while (end < n && !isSpace(text.at(end)) && text.at(end) != u'>')
                    ++end;
                value(name, k, end, QChar());
                j = end;
            }
        }
    }

    /// One attribute value, [start, end) of the text, quoted with `quote` (none when unquoted).
    void value(const QString& name, qsizetype start, qsizetype end, QChar quote)
    {
        if (dropping)
            return;
        if (holdsAddress(name)) {
            // A source on the page's own scheme ("//host/x") would be read as a file of the copy:
            // one left to the web is given "https:".
            if (!replace(start, end, quote, /*inCss=*/false) && name == u"src"
                && QStringView(text).mid(start, end - start).startsWith(u"//")) {
                out += QStringView(text).mid(from, start - from);
                out += u"https:";
                from = start;
            }
        } else if (holdsSourceSet(name)) {
            // Candidates split at ",": an address (trailing commas not its own), then descriptors
            // up to the next ",".
            for (qsizetype at = start; at < end;) {
                while (at < end && (isSpace(text.at(at)) || text.at(at) == u','))
                    ++at;
                qsizetype past = at;
                while (past < end && !isSpace(text.at(past)))
                    ++past;
                qsizetype address = past;
                while (address > at && text.at(address - 1) == u',')
                    --address;
                if (address > at)
                    replace(at, address, quote, /*inCss=*/false);
                if (address < past) {
                    at = past;
                    continue;
                }
                const qsizetype comma = QStringView(text).mid(past, end - past).indexOf(u',');
                if (comma < 0)
                    break;
                at = past + comma + 1;
            }
        } else if (name == u"content") {
            // A meta refresh: "5; url=/next", the address perhaps quoted.
            const QStringView content = QStringView(text).mid(start, end - start);
            const qsizetype url = content.indexOf(u"url", 0, Qt::CaseInsensitive);
            // An address on its own first (a page's image), then a refresh's.
            if (replace(start, end, quote, /*inCss=*/false) || url < 0)
                return;
            qsizetype at = start + url + 3;
            while (at < end && isSpace(text.at(at)))
                ++at;
            if (at >= end || text.at(at) != u'=')
                return;
            ++at;
            while (at < end && (isSpace(text.at(at)) || text.at(at) == u'"' || text.at(at) == u'\''))
                ++at;
            qsizetype past = end;
            while (past > at && (isSpace(text.at(past - 1)) || text.at(past - 1) == u'"' || text.at(past - 1) == u'\''))
                --past;
            if (past > at)
                replace(at, past, quote, /*inCss=*/false);
        } else if (name == u"style") {
            const QString style = text.mid(start, end - start);
            for (qsizetype next = 0;;) {
                const auto [argument, length] = CrwlParser::firstURLOccurrenceInStyleSheetSource(style, next);
                if (argument < 0)
                    break;
                next = argument + length + 1;
                qsizetype first = argument;
                qsizetype past = argument + length;
                while (first < past && (style.at(first) == u' ' || style.at(first) == u'"' || style.at(first) == u'\''))
                    ++first;
                while (past > first
                    && (style.at(past - 1) == u' ' || style.at(past - 1) == u'"' || style.at(past - 1) == u'\''))
                    --past;
                if (past > first)
                    replace(start + first, start + past, quote, /*inCss=*/true);
            }
        }
    }

    /// Replaces the link [start, end) of an attribute value quoted with `quote` when it is one;
    /// YES when it was.
    bool replace(qsizetype start, qsizetype end, QChar quote, bool inCss)
    {
        const QString replacement = replacementFor(decodedLinkValue(QStringView(text).mid(start, end - start)));
        if (replacement.isNull())
            return false;
        bool needsQuotes = false;
        const QString written = attributeText(inCss ? cssArgumentText(replacement) : replacement, quote, &needsQuotes);
        out += QStringView(text).mid(from, start - from);
        if (needsQuotes && !inCss)
            out += u'"' + written + u'"';
        else
            out += written;
        from = end;
        return true;
    }

    const QString& text;
    const qsizetype n;
    const LinkReplacement& replacementFor;
    QString out;
    qsizetype from = 0; ///< the text before this place is in `out`
    bool dropping = false; ///< reading the attributes of a tag that is left out
};

} // namespace

QString cssArgumentText(const QString& value)
{
    QString text;
    text.reserve(value.size());
    for (const QChar c : value) {
        switch (c.unicode()) {
        case u' ':
            text += QStringLiteral("%20");
            break;
        case u'"':
            text += QStringLiteral("%22");
            break;
        case u'\'':
            text += QStringLiteral("%27");
            break;
        case u'(':
            text += QStringLiteral("%28");
            break;
        case u')':
            text += QStringLiteral("%29");
            break;
        case u'\\':
            text += QStringLiteral("%5C");
            break;
        default:
            text += c;
        }
    }
    return text;
}

QString decodedLinkValue(QStringView raw)
{
    QString value = CrwlParser::unescapeEntities(raw.toString());
    value.remove(u'\r');
    value.remove(u'\n');
    return value.trimmed();
}

QString rewritePageLinks(const QString& text, const LinkReplacement& replacementFor)
{
    return Rewrite(text, replacementFor).run();
}

} // namespace crawlmere::archive::detail
