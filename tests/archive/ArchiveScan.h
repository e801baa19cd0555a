// A whole scan in process for the archive suites: the hub wired as the headless program wires
// it, with an archive writer, run until the archive index is announced (or the scan is over).
#pragma once

#include "archive/ArchiveWriter.h"
#include "engine/CrawlSettingKeys.h"
#include "engine/CrawlSettings.h"
#include "engine/CrwlUrl.h"
#include "engine/EngineDefaults.h"
#include "engine/Z12Ara.h"
#include "parsing/ScanningHub.h"
#include "platform/Dispatch.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"

#include <chrono>
#include <memory>

namespace crawlmere::test {

/// Scans `startingUrl` with the record defaults plus `values`. The hub is returned alive (its
/// counts and collections); clear it before it goes.
inline std::shared_ptr<Z12Ara> scanSite(
    const QString& startingUrl, const QVariantMap& values, const std::shared_ptr<ArchiveSink>& sink = nullptr)
{
    auto& defaults = platform::UserDefaults::standard();
    engine::registerEngineDefaults(defaults);
    QVariantMap settings = CrwlUrl::defaultCrawlSettings();
    settings.insert(crawlKey::startingUrl, startingUrl);
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        settings.insert(it.key(), it.value());

    auto hub = makeScanningHub(defaults);
    hub->setArchiveSink(sink);

    bool done = false;
    const bool archiving = settings.value(crawlKey::shouldArchive).toBool();
    auto& center = platform::NotificationCenter::defaultCenter();
    const int owner = 0;
    center.addObserver(
        &owner, archiving ? Z12Ara::CrwlDidSaveArchiveIndex : Z12Ara::CrwlCrawlDidFinish,
        [&](const platform::Notification&) { done = true; }, hub.get());
    hub->setCrawlSettings(std::make_shared<CrawlSettings>(settings));
    if (hub->go())
        platform::Dispatch::runUntil([&] { return done; }, std::chrono::seconds(60));
    center.removeObserver(&owner);
    return hub;
}

} // namespace crawlmere::test
