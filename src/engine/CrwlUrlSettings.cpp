// The crawl-settings dictionary, made from the table of crawl settings: every key with its default
// or its type, and the completion of a scan's shared dictionary with the defaults it lacks.
#include "engine/CrwlUrl.h"

#include "engine/CrawlSettingTable.h"
#include "platform/UserDefaults.h"

namespace {

QVariantMap makeDefaultCrawlSettings()
{
    QVariantMap d;
    for (const crawlmere::engine::CrawlSetting& setting : crawlmere::engine::crawlSettingTable())
        if (setting.defaultValue.isValid())
            d.insert(setting.key, setting.defaultValue);
    return d;
}

/// Every crawl setting with its default, or a value of the type it takes when it has none.
QVariantMap makeCrawlSettingModels()
{
    QVariantMap m;
    for (const crawlmere::engine::CrawlSetting& setting : crawlmere::engine::crawlSettingTable())
        m.insert(setting.key,
            setting.defaultValue.isValid() ? setting.defaultValue : QVariant(QMetaType(setting.type)));
    return m;
}

/// Built once: a record is made for every link of a scan, and each completes the dictionary.
const QVariantMap& cachedDefaultCrawlSettings()
{
    static const QVariantMap defaults = makeDefaultCrawlSettings();
    return defaults;
}

} // namespace

QVariantMap CrwlUrl::defaultCrawlSettings()
{
    // Implicitly shared: the caller's first change makes its own copy.
    return cachedDefaultCrawlSettings();
}

QVariantMap CrwlUrl::crawlSettingModels()
{
    static const QVariantMap models = makeCrawlSettingModels();
    return models;
}

QVariantMap CrwlUrl::applicationCrawlSettings(const crawlmere::platform::UserDefaults& defaults)
{
    QVariantMap settings;
    for (const crawlmere::engine::CrawlSetting& setting : crawlmere::engine::crawlSettingTable()) {
        if (!setting.applicationWide)
            continue;
        const QVariant value = defaults.objectForKey(setting.key);
        if (value.isValid() && !crawlmere::engine::readsAsAbsent(setting, value))
            settings.insert(setting.key, value);
    }
    return settings;
}

QVariantMap CrwlUrl::scanSettingsFor(const QVariantMap& site, const crawlmere::platform::UserDefaults& defaults)
{
    CrawlSettings settings(site);
    completeScanSettings(settings, defaults);
    return settings.snapshot();
}

void CrwlUrl::completeScanSettings(CrawlSettings& settings, const crawlmere::platform::UserDefaults& defaults)
{
    for (const crawlmere::engine::CrawlSetting& setting : crawlmere::engine::crawlSettingTable()) {
        if (crawlmere::engine::readsAsAbsent(setting, settings.value(setting.key)))
            settings.remove(setting.key);
    }
    settings.insertMissing(applicationCrawlSettings(defaults));
    settings.insertMissing(cachedDefaultCrawlSettings());
}

void CrwlUrl::setCrawlDefaultValues()
{
    if (!crawlSettings)
        return;
    crawlSettings->insertMissing(cachedDefaultCrawlSettings());
}
