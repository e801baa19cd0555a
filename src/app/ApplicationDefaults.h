// The application-wide registered defaults: one table of keys, types and values, registered at
// every launch, windowed or not.
#pragma once

#include "platform/DefaultsKeys.h"

#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <vector>

namespace crawlmere::platform {
class UserDefaults;
}

namespace crawlmere::app {

/// The type a registered default is stored and read as.
enum class DefaultType {
    Integer, ///< a qint64
    Boolean, ///< a bool
    String, ///< a QString
};

/// One row of the registered-defaults table.
struct RegisteredDefault {
    QString key;
    DefaultType type;
    QVariant value;
    /// The engine or the reports register this default and own its value (`engineDefaults`,
    /// `reportsDefaults`); the row only names it with its type.
    bool registeredByLibrary = false;
};

/// The 74 application defaults in table order. Built once; the reference stays valid for the
/// whole run. Any thread.
const std::vector<RegisteredDefault>& registeredDefaultsTable();

/// The table as one map, ready for `UserDefaults::registerDefaults`.
QVariantMap applicationDefaults();

/// Registers the engine's and the reports' defaults, then the table's own rows: each default is
/// registered once, by its owner. The user's own values keep winning. Main thread, at launch.
void registerApplicationDefaults(platform::UserDefaults& defaults);

/// What every launch does to the store, windowed or not: registers the defaults, then stores
/// `badLinksOnly` NO (the link views start with every link) and `htmlValidationEnabled` NO (this
/// build offers no validation report, so scans collect no validation warnings). A run-only
/// value given on the command line still hides the stored one. Main thread, at launch.
void prepareDefaultsForLaunch(platform::UserDefaults& defaults);

/// What a launch says, and then quits, when the defaults file is there but cannot be read
/// (`UserDefaults::readFailure`, given as `reason`): it is left as it is.
QString unreadableDefaultsText(const QString& reason);

/// Keys the shell writes at launch.
inline const QString kBadLinksOnlyKey = defaultsKey::badLinksOnly;
inline const QString kHtmlValidationEnabledKey = defaultsKey::htmlValidationEnabled;

} // namespace crawlmere::app
