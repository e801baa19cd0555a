// An owner for URL records in tests: files records as the hub does and keeps what it is told.
#pragma once

#include "engine/CrwlURLDelegate.h"
#include "engine/CrwlUrl.h"

#include <QString>
#include <QVariantMap>

#include <map>
#include <memory>
#include <utility>
#include <vector>

namespace crawlmere::test {

class RecordingOwner : public CrwlURLDelegate {
public:
    /// Files the record under its prepared key, replacing an earlier entry, as the hub does.
    void addToLookup(const std::shared_ptr<CrwlUrl>& record, const QString& key) override
    {
        lookupCalls.emplace_back(record, key);
        if (record && !key.isEmpty())
            lookup[record->prepareUrlForLookup(key)] = record;
    }
    void sendWarningToWarningsManager(const QString& warning, const std::shared_ptr<CrwlUrl>& record) override
    {
        warningRecords.emplace_back(warning, record);
    }

    std::vector<std::pair<std::shared_ptr<CrwlUrl>, QString>> lookupCalls;
    std::map<QString, std::shared_ptr<CrwlUrl>> lookup;
    std::vector<std::pair<QString, std::shared_ptr<CrwlUrl>>> warningRecords;
};

/// A settings dictionary with the given values; the rest is completed by the first record.
inline std::shared_ptr<CrawlSettings> makeSettings(const QVariantMap& values = {})
{
    return std::make_shared<CrawlSettings>(values);
}

} // namespace crawlmere::test
