// Cost of the XML sitemap of a large site: 100,000 pages with two images each, from handing the
// pages to the sitemap manager to the written files (split by size, with their index).
#include "engine/CrwlLinkInstance.h"
#include "engine/CrwlUrl.h"
#include "platform/UserDefaults.h"
#include "sitemap/SitemapManager.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QTemporaryDir>

using crawlmere::sitemap::SitemapManager;

namespace {

constexpr int pageCount = 100'000;

struct Site {
    CrwlUrlList pages;
    CrwlUrlList images; // occurrences hold their targets weakly
};

// Pages as a scan leaves them: good status, a distance, a Last-Modified date and two images
// with alt texts, one of them shared by every page of its section.
const Site& site()
{
    static const Site made = [] {
        Site s;
        auto settings = std::make_shared<CrawlSettings>(QVariantMap { { QStringLiteral("shouldTrimHash"), false } });
        s.pages.reserve(pageCount);
        for (int i = 0; i < pageCount; ++i) {
            auto page = CrwlUrl::make(nullptr, settings);
            page->setLinkURL(
                QStringLiteral("https://www.example.com/section/%1/page-%2.html?a=1&b=2").arg(i % 97).arg(i));
            page->setStatus(200);
            page->setDistanceFromHome(i % 5);
            page->setTargetLastModified(QStringLiteral("Wed, 31 Dec 2025 12:00:00 GMT"));
            for (const QString& src : { QStringLiteral("https://www.example.com/img/%1.jpg").arg(i),
                     QStringLiteral("https://www.example.com/img/section-%1.png").arg(i % 97) }) {
                auto image = CrwlUrl::make(nullptr, settings);
                image->setLinkURL(src);
                image->setIsImage(true);
                auto occurrence = CrwlLinkInstance::make();
                occurrence->setParent(page);
                occurrence->setTarget(image);
                occurrence->setLinkText(QStringLiteral("[alt]: Picture %1 <of> the catalogue").arg(i));
                page->addOutboundInstance(occurrence);
                s.images.push_back(std::move(image));
            }
            s.pages.push_back(std::move(page));
        }
        return s;
    }();
    return made;
}

void BM_Sitemap100kPagesTwoImagesEach(benchmark::State& state)
{
    const Site& all = site();
    QTemporaryDir folder;
    crawlmere::platform::UserDefaults defaults(folder.filePath(QStringLiteral("defaults.plist")));
    for (const char* key : { "includeLastModInXML", "includeimagesinsitemap", "uniqueimagesinsitemap" })
        defaults.setArgumentValue(QLatin1String(key), true);
    const QString path = folder.filePath(QStringLiteral("sitemap.xml"));
    for (auto _ : state) {
        SitemapManager manager(defaults);
        manager.setCrawlSettings({ { QStringLiteral("startingUrl"), QStringLiteral("https://www.example.com/") } });
        manager.setCollection(all.pages);
        manager.setImagesCollection(all.images);
        benchmark::DoNotOptimize(manager.exportXMLSitemapAndSaveTo(path));
        state.counters["files"] = manager.xmlfilecount();
    }
}
BENCHMARK(BM_Sitemap100kPagesTwoImagesEach)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
