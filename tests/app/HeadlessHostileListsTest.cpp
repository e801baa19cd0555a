// The built program handed property lists made to defeat its limits: nesting hidden where
// libplist does not look, as a settings file, a site list and the defaults store, and a settings
// file whose site would make the store larger than the program reads.
#include "HeadlessProgramTestSupport.h"

using namespace crawlmere::test::program;

namespace {

// 500 arrays and their end tags inside a processing instruction, 600 times over: 300,000 levels
// as libplist reads it.
QByteArray hiddenNesting()
{
    const QByteArray block
        = QByteArray("<array>").repeated(500) + "<?x > " + QByteArray("</array>").repeated(500) + " ?>";
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">" + block.repeated(600) + "</plist>\n";
}

// A binary settings file of about 1 MB: a site whose unknown key holds one 250-character string
// a million times over, which the list stores once and refers to.
QByteArray sharedStringSite(const QString& url)
{
    QByteArray objects;
    QList<quint32> offsets;
    const auto object = [&](const QByteArray& bytes) {
        offsets.append(quint32(8 + objects.size()));
        objects.append(bytes);
    };
    object(QByteArray("\xD3\x01\x02\x03\x04\x05\x06", 7)); // {startingUrl, name, unknown}
    object("\x5B" + QString(crawlKey::startingUrl.view()).toLatin1());
    object("\x54"
           "name");
    object("\x57"
           "unknown");
    object(QByteArray("\x5F\x10", 2) + char(url.size()) + url.toLatin1());
    object("\x57"
           "Shared!");
    QByteArray array("\xAF\x12\x00\x0F\x42\x40", 6); // a million references to object 7
    array.append(QByteArray(1000000, '\x07'));
    object(array);
    object(QByteArray("\x5F\x11\x00\xFA", 4) + QByteArray(250, 'x'));
    QByteArray table;
    for (const quint32 offset : offsets)
        for (int shift = 24; shift >= 0; shift -= 8)
            table.append(char((offset >> shift) & 0xFF));
    const quint32 tableOffset = quint32(8 + objects.size());
    QByteArray trailer(32, '\0');
    trailer[6] = 4;
    trailer[7] = 1;
    trailer[15] = char(offsets.size());
    for (int i = 0; i < 4; ++i)
        trailer[28 + i] = char((tableOffset >> (24 - 8 * i)) & 0xFF);
    return "bplist00" + objects + table + trailer;
}

bool plant(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly)
        && file.write(bytes) == bytes.size();
}

} // namespace

TEST(HeadlessHostileLists, NestingHiddenFromTheCheckIsRefusedAsSettingsSiteListAndStore)
{
    if (!QFileInfo::exists(programPath()))
        GTEST_SKIP() << "the crawlmere program is not built beside the tests";
    const QString nested = QStringLiteral("the property list is nested deeper than 512 levels");
    QTemporaryDir home;
    for (const char* kind : { "lcsettings", "lcsbatch" }) {
        const QString file = home.filePath(QStringLiteral("deep.") + QLatin1String(kind));
        ASSERT_TRUE(plant(file, hiddenNesting()));
        const ProgramRun run = runProgram({ QStringLiteral("--headless"), file }, QString(), home.path());
        EXPECT_EQ(run.status, 1) << kind << qPrintable(run.err);
        EXPECT_TRUE(run.err.contains(QStringLiteral("%1 file %2 could not be read: %3").arg(kind, file, nested)))
            << qPrintable(run.err);
    }
    // As the store, it is set aside as any store that does not read, and the scan goes on.
    const QString store = home.filePath(QStringLiteral(".config/Crawlmere/defaults.plist"));
    ASSERT_TRUE(plant(store, hiddenNesting()));
    const QString page
        = QFileInfo(QStringLiteral(CRAWLMERE_FIXTURES "/../../examples/sample-site/index.html")).absoluteFilePath();
    const ProgramRun run = runProgram({ QStringLiteral("--headless"), page }, QString(), home.path());
    EXPECT_EQ(run.status, 0) << qPrintable(run.err);
    EXPECT_TRUE(run.err.contains(QStringLiteral("defaults: %1: %2; kept it as").arg(store, nested)))
        << qPrintable(run.err);
}

TEST(HeadlessHostileLists, ASiteThatWouldMakeTheStoreUnreadableIsNotImportedAndTheStoreStays)
{
    if (!QFileInfo::exists(programPath()))
        GTEST_SKIP() << "the crawlmere program is not built beside the tests";
    QTemporaryDir home;
    const QString page
        = QFileInfo(QStringLiteral(CRAWLMERE_FIXTURES "/../../examples/sample-site/index.html")).absoluteFilePath();
    const QString earlier = writeSiteFile(home, QStringLiteral("20260101-1200001"), page);
    ASSERT_EQ(runProgram({ QStringLiteral("--headless"), earlier }, QString(), home.path()).status, 0);
    const QString store = home.filePath(QStringLiteral(".config/Crawlmere/defaults.plist"));
    QFile before(store);
    ASSERT_TRUE(before.open(QIODevice::ReadOnly));
    const QByteArray storedBefore = before.readAll();

    const QString hostile = home.filePath(QStringLiteral("shared.lcsettings"));
    ASSERT_TRUE(plant(hostile, sharedStringSite(QUrl::fromLocalFile(page).toString())));
    const ProgramRun refused = runProgram({ QStringLiteral("--headless"), hostile }, QString(), home.path());
    EXPECT_EQ(refused.status, 1) << qPrintable(refused.err);
    EXPECT_TRUE(refused.err.contains(QStringLiteral("The site of %1 could not be stored: ").arg(hostile)))
        << qPrintable(refused.err);
    EXPECT_TRUE(refused.err.contains(QStringLiteral("larger than 268435456 bytes"))) << qPrintable(refused.err);
    QFile after(store);
    ASSERT_TRUE(after.open(QIODevice::ReadOnly));
    EXPECT_EQ(after.readAll(), storedBefore);

    const ProgramRun plain = runProgram({ QStringLiteral("--headless"), page }, QString(), home.path());
    EXPECT_EQ(plain.status, 0) << qPrintable(plain.err);
    EXPECT_EQ(storedSiteIds(home.path()).value(QStringLiteral("20260101-1200001")), 1);
}
