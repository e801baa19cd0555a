#include "platform/Mail.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QMap>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using crawlmere::platform::Mail;

namespace {

// Splits a mailto: URL received as one argument back into its recipient and decoded fields.
QMap<QString, QString> decodeMailto(const QByteArray& url)
{
    QMap<QString, QString> fields;
    const QByteArray rest = url.mid(qsizetype(sizeof("mailto:") - 1));
    const qsizetype question = rest.indexOf('?');
    fields["to"] = QString::fromUtf8(QByteArray::fromPercentEncoding(rest.left(question)));
    if (question >= 0)
        for (const QByteArray& pair : rest.mid(question + 1).split('&')) {
            const qsizetype equals = pair.indexOf('=');
            fields[QString::fromLatin1(pair.left(equals))]
                = QString::fromUtf8(QByteArray::fromPercentEncoding(pair.mid(equals + 1)));
        }
    return fields;
}

class MailTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_folder.isValid());
        m_received = m_folder.filePath("received");
        const QString stub = m_folder.filePath("mailer");
        QFile script(stub);
        ASSERT_TRUE(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\nprintf '%s' \"$1\" > '" + m_received.toUtf8() + "'\n");
        script.close();
        script.setPermissions(script.permissions() | QFile::ExeOwner);
        m_savedMailer = qgetenv("MAILER");
        qputenv("MAILER", stub.toUtf8());
    }
    void TearDown() override { qputenv("MAILER", m_savedMailer); }

    // Sends and waits for xdg-email to end; the outcome, or nullopt when `done` never came.
    std::optional<bool> send(const QString& to, const QString& subject, const QString& body, const QString& attachment)
    {
        std::optional<bool> outcome;
        if (!Mail::sendEmailTo(to, subject, body, attachment, [&](bool sent) { outcome = sent; }))
            return false;
        const QDeadlineTimer deadline(10000);
        while (!outcome && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        return outcome;
    }

    QMap<QString, QString> received()
    {
        QFile file(m_received);
        return file.open(QIODevice::ReadOnly) ? decodeMailto(file.readAll()) : QMap<QString, QString>();
    }

    QTemporaryDir m_folder;
    QString m_received;
    QByteArray m_savedMailer;
};

} // namespace

TEST_F(MailTest, EveryTextReachesTheClientIntact)
{
    const QString subject = QString::fromUtf8("It's \"done\" & ready? 100% \\c \xC3\xA9t\xC3\xA9 \xE2\x9C\x93");
    const QString body = QString::fromUtf8("line one\nline 'two' $HOME `id`\r\n\\n\\c a=b&c=d #x +y \xF0\x9F\x98\x80");
    const QString attachment = m_folder.filePath("report & co.csv");
    QFile file(attachment);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();

    ASSERT_EQ(send(QStringLiteral("  \n o'neil+x@example.com \t"), subject, body, attachment), true);
    const auto fields = received();
    EXPECT_EQ(fields.value("to"), QStringLiteral("o'neil+x@example.com"));
    EXPECT_EQ(fields.value("subject"), subject);
    EXPECT_EQ(fields.value("body"), QString(body).replace("\r\n", "\n").replace("\n", "\r\n"));
    EXPECT_EQ(fields.value("attach"), attachment);
}

TEST_F(MailTest, FailuresAreReported)
{
    EXPECT_EQ(send("a@example.com", "s", "b", m_folder.filePath("missing.pdf")), false);
    EXPECT_FALSE(QFile::exists(m_received));

    qputenv("MAILER", "false");
    EXPECT_EQ(send("a@example.com", "s", "b", QString()), false);

    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", m_folder.path().toUtf8());
    EXPECT_EQ(send("a@example.com", "s", "b", QString()), false);
    qputenv("PATH", path);
}
