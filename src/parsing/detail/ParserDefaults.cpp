// The parsers' defaults table and log.
#include "parsing/detail/ParserDefaults.h"

#include "platform/UserDefaults.h"

#include <QMutex>
#include <QMutexLocker>

#include <cstdio>
#include <utility>

namespace crawlmere::parsing::detail {

namespace {

QMutex& tableLock()
{
    static QMutex lock;
    return lock;
}

QVariantMap& table()
{
    static QVariantMap values;
    return values;
}

} // namespace

QVariant defaultsObject(const QString& key)
{
    {
        QMutexLocker locker(&tableLock());
        const auto it = std::as_const(table()).constFind(key);
        if (it != table().cend())
            return it.value();
    }
    return crawlmere::platform::UserDefaults::standard().objectForKey(key);
}

bool defaultsBool(const QString& key)
{
    const QVariant value = defaultsObject(key);
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool();
    case QMetaType::QString: {
        const QString text = value.toString().trimmed();
        if (text.isEmpty())
            return false;
        const QChar first = text.at(0);
        return first == u'Y' || first == u'y' || first == u'T' || first == u't' || (first >= u'1' && first <= u'9');
    }
    default:
        return value.isValid() && value.canConvert<double>() && value.toDouble() != 0.0;
    }
}

qint64 defaultsInteger(const QString& key)
{
    const QVariant value = defaultsObject(key);
    if (value.typeId() == QMetaType::QString) {
        const QString text = value.toString().trimmed();
        qsizetype end = 0;
        if (end < text.size() && (text.at(end) == u'-' || text.at(end) == u'+'))
            ++end;
        while (end < text.size() && text.at(end).isDigit() && text.at(end).unicode() < 0x80)
            ++end;
        return text.left(end).toLongLong();
    }
    return value.isValid() ? value.toLongLong() : 0;
}

void setParserDefaults(const QVariantMap& values)
{
    QMutexLocker locker(&tableLock());
    table() = values;
}

void setParserDefault(const QString& key, const QVariant& value)
{
    QMutexLocker locker(&tableLock());
    if (value.isValid())
        table().insert(key, value);
    else
        table().remove(key);
}

void parserLog(int minimumVerbosity, const QString& text)
{
    if (defaultsInteger(QStringLiteral("verbosity")) < minimumVerbosity)
        return;
    const QByteArray line = text.toUtf8();
    std::fprintf(stderr, "%s\n", line.constData());
}

} // namespace crawlmere::parsing::detail
