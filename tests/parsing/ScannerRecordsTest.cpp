// Everything the page scanner reports for every fixture page under the option sets the fuzz seeds
// use, held against a digest file: a rewrite of the scanner's inner workings must leave each
// record as it was. CRAWLMERE_SCANNER_INPUTS names a folder of fuzz inputs (option byte first) to
// digest instead; CRAWLMERE_SCANNER_RECORDS then names the digest file. A missing digest file
// fails; CRAWLMERE_SCANNER_WRITE_RECORDS names a file to write the digests of this build to.
#include "parsing/CrwlParser.h"
#include "parsing/detail/ParserDefaults.h"
#include "support/Fixtures.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <map>

using crawlmere::test::ExactBuffer;
using crawlmere::test::fixturePath;
namespace detail = crawlmere::parsing::detail;

namespace {

QString optional(const char* name, const std::optional<QString>& value)
{
    return value ? QStringLiteral(" %1=%2").arg(QLatin1StringView(name), *value) : QString();
}

/// Scans `input` as the scanner fuzz target does (options from the first byte) and writes out
/// every answer the scanner gives.
QString renderScan(const QByteArray& input)
{
    if (input.isEmpty())
        return {};
    const auto flags = static_cast<uint8_t>(input.at(0));
    const ExactBuffer page(input.mid(1));
    detail::setParserDefaults({
        { QStringLiteral("htmlValidationEnabled"), true },
        { QStringLiteral("parserContentConsolidateWhitespace"), (flags & 0x40) != 0 },
        { QStringLiteral("parserContentOnlyParas"), (flags & 0x80) != 0 },
        { QStringLiteral("parserContentIncludeAltText"), (flags & 0x20) != 0 },
        { QStringLiteral("parserContentIgnoreNav"), (flags & 0x10) != 0 },
    });
    CrwlParser::Options options;
    options.allowNoLinks = true;
    options.withSEO = (flags & 0x01) != 0;
    options.checkImages = (flags & 0x02) != 0;
    options.lazyload = (flags & 0x04) != 0;
    options.linkedFiles = (flags & 0x08) != 0;
    options.collectNames = (flags & 0x10) != 0;
    options.searchMetaDataForURLs = (flags & 0x20) != 0;
    static constexpr int kFileTypes[] = { CrwlParser::HTML, CrwlParser::HTML, CrwlParser::HTML, CrwlParser::HTML,
        CrwlParser::HTML, CrwlParser::CommaSeparatedList, CrwlParser::WhitespaceSeparatedList, CrwlParser::XMLSitemap };
    options.fileType = kFileTypes[(flags >> 5) & 7];
    const auto parser
        = CrwlParser::initWithData(QByteArray::fromRawData(page.data(), qsizetype(page.size())), options);
    detail::setParserDefaults({});
    if (!parser)
        return QStringLiteral("no scanner");
    QStringList out { QStringLiteral("title %1").arg(parser->getTitle()),
        QStringLiteral("canonical %1").arg(parser->getCanonical()), QStringLiteral("base %1").arg(parser->getBaseHref()),
        QStringLiteral("robots %1 %2").arg(parser->getHeadContainsNoindex()).arg(parser->getHeadContainsNofollow()),
        QStringLiteral("encoding %1").arg(parser->encoding()), QStringLiteral("text %1").arg(parser->getTextContent()),
        QStringLiteral("words %1").arg(parser->getWordCount()) };
    for (const CrwlLinkRecord& record : parser->getCollection())
        out << QStringLiteral("link %1 %2%3%4%5%6%7%8")
                   .arg(record.urlArray.join(u'|'))
                   .arg(record.lineNumber.value_or(-1))
                   .arg(optional("text", record.linkText), optional("alt", record.altText), optional("rel", record.rel),
                       optional("type", record.type), optional("hreflang", record.hreflang),
                       optional("target", record.target));
    for (const QVariant& tag : parser->getMetaData()) {
        const QVariantMap map = tag.toMap();
        for (auto it = map.constBegin(); it != map.constEnd(); ++it)
            out << QStringLiteral("meta %1=%2").arg(it.key(), it.value().toString());
    }
    for (const QString& heading : parser->getHeadings())
        out << QStringLiteral("heading ") + heading;
    for (const QString& name : parser->getNames())
        out << QStringLiteral("name ") + name;
    for (const QString& warning : parser->getWarnings())
        out << QStringLiteral("warning ") + warning;
    while (const auto url = parser->getNextHref())
        out << QStringLiteral("href %1 %2 %3 %4 %5 %6 %7")
                   .arg(*url, parser->getLinkText(), parser->getRel(), parser->getTypeAttribute(),
                       parser->getHreflang(), parser->getTargetAttr())
                   .arg(parser->getLineNumber().value_or(-1));
    return out.join(u'\n');
}

/// The inputs by name: each fixture page with each option byte of the fuzz seeds in front, or the
/// files of the folder the environment names.
std::map<QString, QByteArray> inputs()
{
    std::map<QString, QByteArray> found;
    const QString folder = qEnvironmentVariable("CRAWLMERE_SCANNER_INPUTS");
    if (!folder.isEmpty()) {
        for (QDirIterator it(folder, QDir::Files); it.hasNext();) {
            QFile file(it.next());
            if (file.open(QIODevice::ReadOnly))
                found[it.fileName()] = file.readAll();
        }
        return found;
    }
    const QDir fixtures(fixturePath(QString()));
    for (const char* family : { "pages", "lists" }) {
        QDirIterator it(fixturePath(QLatin1StringView(family)), { "*.html", "*.xml", "*.txt", "*.csv" }, QDir::Files,
            QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile file(it.next());
            if (!file.open(QIODevice::ReadOnly))
                continue;
            const QByteArray bytes = file.readAll();
            for (const uint8_t flags : { 0x00, 0x0f, 0x3f, 0x7f, 0xbf, 0xff })
                found[QStringLiteral("%1 %2").arg(flags, 2, 16, QLatin1Char('0')).arg(fixtures.relativeFilePath(file.fileName()))]
                    = char(flags) + bytes;
        }
    }
    return found;
}

/// The digest of every input, by input name.
std::map<QString, QString> digests()
{
    const auto pages = inputs();
    std::map<QString, QString> found;
    for (const auto& [name, input] : pages)
        found[name] = QCryptographicHash::hash(renderScan(input).toUtf8(), QCryptographicHash::Sha256).toHex().left(24);
    return found;
}

/// Holds every input's digest against the reference file `recordsPath`: a file that is not there
/// fails the check (a new reference is written only when asked for by name).
void checkAgainstRecords(const QString& recordsPath)
{
    QFile records(recordsPath);
    if (!records.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "no reference digests at " << recordsPath.toStdString()
                      << " (CRAWLMERE_SCANNER_WRITE_RECORDS=FILE writes them)";
        return;
    }
    std::map<QString, QString> expected;
    for (const QString& line : QString::fromUtf8(records.readAll()).split(u'\n', Qt::SkipEmptyParts))
        expected[line.section(u'\t', 1)] = line.section(u'\t', 0, 0);
    const auto pages = inputs();
    ASSERT_GT(pages.size(), 100u);
    for (const auto& [name, input] : pages) {
        const QString rendered = renderScan(input);
        const QString digest = QCryptographicHash::hash(rendered.toUtf8(), QCryptographicHash::Sha256).toHex().left(24);
        EXPECT_EQ(expected[name], digest) << name.toStdString() << " now gives:\n" << rendered.toStdString();
    }
    EXPECT_EQ(expected.size(), pages.size()) << "inputs came or went";
}

} // namespace

TEST(ScannerRecords, EveryFixturePageGivesTheRecordsItGaveBefore)
{
    QString recordsPath = qEnvironmentVariable("CRAWLMERE_SCANNER_RECORDS");
    if (recordsPath.isEmpty())
        recordsPath = fixturePath(QStringLiteral("pages/scanner-records.tsv"));
    if (const QString writeTo = qEnvironmentVariable("CRAWLMERE_SCANNER_WRITE_RECORDS"); !writeTo.isEmpty()) {
        QStringList lines;
        for (const auto& [name, digest] : digests())
            lines << digest + u'\t' + name;
        QFile written(writeTo);
        ASSERT_TRUE(written.open(QIODevice::WriteOnly)) << writeTo.toStdString();
        written.write((lines.join(u'\n') + u'\n').toUtf8());
        recordsPath = writeTo;
    }
    checkAgainstRecords(recordsPath);
}

TEST(ScannerRecords, AMissingReferenceFailsAndNoneIsWritten)
{
    const QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString missing = folder.filePath(QStringLiteral("scanner-records.tsv"));
    EXPECT_NONFATAL_FAILURE(checkAgainstRecords(missing), "no reference digests at");
    EXPECT_FALSE(QFile::exists(missing));
}
