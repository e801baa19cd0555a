#include "views/TableExportWriter.h"

#include "engine/CrwlUrl.h"
#include "engine/ExportText.h"
#include "engine/CrwlUrlTestSupport.h"
#include "engine/ScopedDefaults.h"
#include "platform/Dispatch.h"
#include "platform/AtomicFile.h"
#include "support/FileSizeLimit.h"
#include "views/CrwlByLinkDataSource.h"
#include "views/TableExportJob.h"
#include "views/TableExportSnapshot.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

TableExportSnapshot snapshotOf(const QStringList& identifiers, const QList<QStringList>& rows)
{
    TableExportSnapshot snapshot;
    for (const QString& identifier : identifiers)
        snapshot.columns.append({ identifier, identifier.toUpper(), false });
    for (const QStringList& texts : rows)
        snapshot.rows.append({ texts, false, std::nullopt });
    return snapshot;
}

/// 30,000 rows with quotes, line breaks, labels, characters outside the BMP (also where a long
/// address is cut short for its link text, between the halves of a pair) and one lone surrogate.
TableExportSnapshot awkwardSnapshot()
{
    auto snapshot = snapshotOf({ "linkurl", "text", "status" }, {});
    const QString face = QStringLiteral("\U0001F600");
    for (int i = 0; i < 30'000; ++i) {
        QString text = QStringLiteral("say \"\U0001D11E\" #%1").arg(i) + (i % 7 == 0 ? "\nline" : "");
        if (i == 12'345)
            text += QChar(0xD800);
        const QString url = QStringLiteral("https://site.test/") + face.repeated(i % 40) + '/' + QString::number(i);
        snapshot.rows.append({ { url, text, QString::number(200 + i % 5) }, false,
            i % 3 == 0 ? std::optional(CrwlLabelColour::error()) : std::nullopt });
    }
    return snapshot;
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

TEST(TableExportWriter, CsvQuotesLineBreaksAndOutlineChildren)
{
    const auto one = snapshotOf({ "a" }, { { "x" }, { "y" }, { "z" } });
    EXPECT_EQ(TableExportWriter::csvText(one, 1), "\"A\"\n\"x\"\n\"y\"\n\"z\"\n");

    const auto quoted = snapshotOf({ "a", "b" }, { { "say \"hi\"", "two\nlines\r" } });
    const struct {
        qint64 option;
        const char* line;
    } cases[] = {
        { 0, "\"say \\\"hi\\\"\",\"two lines \"\n" },
        { 1, "\"say 'hi'\",\"two lines \"\n" },
        { 2, "\"say \"\"hi\"\"\",\"two lines \"\n" },
        { 7, "\"say 'hi'\",\"two lines \"\n" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(TableExportWriter::csvText(quoted, c.option), QStringLiteral("\"A\",\"B\"\n") + c.line) << c.option;

    TableExportSnapshot outline = snapshotOf({ "page", "status" }, { { "group", "" }, { "child", "404" } });
    outline.outline = true;
    outline.columns[0].outlineColumn = true;
    outline.rows[0].expandable = true;
    EXPECT_EQ(TableExportWriter::csvText(outline, 1), "\"PAGE\",\"STATUS\"\n\"group\",\"\"\n\"\tchild\",\"404\"\n");
    EXPECT_TRUE(TableExportWriter::htmlTable(outline).contains("<td class = \"page alt\" >&nbsp;&nbsp;child</td>"));
}

TEST(TableExportWriter, HtmlRowsClassesLabelsLinksAndEscaping)
{
    const QString url51 = QStringLiteral("http://site.test/") + QString(34, u'a');
    ASSERT_EQ(url51.size(), 51);
    EXPECT_EQ(crawlmere::engine::truncateURLByAddingElipsisInMiddle(url51), url51.left(23) + "..." + url51.right(27));
    EXPECT_EQ(crawlmere::engine::truncateURLByAddingElipsisInMiddle(url51.left(50)), url51.left(50));

    auto snapshot = snapshotOf({ "status", "linkurl" },
        { { "404 not found", url51 }, { "<script>x & \"y\"</script>", "http://a.test/?q=<b>&r=\"1\"" } });
    snapshot.rows[0].label = CrwlLabelColour::error();
    snapshot.rows[1].label = CrwlLabelColour::warning();
    const QString html = TableExportWriter::htmlTable(snapshot);
    EXPECT_EQ(html,
        "<table><tr><th class = status>STATUS</th><th class = linkurl>LINKURL</th></tr>"
        "<tr><td class = status style = \"background:rgb(255,102,102)\">404 not found</td>"
        "<td class = linkurl style = \"background:rgb(255,102,102)\"><a href = \""
            + url51 + "\" >" + url51.left(23) + "..." + url51.right(27)
            + "</a></td></tr>"
              "<tr><td class = \"status alt\" style = \"background:rgb(204,160,81)\">&lt;script&gt;x &amp; "
              "&quot;y&quot;&lt;/script&gt;</td>"
              "<td class = \"linkurl alt\" style = \"background:rgb(204,160,81)\"><a href = "
              "\"http://a.test/?q=&lt;b&gt;&amp;r=&quot;1&quot;\" >"
              "http://a.test/?q=&lt;b&gt;&amp;r=&quot;1&quot;</a></td></tr></table><br />");
    const QString page = TableExportWriter::htmlPage(QStringLiteral("T"));
    EXPECT_TRUE(
        page.startsWith("<html><head><title>Data Export from Crawlmere</title><meta http-equiv=\"Content-Type\" "
                        "content=\"text/html; charset=UTF-8\" /></head><body><style> table{"));
    EXPECT_TRUE(page.endsWith("p{font-family:arial,sans-serif;}</style>T</body></html>"));
}

TEST(TableExportWriter, ProgressAtMostOncePerPercentThenReset)
{
    QList<QStringList> rows;
    for (int i = 0; i < 200; ++i)
        rows.append({ QString::number(i) });
    const auto snapshot = snapshotOf({ "n" }, rows);
    for (const bool html : { false, true }) {
        QList<float> reports;
        const ExportProgress::Report report = [&](float proportion) { reports << proportion; };
        if (html)
            TableExportWriter::htmlTable(snapshot, report);
        else
            TableExportWriter::csvText(snapshot, 1, report);
        ASSERT_EQ(reports.size(), 100) << html;
        EXPECT_FLOAT_EQ(reports.first(), 0.01f);
        EXPECT_FLOAT_EQ(reports.at(98), 0.99f);
        EXPECT_EQ(reports.last(), 0.0f);
    }
}

TEST(TableExportWriter, SnapshotOfATableSkipsHiddenColumnsAndTheJobWritesOffTheMainThread)
{
    crawlmere::test::ScopedDefaults defaults;
    defaults.set(QStringLiteral("displayLabels"), true);
    auto owner = std::make_shared<crawlmere::test::RecordingOwner>();
    auto settings = crawlmere::test::makeSettings();
    QList<qfDataSource::Item> links;
    for (const auto& [url, status] :
        { std::pair { "http://site.test/", 200 }, std::pair { "http://site.test/x", 404 } }) {
        auto record = CrwlUrl::make(owner, settings);
        record->setLinkURL(QString::fromLatin1(url));
        record->setStatus(status);
        links.append(record);
    }
    CrwlByLinkDataSource source;
    source.setCollection(links);
    source.filter();
    auto columns = CrwlByLinkDataSource::defaultColumns();
    columns[2].hidden = true; // "Redirected to"
    HeadlessTableView table(columns);
    const auto snapshot = TableExportSnapshot::fromTable(source, table);
    EXPECT_EQ(TableExportWriter::csvText(snapshot, 1).toStdString(),
        "\"URL\",\"Status\",\"Appears on\"\n"
        "\"http://site.test/\",\"200 ok\",\"appears 0 times\"\n"
        "\"http://site.test/x\",\"404 not found\",\"appears 0 times\"\n");
    EXPECT_FALSE(TableExportWriter::htmlTable(snapshot).contains("redir"));
    ASSERT_EQ(snapshot.rows.size(), 2);
    EXPECT_EQ(snapshot.rows[1].label, CrwlLabelColour::error());

    QTemporaryDir folder;
    const QString path = folder.filePath("out.csv");
    QList<float> progress;
    std::optional<TableExportJob::Result> result;
    bool doneOnMain = false;
    TableExportJob::start(
        snapshot, TableExportJob::Format::Csv, 1, path, [&](float proportion) { progress << proportion; },
        [&](const TableExportJob::Result& outcome) {
            doneOnMain = crawlmere::platform::Dispatch::isMainThread();
            result = outcome;
        });
    ASSERT_TRUE(crawlmere::platform::Dispatch::runUntil([&] { return result.has_value(); }, 10s));
    EXPECT_TRUE(doneOnMain);
    EXPECT_FALSE(result->error.has_value());
    EXPECT_EQ(progress, QList<float>({ 0.5f, 0.0f }));
    EXPECT_EQ(fileBytes(path), TableExportWriter::csvText(snapshot, 1).toUtf8());

    result.reset();
    TableExportJob::start(snapshot, TableExportJob::Format::Html, 1, folder.filePath("missing/out.html"), {},
        [&](const TableExportJob::Result& outcome) { result = outcome; });
    ASSERT_TRUE(crawlmere::platform::Dispatch::runUntil([&] { return result.has_value(); }, 10s));
    EXPECT_TRUE(result->error.has_value());
}

TEST(TableExportWriter, StreamedExportsEqualTheOnePieceTextByteForByte)
{
    const auto snapshot = awkwardSnapshot();
    QTemporaryDir folder;
    const QString path = folder.filePath("out");
    constexpr qsizetype kOddSlice = 1009;
    using Format = TableExportJob::Format;
    for (const auto& [format, option] : { std::pair { Format::Csv, 0 }, std::pair { Format::Csv, 1 },
             std::pair { Format::Csv, 2 }, std::pair { Format::Html, 1 } }) {
        const bool csv = format == Format::Csv;
        const QByteArray whole = (csv ? TableExportWriter::csvText(snapshot, option)
                                      : TableExportWriter::htmlPage(TableExportWriter::htmlTable(snapshot)))
                                     .toUtf8();
        ASSERT_EQ(TableExportJob::write(snapshot, format, option, path), std::nullopt);
        EXPECT_TRUE(fileBytes(path) == whole) << csv << option;

        // Slices of an odd length often end between the halves of a pair; such a slice takes both.
        QByteArray joined;
        int pairsKeptWhole = 0;
        const TableExportWriter::SliceSink sink = [&](QStringView slice) {
            pairsKeptWhole += slice.size() == kOddSlice + 1 && slice.back().isLowSurrogate();
            joined += slice.toUtf8();
            return true;
        };
        ASSERT_TRUE(csv ? TableExportWriter::writeCsv(snapshot, option, sink, {}, kOddSlice)
                        : TableExportWriter::writeHtmlPage(snapshot, sink, {}, kOddSlice));
        EXPECT_TRUE(joined == whole) << csv << option;
        EXPECT_GT(pairsKeptWhole, 0);
    }
}

TEST(TableExportWriter, AFullDiskFailsTheExportWithAReasonAndKeepsTheEarlierFile)
{
    const auto snapshot = awkwardSnapshot();
    QTemporaryDir folder;
    const QString path = folder.filePath("out");
    ASSERT_TRUE(crawlmere::platform::saveBytesAtomically(path, "earlier"));
    for (const auto format : { TableExportJob::Format::Csv, TableExportJob::Format::Html }) {
        std::optional<QString> error;
        ASSERT_TRUE(crawlmere::test::withFileSizeLimit(
            256 * 1024, [&] { error = TableExportJob::write(snapshot, format, 1, path); }));
        ASSERT_TRUE(error.has_value());
        EXPECT_FALSE(error->isEmpty());
        EXPECT_EQ(fileBytes(path), "earlier");
        EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files), QStringList { "out" });
    }
}
