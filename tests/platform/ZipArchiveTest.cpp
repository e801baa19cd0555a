// ZipArchive over the committed DOCX fixtures: entries read in memory, lookups without regard
// to case, and the size cap against entries that claim or turn out to be too large.
#include "platform/ZipArchive.h"

#include "support/Fixtures.h"

#include <gtest/gtest.h>

using crawlmere::platform::ZipArchive;
using crawlmere::test::ExactBuffer;
using crawlmere::test::readFixture;

namespace {

constexpr qint64 kGenerous = 1024 * 1024;

} // namespace

TEST(ZipArchiveTest, ReadsEntriesInMemory)
{
    const ExactBuffer buffer(readFixture(QStringLiteral("documents/links.docx")));
    const std::optional<ZipArchive> archive = ZipArchive::fromData(buffer.bytes());
    ASSERT_TRUE(archive);

    const ZipArchive::EntryResult document = archive->readEntry(QStringLiteral("word/document.xml"), kGenerous);
    ASSERT_TRUE(document.bytes);
    EXPECT_TRUE(document.bytes->startsWith("<?xml"));
    EXPECT_TRUE(document.bytes->contains("Caf\xC3\xA9 cr\xC3\xA8me"));
    EXPECT_TRUE(document.bytes->endsWith("</w:document>"));
    EXPECT_TRUE(document.message.isEmpty());

    // Names compare without regard to letter case.
    const ZipArchive::EntryResult rels = archive->readEntry(QStringLiteral("WORD/_RELS/Document.xml.rels"), kGenerous);
    ASSERT_TRUE(rels.bytes);
    EXPECT_TRUE(rels.bytes->contains("rId10"));

    const ZipArchive::EntryResult missing = archive->readEntry(QStringLiteral("word/footnotes.xml"), kGenerous);
    EXPECT_FALSE(missing.bytes);
    EXPECT_EQ(missing.error, ZipArchive::EntryError::Missing);
    EXPECT_TRUE(missing.message.contains(QStringLiteral("word/footnotes.xml")));
}

TEST(ZipArchiveTest, TheCapHoldsAgainstTheHeaderAndAgainstTheData)
{
    // A stated size above the cap is refused before anything is read.
    const ExactBuffer links(readFixture(QStringLiteral("documents/links.docx")));
    const std::optional<ZipArchive> small = ZipArchive::fromData(links.bytes());
    ASSERT_TRUE(small);
    const ZipArchive::EntryResult tooLarge = small->readEntry(QStringLiteral("word/document.xml"), 100);
    EXPECT_FALSE(tooLarge.bytes);
    EXPECT_EQ(tooLarge.error, ZipArchive::EntryError::TooLarge);
    EXPECT_FALSE(tooLarge.message.isEmpty());

    // 40 MiB of blanks in 40 KiB: refused under a 32 MiB cap.
    const ExactBuffer bomb(readFixture(QStringLiteral("documents/bomb.docx")));
    const std::optional<ZipArchive> bombArchive = ZipArchive::fromData(bomb.bytes());
    ASSERT_TRUE(bombArchive);
    const ZipArchive::EntryResult exploded
        = bombArchive->readEntry(QStringLiteral("word/document.xml"), 32 * 1024 * 1024);
    EXPECT_FALSE(exploded.bytes);
    EXPECT_EQ(exploded.error, ZipArchive::EntryError::TooLarge);

    // The headers claim 100 bytes, the data holds about 8 KiB: reading stops at the cap.
    const ExactBuffer lying(readFixture(QStringLiteral("documents/lying_size.docx")));
    const std::optional<ZipArchive> lyingArchive = ZipArchive::fromData(lying.bytes());
    ASSERT_TRUE(lyingArchive);
    const ZipArchive::EntryResult overrun = lyingArchive->readEntry(QStringLiteral("word/document.xml"), 1024);
    EXPECT_FALSE(overrun.bytes);
    EXPECT_EQ(overrun.error, ZipArchive::EntryError::TooLarge);

    // The library itself reads past the stated size: only the read cap bounds the entry.
    const ZipArchive::EntryResult underCap = lyingArchive->readEntry(QStringLiteral("word/document.xml"), kGenerous);
    ASSERT_TRUE(underCap.bytes);
    EXPECT_GT(underCap.bytes->size(), 8192);
    EXPECT_TRUE(underCap.bytes->endsWith("</w:document>"));
}

TEST(ZipArchiveTest, BytesThatAreNoZip)
{
    QString failure;
    const ExactBuffer text(readFixture(QStringLiteral("documents/not_a_zip.docx")));
    EXPECT_FALSE(ZipArchive::fromData(text.bytes(), &failure));
    EXPECT_EQ(failure, QStringLiteral("not a zip archive"));

    failure.clear();
    EXPECT_FALSE(ZipArchive::fromData(QByteArray(), &failure));
    EXPECT_FALSE(failure.isEmpty());

    // The first half of a real archive: the central directory is gone.
    const QByteArray whole = readFixture(QStringLiteral("documents/links.docx"));
    const ExactBuffer half(whole.first(whole.size() / 2));
    failure.clear();
    EXPECT_FALSE(ZipArchive::fromData(half.bytes(), &failure));
    EXPECT_FALSE(failure.isEmpty());
}
