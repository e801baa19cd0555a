#include "platform/Strings.h"

#include <QRegularExpression>
#include <algorithm>

#include <QStringDecoder>

namespace crawlmere::platform::strings {

namespace {

// Collapses runs of "/" and drops a trailing "/" (but keeps a lone root "/").
QString fixingSlashes(const QString& path)
{
    // Most paths have nothing to fix and are handed back as they are, without a copy.
    const QChar* chars = path.constData();
    const qsizetype size = path.size();
    bool doubled = false;
    for (qsizetype i = 1; i < size && !doubled; ++i)
        doubled = chars[i] == u'/' && chars[i - 1] == u'/';
    if (size > 0 && !doubled && !(size > 1 && chars[size - 1] == u'/'))
        return path;

    QString result;
    result.reserve(size);
    for (QChar c : path) {
        if (c == u'/' && result.endsWith(u'/'))
            continue;
        result.append(c);
    }
    if (result.size() > 1 && result.endsWith(u'/'))
        result.chop(1);
    return result;
}

// Start of the last component in a string whose slashes are already fixed.
qsizetype startOfLastComponent(const QString& fixed)
{
    if (fixed == QLatin1String("/"))
        return 0;
    const qsizetype slash = fixed.lastIndexOf(u'/');
    return slash < 0 ? 0 : slash + 1;
}

// The character reference of a character the markup escapes write, or null.
QLatin1StringView markupReference(QChar c, bool apostrophe)
{
    switch (c.unicode()) {
    case u'&':
        return QLatin1StringView("&amp;");
    case u'<':
        return QLatin1StringView("&lt;");
    case u'>':
        return QLatin1StringView("&gt;");
    case u'"':
        return QLatin1StringView("&quot;");
    case u'\'':
        return apostrophe ? QLatin1StringView("&apos;") : QLatin1StringView();
    }
    return QLatin1StringView();
}

QString markupEscaped(const QString& text, bool apostrophe)
{
    qsizetype i = 0;
    while (i < text.size() && markupReference(text.at(i), apostrophe).isNull())
        ++i;
    if (i == text.size())
        return text;
    QString escaped = text.left(i);
    escaped.reserve(text.size() + 16);
    for (; i < text.size(); ++i) {
        const QLatin1StringView reference = markupReference(text.at(i), apostrophe);
        if (reference.isNull())
            escaped += text.at(i);
        else
            escaped += reference;
    }
    return escaped;
}

// Position of the "." that starts the extension in a fixed string, or -1.
qsizetype extensionDot(const QString& fixed)
{
    const qsizetype start = startOfLastComponent(fixed);
    const qsizetype dot = fixed.lastIndexOf(u'.');
    if (dot < start || dot == start || dot == fixed.size() - 1)
        return -1;
    return dot;
}

} // namespace

QString htmlEscaped(const QString& text) { return markupEscaped(text, /*apostrophe=*/false); }

QString xmlEscaped(const QString& text) { return markupEscaped(text, /*apostrophe=*/true); }

int hexDigitValue(char16_t c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::optional<QString> removingPercentEncoding(QStringView text)
{
    if (!text.contains(u'%'))
        return text.toString();
    QByteArray bytes;
    bytes.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c != u'%') {
            if (c.unicode() < 0x80) {
                bytes.append(static_cast<char>(c.unicode()));
            } else {
                // Characters that were never encoded pass through as their UTF-8 form.
                qsizetype length = 1;
                if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
                    length = 2;
                bytes.append(text.mid(i, length).toUtf8());
                i += length - 1;
            }
            continue;
        }
        if (i + 2 >= text.size())
            return std::nullopt;
        const int high = hexDigitValue(text[i + 1].unicode());
        const int low = hexDigitValue(text[i + 2].unicode());
        if (high < 0 || low < 0)
            return std::nullopt;
        bytes.append(static_cast<char>(high * 16 + low));
        i += 2;
    }
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString decoded = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return decoded;
}

qsizetype indexOfCaseInsensitive(QStringView haystack, QStringView needle, qsizetype from)
{
    if (needle.isEmpty() || from < 0 || from > haystack.size())
        return -1;
    return haystack.indexOf(needle, from, Qt::CaseInsensitive);
}

bool containsCaseInsensitive(QStringView haystack, QStringView needle)
{
    return indexOfCaseInsensitive(haystack, needle) >= 0;
}

bool hasPrefixCaseInsensitive(QStringView text, QStringView prefix)
{
    return !prefix.isEmpty() && text.startsWith(prefix, Qt::CaseInsensitive);
}

bool hasSuffixCaseInsensitive(QStringView text, QStringView suffix)
{
    return !suffix.isEmpty() && text.endsWith(suffix, Qt::CaseInsensitive);
}

QString trimmingWhitespaceAndNewlines(const QString& text) { return text.trimmed(); }

QString trimmingQuotesAndSpaces(QStringView text)
{
    const auto isTrimmed = [](QChar c) { return c == u'"' || c == u'\'' || c == u' '; };
    qsizetype start = 0;
    qsizetype end = text.size();
    while (start < end && isTrimmed(text.at(start)))
        ++start;
    while (end > start && isTrimmed(text.at(end - 1)))
        --end;
    return text.sliced(start, end - start).toString();
}

QString leftFittingUtf8Bytes(const QString& text, qsizetype maxBytes)
{
    qsizetype bytes = 0;
    qsizetype end = 0;
    while (end < text.size()) {
        const char16_t c = text.at(end).unicode();
        const bool pair = QChar::isHighSurrogate(c) && end + 1 < text.size() && text.at(end + 1).isLowSurrogate();
        const qsizetype width = pair ? 4 : c < 0x80 ? 1 : c < 0x800 ? 2 : 3;
        if (bytes + width > maxBytes)
            break;
        bytes += width;
        end += pair ? 2 : 1;
    }
    return end == text.size() ? text : text.left(end);
}

QString decodingXmlEntities(const QString& text)
{
    if (!text.contains(u'&'))
        return text;
    static const QRegularExpression entity(QStringLiteral("&(amp|lt|gt|quot|apos|#[0-9]{1,7}|#[xX][0-9a-fA-F]{1,6});"));
    QString out;
    out.reserve(text.size());
    qsizetype last = 0;
    auto it = entity.globalMatch(text);
    while (it.hasNext()) {
        const auto match = it.next();
        out += QStringView(text).mid(last, match.capturedStart() - last);
        const QString name = match.captured(1);
        if (name == u"amp")
            out += u'&';
        else if (name == u"lt")
            out += u'<';
        else if (name == u"gt")
            out += u'>';
        else if (name == u"quot")
            out += u'"';
        else if (name == u"apos")
            out += u'\'';
        else {
            bool ok = false;
            const bool hex = name.size() > 1 && (name.at(1) == u'x' || name.at(1) == u'X');
            const uint code = hex ? name.mid(2).toUInt(&ok, 16) : name.mid(1).toUInt(&ok, 10);
            if (ok && code > 0 && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF)) {
                const char32_t character = code;
                out += QString::fromUcs4(&character, 1);
            } else {
                out += match.captured(0);
            }
        }
        last = match.capturedEnd();
    }
    out += QStringView(text).mid(last);
    return out;
}

QStringList pathComponents(const QString& path)
{
    QStringList components;
    if (path.isEmpty())
        return components;
    if (path.startsWith(u'/'))
        components.append(QStringLiteral("/"));
    const QStringList pieces = path.split(u'/', Qt::SkipEmptyParts);
    components.append(pieces);
    if (path.size() > 1 && path.endsWith(u'/') && !pieces.isEmpty())
        components.append(QStringLiteral("/"));
    return components;
}

QString lastPathComponent(const QString& path)
{
    const QString fixed = fixingSlashes(path);
    return fixed.mid(startOfLastComponent(fixed));
}

QString pathExtension(const QString& path)
{
    // As `extensionDot` over `fixingSlashes(path)`, without making that string: runs of "/"
    // before the last component do not move it, and trailing ones are dropped.
    QStringView fixed(path);
    while (fixed.size() > 1 && fixed.endsWith(u'/'))
        fixed.chop(1);
    const qsizetype slash = fixed.lastIndexOf(u'/');
    const qsizetype start = slash < 0 ? 0 : slash + 1;
    const qsizetype dot = fixed.lastIndexOf(u'.');
    if (dot < start || dot == start || dot == fixed.size() - 1)
        return QStringLiteral("");
    return fixed.mid(dot + 1).toString();
}

QString deletingLastPathComponent(const QString& path)
{
    const QString fixed = fixingSlashes(path);
    if (fixed == QLatin1String("/"))
        return fixed;
    const qsizetype slash = fixed.lastIndexOf(u'/');
    if (slash < 0)
        return QStringLiteral("");
    if (slash == 0)
        return QStringLiteral("/");
    return fixed.left(slash);
}

QString deletingPathExtension(const QString& path)
{
    const QString fixed = fixingSlashes(path);
    const qsizetype dot = extensionDot(fixed);
    return dot < 0 ? fixed : fixed.left(dot);
}

QString appendingPathComponent(const QString& path, const QString& component)
{
    if (path.isEmpty())
        return fixingSlashes(component);
    QString joined = path;
    if (!joined.endsWith(u'/'))
        joined.append(u'/');
    joined.append(component.startsWith(u'/') ? component.mid(1) : component);
    return fixingSlashes(joined);
}

bool rangeIsWithinCodeOf(qsizetype start, qsizetype length, QStringView text)
{
    const qsizetype size = text.size();
    if (size == 0)
        return false;
    start = std::clamp<qsizetype>(start, 0, size - 1);
    for (qsizetype i = start; i >= 0; --i) {
        if (text[i] == u'<')
            return true;
        if (text[i] == u'>')
            break;
    }
    for (qsizetype i = start + std::max<qsizetype>(length, 0); i < size; ++i) {
        if (text[i] == u'>')
            return true;
        if (text[i] == u'<')
            return false;
    }
    return false;
}

} // namespace crawlmere::platform::strings
