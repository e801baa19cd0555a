// The insecure-content outline and its flat exports: rows and children, the kind texts, CSV that
// a standard CSV reader takes back field for field, escaped HTML, the beep and the save seam.
#include "reports/CrwlInsecureDataSource.h"

#include "engine/Z12Ara.h"
#include "platform/UserDefaults.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using crawlmere::reports::CrwlInsecureDataSource;
using Node = CrwlInsecureDataSource::Node;

namespace {

const QString page = QStringLiteral("https://example.com/a\"b");
const QList<InsecureContentRecord> items {
    { 1, page, { "http://cdn.example.com/x.js", "http://cdn.example.com/\"q\".css", "http://img.example.com/a,b.png" } },
    { 7, QStringLiteral("https://example.com/odd"), { "http://example.com/o" } },
    { 0, QStringLiteral("https://example.com/empty"), {} },
};

// Reads CSV text back with Python's csv module, as a JSON list of rows.
QJsonArray readWithPython(const QString& csv)
{
    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    if (python.isEmpty())
        return {};
    QProcess reader;
    reader.start(python, { QStringLiteral("-c"),
                             QStringLiteral("import csv,json,sys; print(json.dumps(list(csv.reader(sys.stdin))))") });
    reader.write(csv.toUtf8());
    reader.closeWriteChannel();
    reader.waitForFinished(10000);
    return QJsonDocument::fromJson(reader.readAllStandardOutput()).array();
}

TEST(CrwlInsecureDataSource, OneRowPerItemWithItsSecondUrlsBelow)
{
    CrwlInsecureDataSource source;
    source.setCollection(items);
    EXPECT_EQ(source.numberOfChildren({}), 3);
    EXPECT_EQ(source.numberOfChildren({ 0 }), 3);
    EXPECT_EQ(source.numberOfChildren({ 0, 1 }), 0);
    EXPECT_EQ(source.numberOfChildren({ 9 }), 0);
    EXPECT_TRUE(source.isItemExpandable({ 2 }));
    EXPECT_FALSE(source.isItemExpandable({ 0, 0 }));
    EXPECT_EQ(source.objectValue(QStringLiteral("linkurl"), { 0 }), page);
    EXPECT_EQ(source.objectValue(QStringLiteral("comment"), { 0 }),
        QStringLiteral("This is a secure page that has mixed content (it has at least one resource with insecure url)"));
    EXPECT_EQ(source.objectValue(QStringLiteral("linkurl"), { 0, 2 }), QStringLiteral("http://img.example.com/a,b.png"));
    EXPECT_EQ(source.objectValue(QStringLiteral("comment"), { 0, 2 }), QString());
    EXPECT_EQ(source.objectValue(QStringLiteral("comment"), { 1 }), QString());
    EXPECT_EQ(source.objectValue(QStringLiteral("other"), { 0 }), QString());
    EXPECT_EQ(CrwlInsecureDataSource::commentForKind(3),
        QStringLiteral("This page's canonical url is an insecure page.  Expand to see the canonical url."));
}

TEST(CrwlInsecureDataSource, FlatCsvLinesReadBackFieldForField)
{
    crawlmere::platform::UserDefaults::standard().setObject(qint64(2), QStringLiteral("csvQuoteEscapeOption"));
    CrwlInsecureDataSource source;
    EXPECT_FALSE(source.getInsecureAsFlatCSV());
    source.setCollection(items);
    const QString csv = *source.getInsecureAsFlatCSV();
    crawlmere::platform::UserDefaults::standard().removeObjectForKey(QStringLiteral("csvQuoteEscapeOption"));

    const QJsonArray rows = readWithPython(csv);
    if (rows.isEmpty())
        GTEST_SKIP() << "python3 is not installed";
    ASSERT_EQ(rows.size(), 5) << qPrintable(csv); // the header, three resources, the odd kind's one
    EXPECT_EQ(rows[0].toArray(), QJsonArray({ "Description", "", "" }));
    const QString description = CrwlInsecureDataSource::exportDescriptionForKind(1);
    for (int i = 0; i < 3; ++i) {
        const QJsonArray row = rows[i + 1].toArray();
        ASSERT_EQ(row.size(), 3);
        EXPECT_EQ(row[0].toString(), description);
        EXPECT_EQ(row[1].toString(), page);
        EXPECT_EQ(row[2].toString(), items[0].array[i]);
    }
    EXPECT_EQ(rows[4].toArray(), QJsonArray({ "", "https://example.com/odd", "http://example.com/o" }));
}

TEST(CrwlInsecureDataSource, HtmlEscapesTextAndAttributesAndSavesThroughThePanel)
{
    CrwlInsecureDataSource source;
    int beeps = 0;
    QStringList askedTypes;
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("insecure.html"));
    const auto panel = [&](const QString& type) { askedTypes << type; return path; };
    EXPECT_FALSE(source.exportInsecureAsFlatHTML(panel, [&] { ++beeps; }));
    EXPECT_FALSE(source.exportInsecureAsFlatCSV(panel, [&] { ++beeps; }));
    EXPECT_EQ(beeps, 2);
    EXPECT_TRUE(askedTypes.isEmpty());

    source.setCollection(items);
    EXPECT_FALSE(source.exportInsecureAsFlatHTML([](const QString&) { return QString(); }, [] { }));
    EXPECT_FALSE(QFile::exists(path));
    ASSERT_TRUE(source.exportInsecureAsFlatHTML(panel, [] { }));
    EXPECT_EQ(askedTypes, QStringList { QStringLiteral("html") });
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString html = QString::fromUtf8(file.readAll());
    EXPECT_TRUE(html.contains(QStringLiteral("<a href=\"https://example.com/a&quot;b\">https://example.com/a&quot;b</a>")));
    EXPECT_EQ(html.count(QStringLiteral("<tr><td>")), 4);

    const QString xmllint = QStandardPaths::findExecutable(QStringLiteral("xmllint"));
    if (xmllint.isEmpty())
        GTEST_SKIP() << "xmllint is not installed";
    QProcess check;
    check.start(xmllint, { QStringLiteral("--noout"), path });
    ASSERT_TRUE(check.waitForFinished(10000));
    EXPECT_EQ(check.exitCode(), 0) << check.readAllStandardError().toStdString();
}

TEST(CrwlInsecureDataSource, RefilledWhenEmptyOrWhenTheViewsNeedIt)
{
    CrwlInsecureDataSource source;
    EXPECT_FALSE(source.populateIfNotPopulated({}, /*viewsRequireRefresh=*/false));
    EXPECT_TRUE(source.populateIfNotPopulated(items, /*viewsRequireRefresh=*/false));
    EXPECT_FALSE(source.populateIfNotPopulated(items.mid(0, 1), /*viewsRequireRefresh=*/false));
    EXPECT_EQ(source.getCount(), 3);
    EXPECT_TRUE(source.populateIfNotPopulated(items.mid(0, 1), /*viewsRequireRefresh=*/true));
    EXPECT_EQ(source.getCount(), 1);
}

} // namespace
