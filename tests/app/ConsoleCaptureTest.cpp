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

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sys/wait.h>
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
        // What the capture passes on to the terminal goes nowhere unless a test looks at it.
        m_terminal = ::dup(STDERR_FILENO);
        const int quiet = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        ::dup2(quiet, STDERR_FILENO);
        ::close(quiet);
    }
    void TearDown() override
    {
        m_capture.stop();
        ::dup2(m_terminal, STDERR_FILENO);
        ::close(m_terminal);
    }

    // Lets the main thread take deliveries until `expected` has been shown (or 10 s passed).
    void waitFor(const QString& expected)
    {
        const QDeadlineTimer deadline(10000);
        while (m_shown.size() < expected.size() && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }

    ConsoleCapture m_capture;
    QString m_shown;
    int m_terminal = -1;
};

/// Reads `fd` (non-blocking) until what it gave holds `expected`, without running any event
/// loop; false after 10 s.
bool readUntil(int fd, const QByteArray& expected, QByteArray& got)
{
    const QDeadlineTimer deadline(10000);
    char buffer[4096];
    while (!got.contains(expected) && !deadline.hasExpired()) {
        const ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count > 0)
            got.append(buffer, count);
        else
            ::usleep(2000);
    }
    return got.contains(expected);
}

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

TEST_F(ConsoleCaptureTest, WhatIsWrittenReachesTheTerminalAndTheLogWhileTheMainThreadNeverRuns)
{
    QTemporaryDir folder;
    const QString log = folder.filePath("console.log");
    int terminal[2];
    ASSERT_EQ(::pipe2(terminal, O_NONBLOCK | O_CLOEXEC), 0);
    ::dup2(terminal[1], STDERR_FILENO);
    m_capture.setLogFile(log);
    ASSERT_TRUE(m_capture.start());
    writeAll("the display went away\nconn nw_connection noise\n");
    // No event is processed from here on, as when the main thread hangs or is gone.
    QByteArray onTerminal;
    EXPECT_TRUE(readUntil(terminal[0], "the display went away\n", onTerminal)) << onTerminal.constData();
    const int logFd = ::open(QFile::encodeName(log).constData(), O_RDONLY | O_CLOEXEC);
    QByteArray inLog;
    EXPECT_TRUE(logFd >= 0 && readUntil(logFd, "the display went away\n", inLog)) << inLog.constData();
    EXPECT_FALSE(inLog.contains("nw_connection")); // the log is the console's filtered text
    ::close(logFd);
    EXPECT_TRUE(m_shown.isEmpty());
    m_capture.stop();
    ::close(terminal[0]);
    ::close(terminal[1]);
}

TEST_F(ConsoleCaptureTest, AnAbortAfterTheLastWordsStillBringsThemToTheTerminal)
{
    int terminal[2];
    ASSERT_EQ(::pipe2(terminal, O_CLOEXEC), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::dup2(terminal[1], STDERR_FILENO);
        ConsoleCapture capture;
        if (!capture.start())
            ::_exit(3);
        const char words[] = "a crash report\n";
        [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, words, sizeof words - 1);
        std::abort();
    }
    ::close(terminal[1]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGABRT) << status;
    QByteArray got;
    char buffer[4096];
    ssize_t count = 0;
    while ((count = ::read(terminal[0], buffer, sizeof buffer)) > 0)
        got.append(buffer, count);
    ::close(terminal[0]);
    EXPECT_TRUE(got.contains("a crash report\n")) << got.constData();
}
