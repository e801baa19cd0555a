#include "platform/Url.h"

#include "support/TsvTable.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using crawlmere::platform::Url;
using crawlmere::test::readTsvTable;

namespace {

// "-" in a table means an absent (null) component.
void expectComponent(const QString& actual, const QString& expected, const char* what, int line)
{
    if (expected == QLatin1String("-")) {
        EXPECT_TRUE(actual.isNull()) << what << " should be absent, line " << line << ": "
                                     << actual.toStdString();
    } else {
        EXPECT_FALSE(actual.isNull()) << what << " should be present, line " << line;
        EXPECT_EQ(actual, expected) << what << ", line " << line;
    }
}

} // namespace

TEST(Url, ParsesComponentsFromTable)
{
    const auto rows = readTsvTable("urls/parse.tsv");
    ASSERT_GT(rows.size(), 50u);
    for (const auto& row : rows) {
        const QString input = row.cell(0);
        const std::optional<Url> url = Url::fromString(input);
        if (row.cell(1) == QLatin1String("FAIL")) {
            EXPECT_FALSE(url.has_value()) << "line " << row.line << " should fail: " << input.toStdString();
            continue;
        }
        ASSERT_TRUE(url.has_value()) << "line " << row.line << " should parse: " << input.toStdString();
        ASSERT_EQ(row.cells.size(), 9) << "line " << row.line;
        EXPECT_TRUE(url->isValid());
        EXPECT_EQ(url->absoluteString(), input) << "line " << row.line;
        expectComponent(url->scheme(), row.cell(1), "scheme", row.line);
        expectComponent(url->user(), row.cell(2), "user", row.line);
        expectComponent(url->password(), row.cell(3), "password", row.line);
        expectComponent(url->host(), row.cell(4), "host", row.line);
        if (row.cell(5) == QLatin1String("-")) {
            EXPECT_FALSE(url->port().has_value()) << "line " << row.line;
            EXPECT_TRUE(url->portText().isNull()) << "line " << row.line;
        } else {
            EXPECT_EQ(url->port(), row.cell(5).toInt()) << "line " << row.line;
        }
        EXPECT_EQ(url->path(), row.cell(6)) << "path, line " << row.line;
        EXPECT_FALSE(url->path().isNull());
        expectComponent(url->query(), row.cell(7), "query", row.line);
        expectComponent(url->fragment(), row.cell(8), "fragment", row.line);
        EXPECT_EQ(url->hasQuery(), row.cell(7) != QLatin1String("-"));
        EXPECT_EQ(url->hasFragment(), row.cell(8) != QLatin1String("-"));
    }
}

TEST(Url, ResolvesReferencesFromTable)
{
    const auto rows = readTsvTable("urls/resolve.tsv");
    ASSERT_GT(rows.size(), 60u);
    for (const auto& row : rows) {
        ASSERT_EQ(row.cells.size(), 3) << "line " << row.line;
        const std::optional<Url> base = Url::fromString(row.cell(0));
        ASSERT_TRUE(base.has_value()) << "base on line " << row.line;
        const std::optional<Url> result = Url::resolved(row.cell(1), *base);
        if (row.cell(2) == QLatin1String("FAIL")) {
            EXPECT_FALSE(result.has_value()) << "line " << row.line << " gave "
                                             << (result ? result->absoluteString().toStdString() : "");
            continue;
        }
        ASSERT_TRUE(result.has_value()) << "line " << row.line << ": " << row.cell(1).toStdString();
        EXPECT_EQ(result->absoluteString(), row.cell(2)) << "line " << row.line;
        // The result is a URL in its own right: parsing its text gives the same components.
        const std::optional<Url> reparsed = Url::fromString(result->absoluteString());
        ASSERT_TRUE(reparsed.has_value());
        EXPECT_EQ(reparsed->host(), result->host());
        EXPECT_EQ(reparsed->path(), result->path());
        EXPECT_EQ(reparsed->query(), result->query());
        EXPECT_EQ(reparsed->fragment(), result->fragment());
        EXPECT_EQ(*base->resolved(row.cell(1)), *result);
    }
}

TEST(Url, AboveRootPathKeepsItsClimbForTheRepair)
{
    const auto base = Url::fromString("http://h.com/a.html");
    ASSERT_TRUE(base);
    const auto up = Url::resolved("../b.html", *base);
    ASSERT_TRUE(up);
    EXPECT_TRUE(up->absoluteString().contains("/../"));
    EXPECT_EQ(up->host(), "h.com");
    EXPECT_EQ(up->path(), "/../b.html");
    // Resolving the part after the first "/../" against the part before it still climbs.
    const auto again = Url::resolved("../b.html", *Url::fromString("http://h.com/"));
    EXPECT_EQ(again->absoluteString(), "http://h.com/../b.html");
    // A parsed absolute string is never normalised.
    EXPECT_EQ(Url::fromString("http://h.com/a/../b")->path(), "/a/../b");
}

TEST(Url, InvalidUrlHasNoComponents)
{
    const Url url;
    EXPECT_FALSE(url.isValid());
    EXPECT_TRUE(url.absoluteString().isEmpty());
    EXPECT_TRUE(url.host().isNull());
    EXPECT_TRUE(url.path().isNull());
    EXPECT_TRUE(url.resourceSpecifier().isNull());
    EXPECT_FALSE(Url::resolved("x", url).has_value());
    EXPECT_FALSE(Url::fromString(QString()).has_value());
    // Past the length cap.
    EXPECT_FALSE(Url::fromString("http://h.com/" + QString(9 * 1024 * 1024, u'a')).has_value());
}

TEST(Url, ResourceSpecifierAndAuthority)
{
    EXPECT_EQ(Url::fromString("http://u:p@h.com:81/a?b#c")->resourceSpecifier(), "//u:p@h.com:81/a?b#c");
    EXPECT_EQ(Url::fromString("http://u:p@h.com:81/a?b#c")->authority(), "u:p@h.com:81");
    EXPECT_EQ(Url::fromString("mailto:a@b.com")->resourceSpecifier(), "a@b.com");
    EXPECT_EQ(Url::fromString("a/b.html")->resourceSpecifier(), "a/b.html");
    EXPECT_TRUE(Url::fromString("a/b.html")->authority().isNull());
    EXPECT_EQ(Url::fromString("http:///x")->authority(), "");
    EXPECT_FALSE(Url::fromString("http:///x")->authority().isNull());
}

TEST(Url, Ipv6HostWithAndWithoutBrackets)
{
    const auto url = Url::fromString("http://[fe80::1]:8080/x");
    ASSERT_TRUE(url);
    EXPECT_TRUE(url->isIpv6Host());
    EXPECT_EQ(url->host(), "fe80::1");
    EXPECT_EQ(url->hostWithBrackets(), "[fe80::1]");
    EXPECT_EQ(url->port(), 8080);
    EXPECT_EQ(url->portText(), "8080");
    EXPECT_FALSE(Url::fromString("http://h.com/")->isIpv6Host());
    EXPECT_EQ(Url::fromString("http://h.com/")->hostWithBrackets(), "h.com");
}

TEST(Url, PathComponentsAreDecoded)
{
    const auto url = Url::fromString("http://h.com/dir/caf%C3%A9%20menu.tar.gz?x=1.php");
    ASSERT_TRUE(url);
    EXPECT_EQ(url->decodedPath(), QString::fromUtf8("/dir/caf\xC3\xA9 menu.tar.gz"));
    EXPECT_EQ(url->lastPathComponent(), QString::fromUtf8("caf\xC3\xA9 menu.tar.gz"));
    EXPECT_EQ(url->pathExtension(), "gz");
    EXPECT_EQ(Url::fromString("http://h.com/a/")->lastPathComponent(), "a");
    EXPECT_EQ(Url::fromString("http://h.com/")->lastPathComponent(), "/");
    EXPECT_EQ(Url::fromString("http://h.com")->lastPathComponent(), "");
    EXPECT_EQ(Url::fromString("http://h.com/noext")->pathExtension(), "");
    // Escapes of bytes that are not UTF-8 do not decode.
    EXPECT_TRUE(Url::fromString("http://h.com/%E9t%E9")->decodedPath().isNull());
    EXPECT_TRUE(Url::fromString("http://h.com/%E9t%E9")->lastPathComponent().isNull());
}

TEST(Url, WithoutFragment)
{
    const auto url = Url::fromString("http://h.com/a?q#frag");
    const Url cut = url->withoutFragment();
    EXPECT_EQ(cut.absoluteString(), "http://h.com/a?q");
    EXPECT_FALSE(cut.hasFragment());
    EXPECT_EQ(cut.query(), "q");
    EXPECT_EQ(Url::fromString("http://h.com/#")->withoutFragment().absoluteString(), "http://h.com/");
    EXPECT_EQ(Url::fromString("http://h.com/")->withoutFragment(), *Url::fromString("http://h.com/"));
}

TEST(Url, FileUrlsRoundTripLocalPaths)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString name = QString::fromUtf8("my p\xC3\xA4ge #1 100%?.html");
    const QString path = dir.path() + "/" + name;

    const auto url = Url::fromLocalFile(path);
    ASSERT_TRUE(url);
    EXPECT_TRUE(url->isFileUrl());
    EXPECT_TRUE(url->absoluteString().startsWith("file:///"));
    EXPECT_TRUE(url->absoluteString().endsWith("/my%20p%C3%A4ge%20%231%20100%25%3F.html"))
        << url->absoluteString().toStdString();
    EXPECT_TRUE(url->host().isNull());
    EXPECT_FALSE(url->hasFragment());
    EXPECT_FALSE(url->hasQuery());
    EXPECT_EQ(url->toLocalFile(), path);
    EXPECT_EQ(url->lastPathComponent(), name);

    // An existing directory gets its trailing "/", so relative links resolve inside it.
    const auto folder = Url::fromLocalFile(dir.path());
    ASSERT_TRUE(folder);
    EXPECT_TRUE(folder->absoluteString().endsWith("/"));
    EXPECT_EQ(folder->resolved("index.html")->toLocalFile(), dir.path() + "/index.html");

    // A relative path is taken from the current directory.
    const auto relative = Url::fromLocalFile("some/file.txt");
    ASSERT_TRUE(relative);
    EXPECT_EQ(relative->toLocalFile(), QDir::currentPath() + "/some/file.txt");

    EXPECT_FALSE(Url::fromLocalFile(QString()).has_value());
    EXPECT_TRUE(Url::fromString("FILE:///tmp/x")->isFileUrl());
    EXPECT_FALSE(Url::fromString("http://h.com/x")->isFileUrl());
    EXPECT_TRUE(Url::fromString("http://h.com/x")->toLocalFile().isNull());
    EXPECT_TRUE(Url::fromString("filex:///tmp")->toLocalFile().isNull());
}
