// Atomic writes: the new text in full, or a refusal with its reason.
#include "platform/TextFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

TEST(TextFile, WritesUtf8InFullOrSaysWhyNot)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("a.txt"));
    ASSERT_TRUE(crawlmere::platform::saveTextAtomically(path, QStringLiteral("old")));
    ASSERT_TRUE(crawlmere::platform::saveTextAtomically(path, QStringLiteral("é\n")));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("\xc3\xa9\n"));
    file.close();

    // A missing folder, and a folder in the way of the file: refused with a reason.
    for (const QString& target : { folder.filePath(QStringLiteral("missing/a.txt")), folder.path() }) {
        QString error;
        EXPECT_FALSE(crawlmere::platform::saveTextAtomically(target, QStringLiteral("new"), &error))
            << target.toStdString();
        EXPECT_FALSE(error.isEmpty());
    }
    EXPECT_TRUE(QFileInfo(folder.path()).isDir());
}

TEST(TextFile, StreamsPiecesInOrderOrKeepsTheOldFileAndSaysWhy)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("s.txt"));
    const struct {
        int givesUpAfter; // pieces written before the writer answers false; 4: it finishes
        QString target;
        const char* reason; // part of the error; null: written
    } cases[] = {
        { 4, path, nullptr },
        { 2, path, "stopped before the file was complete" },
        { 4, folder.filePath(QStringLiteral("missing/s.txt")), "" },
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(crawlmere::platform::saveBytesAtomically(path, "old"));
        QString error;
        const auto writer = [&c](const crawlmere::platform::PieceWriter& write) {
            for (int i = 0; i < c.givesUpAfter; ++i) {
                if (!write(QByteArray(1 + i, char('a' + i))))
                    return false;
            }
            return c.givesUpAfter == 4;
        };
        EXPECT_EQ(crawlmere::platform::saveStreamAtomically(c.target, writer, &error), c.reason == nullptr);
        EXPECT_TRUE(c.reason ? !error.isEmpty() && error.contains(QLatin1String(c.reason)) : error.isEmpty())
            << qPrintable(error);
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), c.reason ? QByteArray("old") : QByteArray("abbcccdddd")) << c.givesUpAfter;
        EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files), QStringList { QStringLiteral("s.txt") });
    }
}

TEST(TextFile, ReadsAtMostOneBytePastTheCapAndReservesOnlyWhatItReads)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("b.bin"));
    constexpr qint64 cap = qint64(64) << 20;
    struct Case {
        qint64 fileBytes, capBytes, from, expected;
    };
    for (const Case& c : { Case { 0, cap, 0, 0 }, Case { 10, cap, 0, 10 }, Case { 10, cap, 4, 6 },
             Case { 3 << 20, cap, 0, 3 << 20 }, Case { 100, 100, 0, 100 }, Case { 105, 100, 0, 101 } }) {
        ASSERT_TRUE(crawlmere::platform::saveBytesAtomically(path, QByteArray(c.fileBytes, 'x')));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        file.seek(c.from);
        const QByteArray bytes = crawlmere::platform::readAtMost(file, c.capBytes);
        EXPECT_EQ(bytes.size(), c.expected) << c.fileBytes << " bytes, cap " << c.capBytes;
        // A small file under a large cap holds memory for what it read, not for the cap.
        EXPECT_LE(bytes.capacity(), 3 * c.expected + (qint64(2) << 20));
    }
}
