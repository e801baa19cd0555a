// The parsers' reads of the application defaults, and their verbosity-gated log.
#pragma once

#include "platform/DefaultsKeys.h"

#include <QString>
#include <QVariant>
#include <QVariantMap>

namespace crawlmere::parsing::detail {

/// The value stored for `key`, or an invalid QVariant when the key is absent.
/// The parsers read the defaults only through these functions: a process-wide override table
/// (filled by tests with `setParserDefaults`) first, then the application's standard defaults
/// store. Safe from any thread.
QVariant defaultsObject(const QString& key);
/// The value read as every stored switch is (`platform::boolValue`); absent keys read as NO.
bool defaultsBool(const QString& key);
/// The value read as every stored whole number is (`platform::integerValue`); absent keys read as 0.
qint64 defaultsInteger(const QString& key);

/// Replaces the whole override table.
void setParserDefaults(const QVariantMap& values);
/// Sets (or, with an invalid value, removes) one key.
void setParserDefault(const QString& key, const QVariant& value);

/// Writes `text` to standard error when the `verbosity` default is at least `minimumVerbosity`.
void parserLog(int minimumVerbosity, const QString& text);

} // namespace crawlmere::parsing::detail
