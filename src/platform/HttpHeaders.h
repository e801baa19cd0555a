// An ordered list of HTTP header fields with case-insensitive lookup by name.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <utility>

namespace crawlmere::platform {

/// Header fields in the order they were added or received. Names compare without regard to
/// ASCII case; a name may occur more than once (several `Set-Cookie` fields, for example).
class HttpHeaders {
public:
    using Field = std::pair<QByteArray, QByteArray>;

    /// Appends a field, keeping any earlier field of the same name.
    void add(const QByteArray& name, const QByteArray& value);
    /// Replaces every field of that name by one field at the place of the first; appends
    /// when the name is new.
    void set(const QByteArray& name, const QByteArray& value);
    /// Adds a space and `continuation` to the value of the last field (a folded header line).
    /// Does nothing when there is no field.
    void appendToLastValue(const QByteArray& continuation);
    /// Removes every field of that name.
    void remove(const QByteArray& name);

    bool contains(const QByteArray& name) const;
    /// All values of that name joined by ", ", as a header block would combine them; a null
    /// array when the name is absent, an empty one when the field is present but empty.
    QByteArray value(const QByteArray& name) const;
    /// The value as text (UTF-8 when valid, else Latin-1); a null string when absent.
    QString text(const QByteArray& name) const;
    /// Every value of that name, in order.
    QList<QByteArray> values(const QByteArray& name) const;

    const QList<Field>& fields() const { return m_fields; }
    qsizetype size() const { return m_fields.size(); }
    bool isEmpty() const { return m_fields.isEmpty(); }
    void clear() { m_fields.clear(); }

    /// One "Name: value" line per field, joined by "\n": a readable form for diagnostics.
    QString toString() const;

    static bool namesEqual(const QByteArray& a, const QByteArray& b);

private:
    QList<Field> m_fields;
};

} // namespace crawlmere::platform
