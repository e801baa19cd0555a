// Atomic writes: the new text in full, or a refusal with its reason.
#include "platform/TextFile.h"

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
        EXPECT_FALSE(crawlmere::platform::saveTextAtomically(target, QStringLiteral("new"), &error)) << target.toStdString();
        EXPECT_FALSE(error.isEmpty());
    }
    EXPECT_TRUE(QFileInfo(folder.path()).isDir());
}
