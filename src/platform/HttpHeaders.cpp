#include "platform/HttpHeaders.h"

namespace crawlmere::platform {

namespace {

    char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

    QString decodeHeaderText(const QByteArray& bytes)
    {
        QString text = QString::fromUtf8(bytes);
        if (text.contains(QChar::ReplacementCharacter) && !bytes.contains("\xEF\xBF\xBD"))
            return QString::fromLatin1(bytes);
        return text;
    }

} // namespace

bool HttpHeaders::namesEqual(const QByteArray& a, const QByteArray& b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (lowerAscii(a[i]) != lowerAscii(b[i]))
            return false;
    }
    return true;
}

void HttpHeaders::add(const QByteArray& name, const QByteArray& value) { m_fields.append({ name, value }); }

void HttpHeaders::set(const QByteArray& name, const QByteArray& value)
{
    qsizetype first = -1;
    for (qsizetype i = 0; i < m_fields.size();) {
        if (namesEqual(m_fields[i].first, name)) {
            if (first < 0) {
                first = i;
                m_fields[i].second = value;
                ++i;
            } else {
                m_fields.removeAt(i);
            }
        } else {
            ++i;
        }
    }
    if (first < 0)
        m_fields.append({ name, value });
}

void HttpHeaders::appendToLastValue(const QByteArray& continuation)
{
    if (m_fields.isEmpty())
        return;
    QByteArray& value = m_fields.last().second;
    if (!value.isEmpty())
        value += ' ';
    value += continuation;
}

void HttpHeaders::remove(const QByteArray& name)
{
    m_fields.removeIf([&](const Field& field) { return namesEqual(field.first, name); });
}

bool HttpHeaders::contains(const QByteArray& name) const
{
    for (const Field& field : m_fields) {
        if (namesEqual(field.first, name))
            return true;
    }
    return false;
}

QByteArray HttpHeaders::value(const QByteArray& name) const
{
    QByteArray joined;
    bool found = false;
    for (const Field& field : m_fields) {
        if (!namesEqual(field.first, name))
            continue;
        if (found)
            joined += ", ";
        else
            joined = QByteArray(""); // present: empty, not null
        joined += field.second;
        found = true;
    }
    return joined;
}

QString HttpHeaders::text(const QByteArray& name) const
{
    if (!contains(name))
        return {};
    return decodeHeaderText(value(name));
}

QList<QByteArray> HttpHeaders::values(const QByteArray& name) const
{
    QList<QByteArray> result;
    for (const Field& field : m_fields) {
        if (namesEqual(field.first, name))
            result.append(field.second);
    }
    return result;
}

QString HttpHeaders::toString() const
{
    QStringList lines;
    lines.reserve(m_fields.size());
    for (const Field& field : m_fields)
        lines.append(QString::fromLatin1(field.first) + QStringLiteral(": ") + decodeHeaderText(field.second));
    return lines.join(QLatin1Char('\n'));
}

} // namespace crawlmere::platform
