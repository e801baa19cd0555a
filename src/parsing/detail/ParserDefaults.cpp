// The parsers' defaults table and log.
#include "parsing/detail/ParserDefaults.h"

#include "platform/StoredValue.h"
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

bool defaultsBool(const QString& key) { return crawlmere::platform::boolValue(defaultsObject(key)); }

qint64 defaultsInteger(const QString& key) { return crawlmere::platform::integerValue(defaultsObject(key)); }

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
    if (defaultsInteger(defaultsKey::verbosity) < minimumVerbosity)
        return;
    const QByteArray line = text.toUtf8();
    std::fprintf(stderr, "%s\n", line.constData());
}

} // namespace crawlmere::parsing::detail
