// One warning of a scan as the warnings table shows it: the page, its URL, the text and its type.
#pragma once

#include "engine/CrwlDataObject.h"

#include <QString>

#include <memory>

class CrwlUrl;

namespace crawlmere::reports {

/// A row of the warnings table. Its columns: "url", "warning" (the text as received, position
/// part included) and "type" (3 for a text starting "The server", 1 for "The page", else 2;
/// case-sensitive, at the very start). Main thread only.
class WarningRecord final : public CrwlDataObject {
public:
    WarningRecord(QString url, std::shared_ptr<CrwlUrl> lcurl, QString warning);

    /// The type of a warning text.
    static int typeOfWarning(const QString& warning);
    /// The text before the first " at line " (the whole text without one).
    static QString warningKey(const QString& warning);

    QString getFieldByName(const QString& key) const override;
    QVariant getSortValue(const QString& key) const override;

    const QString url;
    const std::shared_ptr<CrwlUrl> lcurl;
    const QString warning;
    const int type;
};

} // namespace crawlmere::reports
