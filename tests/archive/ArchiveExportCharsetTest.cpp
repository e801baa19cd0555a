// The Process copy of pages whose charset only their server's header named, or nobody did: each
// is rewritten in the charset the scan read it in and says which that is, so that it reads
// right from disc with the site stopped and its folder renamed.
#include "ArchiveExportTestSupport.h"
#include "archive/detail/TextFile.h"
#include "engine/CrawlSettingKeys.h"
#include "platform/TextEncoding.h"

using namespace crawlmere::test::archiveexport;
using crawlmere::platform::TextEncoding;
namespace Encoding = crawlmere::platform::Encoding;

namespace {

struct Page {
    std::string path;
    QByteArray body;
    std::string contentType;
    QString title;
    QByteArray copied; ///< the file the copy must hold
};

QByteArray encoded(const QString& text, crawlmere::platform::EncodingId encoding)
{
    return TextEncoding::encode(text, encoding).value_or(QByteArray("(unencodable)"));
}

TEST_F(ArchiveExportTest, PagesWhoseCharsetOnlyTheHeaderNamedAreRewrittenAndDeclareIt)
{
    const QString russian = QString::fromUtf8("\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82");
    const QString ukrainian = QString::fromUtf8("\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD1\x96\xD1\x82 \xD1\x9E");
    const QByteArray cyrillic = encoded(russian, Encoding::WindowsCP1251);
    const QByteArray koi = encoded(ukrainian, Encoding::KOI8U);
    const std::vector<Page> pages {
        { "/", "<html><head><title>Home</title></head><body><a href=\"/cyrillic.html\">C</a> "
               "<a href=\"/latin.html\">L</a> <a href=\"/koi.html\">K</a></body></html>",
            "text/html; charset=utf-8", "Home",
            "<html><head><title>Home</title></head><body><a href=\"cyrillic.html\">C</a> "
            "<a href=\"latin.html\">L</a> <a href=\"koi.html\">K</a></body></html>" },
        { "/cyrillic.html",
            "<html><head><title>" + cyrillic + "</title></head><body><p>" + cyrillic
                + "</p><a href=\"/\">Home</a> <a href=\"/latin.html\">Latin</a></body></html>",
            "text/html; charset=windows-1251", russian,
            "<html><head><meta charset=\"windows-1251\"><title>" + cyrillic + "</title></head><body><p>" + cyrillic
                + "</p><a href=\"index.html\">Home</a> <a href=\"latin.html\">Latin</a></body></html>" },
        { "/latin.html",
            "<!DOCTYPE html>\n<html><head><title>Caf\xE9 \x93menu\x94</title></head><body><a href=\"/\">Home</a> "
            "<a href=\"/cyrillic.html\">C</a></body></html>",
            "text/html", QString::fromUtf8("Caf\u00E9 \u201Cmenu\u201D"),
            "<!DOCTYPE html>\n<html><head><meta charset=\"windows-1252\"><title>Caf\xE9 \x93menu\x94</title></head>"
            "<body><a href=\"index.html\">Home</a> <a href=\"cyrillic.html\">C</a></body></html>" },
        { "/koi.html", "<html><HEAD lang=uk><title>" + koi + "</title></HEAD><body><a href=\"/\">Home</a></body></html>",
            "text/html; charset=koi8-u", ukrainian,
            "<html><HEAD lang=uk><meta charset=\"KOI8-U\"><title>" + koi
                + "</title></HEAD><body><a href=\"index.html\">Home</a></body></html>" },
    };
    std::map<std::string, std::pair<QByteArray, std::string>> site;
    for (const Page& page : pages)
        site[page.path] = { page.body, page.contentType };
    LoopbackServer server;
    serveSite(server, site);
    ASSERT_TRUE(server.start());
    const QVariantMap settings = archiveSiteThenStop(server, { { crawlKey::shouldArchive, true } });

    const auto processed = ArchiveExport(requestFor(settings, /*process=*/true)).exportFilesForDate();
    ASSERT_EQ(processed.outcome, ArchiveExport::Outcome::Finished);
    const QString root = processed.outputFolder;
    const QString port = QStringLiteral("127.0.0.1_%1").arg(server.port());
    ASSERT_TRUE(QDir(root).rename(port, QStringLiteral("renamed")));
    const QString copy = root + QStringLiteral("/renamed/");
    for (const Page& page : pages) {
        const QString file = page.path == "/" ? QStringLiteral("index.html") : QString::fromStdString(page.path).mid(1);
        // The bytes as received, but for the links and the declaration.
        EXPECT_EQ(bytesOf(copy + file).toStdString(), page.copied.toStdString()) << page.path;
    }

    // Scanned from disc, where no header names a charset, every page reads as it did on the site.
    auto local = crawlmere::test::scanSite(QStringLiteral("file://") + copy + QStringLiteral("index.html"), {});
    ASSERT_TRUE(local->crawlFinished());
    EXPECT_EQ(local->badLinkCount(), 0);
    for (const Page& page : pages) {
        const QString file = page.path == "/" ? QStringLiteral("index.html") : QString::fromStdString(page.path).mid(1);
        const auto record = local->weHaveThisOneAlready(QStringLiteral("file://") + copy + file, nullptr, true);
        ASSERT_TRUE(record) << page.path;
        EXPECT_EQ(record->getLinkpagetitle(), page.title) << page.path;
    }
    local->clear();
}

TEST(ArchiveExportCharset, ADeclarationGoesWhereBrowsersLookForIt)
{
    using crawlmere::archive::detail::withCharsetDeclaration;
    const struct {
        const char* page;
        const char* expected;
    } rows[] = {
        { "<html><head><title>", "<html><head><meta charset=\"x\"><title>" },
        { "<!doctype html><HTML lang=en><header>", "<!doctype html><HTML lang=en><meta charset=\"x\"><header>" },
        { "<!DOCTYPE html>\n<p>", "<!DOCTYPE html><meta charset=\"x\">\n<p>" },
        { "<p>text", "<meta charset=\"x\"><p>text" },
    };
    for (const auto& row : rows)
        EXPECT_EQ(withCharsetDeclaration(QString::fromLatin1(row.page), QStringLiteral("x")), QString::fromLatin1(row.expected));
    // Past the first 1024 characters browsers look no further: the declaration goes first.
    const QString late = QString(1100, u' ') + QStringLiteral("<head>");
    EXPECT_TRUE(withCharsetDeclaration(late, QStringLiteral("x")).startsWith(u"<meta charset=\"x\">"));
}

} // namespace
