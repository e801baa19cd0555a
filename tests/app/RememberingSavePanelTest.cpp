// The window's save panel for exports: the folder last used per kind and type, the proposed
// name, and what a request names itself left alone.
#include "app/RememberingSavePanel.h"

#include "platform/UserDefaults.h"
#include "support/RecordingSavePanel.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using crawlmere::app::RememberingSavePanel;
using crawlmere::platform::RecordingSavePanel;
using crawlmere::platform::SavePanelRequest;

TEST(RememberingSavePanel, ProposesANameFromTheSiteAndTheKind)
{
    struct Case {
        const char* site;
        const char* kind;
        const char* type;
        const char* name;
    };
    const Case cases[] = {
        { "https://example.com/", "by-link", "csv", "example.com-by-link.csv" },
        { "http://127.0.0.1:8080/docs/index.html", "flat", "html", "127.0.0.1-flat.html" },
        { "https://www.example.com/a?b=c", "sitemap", "xml", "www.example.com-sitemap.xml" },
        // A site without a host: its text, made fit for a file name.
        { "file:///home/me/site/index.html", "by-page", "csv", "file-home-me-site-index.html-by-page.csv" },
        { "My site: draft", "by-status", "csv", "My-site-draft-by-status.csv" },
        { "", "insecure-content", "html", "insecure-content.html" },
        { "https://example.com/", "settings", "", "example.com-settings" },
    };
    for (const Case& c : cases)
        EXPECT_EQ(
            RememberingSavePanel::proposedFileName(QLatin1String(c.site), QLatin1String(c.kind), QLatin1String(c.type)),
            QLatin1String(c.name))
            << c.site;
    EXPECT_EQ(RememberingSavePanel::kindOfView(QStringLiteral("byLinkView")), "by-link");
    EXPECT_EQ(RememberingSavePanel::kindOfView(QStringLiteral("byPageOutlineView")), "by-page");
    EXPECT_EQ(RememberingSavePanel::kindOfView(QStringLiteral("byStatusOutlineView")), "by-status");
    EXPECT_EQ(RememberingSavePanel::kindOfView(QStringLiteral("flatView")), "flat");
    EXPECT_EQ(RememberingSavePanel::kindOfView(QStringLiteral("sitemapTableView")), "sitemap-table");
}

TEST(RememberingSavePanel, OpensInTheFolderLastUsedForTheSameKindAndType)
{
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    crawlmere::platform::UserDefaults defaults(home.filePath(QStringLiteral("defaults.plist")));
    auto recording = std::make_shared<RecordingSavePanel>();
    QString site = QStringLiteral("https://example.com/");
    RememberingSavePanel panel(recording, defaults, [&site] { return site; });
    const QDir root(home.path());
    for (const char* folder : { "links", "pages", "html", "gone" })
        ASSERT_TRUE(root.mkpath(QLatin1String(folder)));
    const auto request = [](const char* kind, const char* type) {
        SavePanelRequest asked;
        asked.kind = QLatin1String(kind);
        asked.allowedFileTypes = { QLatin1String(type) };
        return asked;
    };
    struct Step {
        SavePanelRequest request;
        std::optional<QString> answer;
        const char* shownFolder; // relative to the temporary folder; "" for none
        const char* shownName;
    };
    const Step steps[] = {
        // Nothing kept yet: the panel's own folder, a name from the site and the view.
        { request("by-link", "csv"), root.filePath("links/a.csv"), "", "example.com-by-link.csv" },
        { request("by-link", "csv"), root.filePath("links/b.csv"), "links", "example.com-by-link.csv" },
        // Another view, or the same view as HTML, keeps a folder of its own.
        { request("by-page", "csv"), root.filePath("pages/c.csv"), "", "example.com-by-page.csv" },
        { request("by-link", "html"), root.filePath("html/d.html"), "", "example.com-by-link.html" },
        { request("by-page", "csv"), std::nullopt, "pages", "example.com-by-page.csv" },
        // Cancelled: the folder kept before stays.
        { request("by-page", "csv"), root.filePath("gone/e.csv"), "pages", "example.com-by-page.csv" },
        { request("by-link", "csv"), std::nullopt, "links", "example.com-by-link.csv" },
    };
    for (const Step& step : steps) {
        recording->answers = { step.answer };
        const std::optional<QString> chosen = panel.runModal(step.request);
        EXPECT_EQ(chosen, step.answer);
        const SavePanelRequest& shown = recording->requests.last();
        const QString folder = QLatin1String(step.shownFolder);
        EXPECT_EQ(shown.directory, folder.isEmpty() ? QString() : root.filePath(folder)) << step.shownName;
        EXPECT_EQ(shown.nameFieldStringValue, QLatin1String(step.shownName));
    }
    // A kept folder that has gone is not offered.
    ASSERT_TRUE(QDir(root.filePath(QStringLiteral("gone"))).removeRecursively());
    recording->answers = { std::nullopt };
    panel.runModal(request("by-page", "csv"));
    EXPECT_TRUE(recording->requests.last().directory.isEmpty());

    // What a request names itself stands; a request of no kind proposes no name.
    SavePanelRequest named = request("sitemap", "xml");
    named.directory = root.filePath(QStringLiteral("links"));
    named.nameFieldStringValue = QStringLiteral("sitemap.xml");
    recording->answers = { std::nullopt };
    panel.runModal(named);
    EXPECT_EQ(recording->requests.last().directory, named.directory);
    EXPECT_EQ(recording->requests.last().nameFieldStringValue, "sitemap.xml");
    recording->answers = { root.filePath(QStringLiteral("html/f.csv")) };
    panel.runModal(request("", "csv"));
    EXPECT_TRUE(recording->requests.last().nameFieldStringValue.isEmpty());
    EXPECT_EQ(defaults.stringForKey(RememberingSavePanel::folderKey(QString(), QStringLiteral("csv"))),
        root.filePath(QStringLiteral("html")));
    // The site asked at each request: another site selected, another name.
    site = QStringLiteral("https://other.example/");
    recording->answers = { std::nullopt };
    panel.runModal(request("flat", "csv"));
    EXPECT_EQ(recording->requests.last().nameFieldStringValue, "other.example-flat.csv");
}
