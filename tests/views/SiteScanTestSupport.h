// A real scan of a loopback site for the view suites: the hub wired as the window wires it, on
// defaults of its own, run to the scan's end.
#pragma once

#include "engine/CrawlSettingKeys.h"
#include "engine/EngineDefaults.h"
#include "engine/Z12Ara.h"
#include "parsing/ScanningHub.h"
#include "platform/Dispatch.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "support/LoopbackServer.h"

#include <QTemporaryDir>
#include <QVariantMap>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>

namespace crawlmere::test {

/// The suite serves its site on `server`, starts it and calls `scan()`.
class SiteScanTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        store = std::make_unique<platform::UserDefaults>(folder.filePath(QStringLiteral("d.plist")));
        engine::registerEngineDefaults(*store);
        hub = makeScanningHub(*store);
    }
    void TearDown() override
    {
        hub->clear();
        hub.reset();
    }

    /// Scans the server's site from "/" to its end, with `values` over the record defaults.
    void scan(const QVariantMap& values = {})
    {
        auto settings = std::make_shared<CrawlSettings>(CrwlUrl::defaultCrawlSettings());
        settings->insert(crawlKey::startingUrl, server.url(QStringLiteral("/")));
        for (auto it = values.cbegin(); it != values.cend(); ++it)
            settings->insert(it.key(), it.value());
        hub->setCrawlSettings(settings);
        bool finished = false;
        platform::NotificationCenter::defaultCenter().addObserver(
            this, Z12Ara::CrwlCrawlDidFinish, [&](const auto&) { finished = true; });
        ASSERT_TRUE(hub->go());
        ASSERT_TRUE(platform::Dispatch::runUntil([&] { return finished; }, std::chrono::seconds(30)));
        platform::NotificationCenter::defaultCenter().removeObserver(this);
    }

    QTemporaryDir folder;
    std::unique_ptr<platform::UserDefaults> store;
    std::shared_ptr<Z12Ara> hub;
    LoopbackServer server;
};

} // namespace crawlmere::test
