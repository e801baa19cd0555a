#include "app/Console.h"
#include "app/ConsoleCapture.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <unistd.h>

using crawlmere::app::Console;
using crawlmere::app::ConsoleCapture;

namespace {

void writeAll(const QByteArray& bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t count = ::write(STDERR_FILENO, bytes.constData() + done, size_t(bytes.size() - done));
        ASSERT_GT(count, 0);
        done += count;
    }
}

class ConsoleCaptureTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QObject::connect(&m_capture, &ConsoleCapture::textAppended, [this](const QString& text) { m_shown += text; });
    }
    void TearDown() override { m_capture.stop(); }

    // Lets the main thread take deliveries until `expected` has been shown (or 10 s passed).
    void waitFor(const QString& expected)
    {
        const QDeadlineTimer deadline(10000);
        while (m_shown.size() < expected.size() && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }

    ConsoleCapture m_capture;
    QString m_shown;
};

} // namespace

TEST_F(ConsoleCaptureTest, AMebibyteWrittenByTheMainThreadShowsWholeAndInOrder)
{
    QByteArray written;
    for (int line = 0; written.size() < 1024 * 1024; ++line)
        written += QByteArray("line ") + QByteArray::number(line) + " of the burst, tcp-free text\n";
    ASSERT_TRUE(m_capture.start());
    writeAll(written); // far past the pipe's capacity; the reader thread keeps it flowing
    waitFor(QString::fromUtf8(written));
    m_capture.stop();
    EXPECT_TRUE(m_shown == QString::fromUtf8(written)) << m_shown.size() << " of " << written.size();
}

TEST_F(ConsoleCaptureTest, CharactersSplitAcrossReadsAndNoiseLines)
{
    ASSERT_TRUE(m_capture.start());
    writeAll("euro \xE2\x82");
    // The reader shows what it has of the first part and keeps the unfinished character back.
    waitFor(QStringLiteral("euro "));
    ASSERT_EQ(m_shown, QStringLiteral("euro "));
    writeAll("\xAC sign\n"
             "bad \xFF byte\n"
             "an ordinary line\n"
             "conn nw_connection_copy failed\n"
             "after the noise\n"
             "ignorenw_ inside a word\n"
             "unfinished");
    m_capture.stop();
    EXPECT_EQ(m_shown, QString::fromUtf8("euro \xE2\x82\xAC sign\nbad \xEF\xBF\xBD byte\nan ordinary line\n"
                                         "after the noise\nunfinished"));
}

TEST_F(ConsoleCaptureTest, StoppingReturnsAtOnceWhileAChildStillHoldsThePipe)
{
    ASSERT_TRUE(m_capture.start());
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start("sh", { "-c", "echo from the child >&2; exec sleep 30" });
    ASSERT_TRUE(child.waitForStarted());
    waitFor("from the child\n");
    QElapsedTimer timer;
    timer.start();
    m_capture.stop();
    EXPECT_LT(timer.elapsed(), 2000);
    EXPECT_EQ(m_shown, "from the child\n");
    child.kill();
    child.waitForFinished();
}

TEST(Console, TheViewAndTheLogFileShowTheSameText)
{
    QTemporaryDir folder;
    const QString log = folder.filePath("console.log");
    qputenv("CRAWLMERE_LOG_FILE", log.toUtf8());
    {
        Console console;
        ASSERT_TRUE(console.start());
        qunsetenv("CRAWLMERE_LOG_FILE");
        writeAll("first line\nTIC Read Status [1]\nsecond \xC3\xA9 line\n");
        console.stop();
        QFile file(log);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QString mirrored = QString::fromUtf8(file.readAll());
        EXPECT_TRUE(mirrored.startsWith("also sending output to: " + log + "\n")) << mirrored.toStdString();
        EXPECT_TRUE(mirrored.endsWith(QString::fromUtf8("first line\nsecond \xC3\xA9 line\n")));
        EXPECT_EQ(console.outputView()->toPlainText(), mirrored);
        EXPECT_TRUE(console.findNext("second"));
        EXPECT_EQ(console.outputView()->textCursor().selectedText(), "second");
    }
    Console unmirrored;
    ASSERT_TRUE(unmirrored.start());
    EXPECT_TRUE(unmirrored.capture().logFile().isEmpty());
    unmirrored.stop();
}
