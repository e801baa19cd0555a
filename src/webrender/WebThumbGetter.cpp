// A site's thumbnail made on the browser engine, in a program of its own.
#include "webrender/WebThumbGetter.h"

#include "platform/Log.h"
#include "platform/Paths.h"
#include "platform/Strings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>

#include <algorithm>
#include <deque>
#include <utility>

namespace crawlmere::webrender {

using platform::logLine;

namespace {

/// The exit statuses of the thumbnail program.
enum ProgramStatus { kWritten = 0, kWriteFailed = 1, kCertificateRejected = 2 };

QString& programOverride()
{
    static QString path;
    return path;
}

/// The places for running programs, over all getters (main thread only).
struct Places {
    int taken = 0;
    /// Getters waiting for a place, oldest first.
    std::deque<WebThumbGetter*> waiting;
};

Places& places()
{
    static Places all;
    return all;
}

} // namespace

WebThumbGetter::WebThumbGetter(const QString& url, const QString& path, settings::ThumbGetterFactory::Callback callback,
    std::chrono::milliseconds giveUpAfter)
    : passedUrl(normalisedUrl(url))
    , thisUrl(passedUrl)
    , location(path)
    , owner(std::move(callback))
{
    logLine(2, QStringLiteral("initing WTG with %1 for location %2").arg(url, path));
    giveUp.setSingleShot(true);
    giveUp.setInterval(giveUpAfter);
    connect(&giveUp, &QTimer::timeout, this, [this] {
        if (hasResponded)
            return;
        logLine(2, QStringLiteral("%1 has timed out").arg(thisUrl));
        hasResponded = true;
        release();
    });
}

WebThumbGetter::~WebThumbGetter() { release(); }

QString WebThumbGetter::normalisedUrl(const QString& url)
{
    const QString http = QStringLiteral("http://");
    if (url.size() < 7)
        return http + url;
    if (url.contains(QLatin1String("://")))
        return url;
    if (url.size() < 9)
        return http + url;
    if (platform::Paths::isLocalPath(url)) {
        QString path = platform::strings::decodingXmlEntities(platform::Paths::expandTilde(url));
        return QStringLiteral("file://") + path.replace(QLatin1Char(' '), QLatin1String("%20"));
    }
    return http + url;
}

QString WebThumbGetter::program()
{
    if (!programOverride().isEmpty())
        return programOverride();
    // Read from the process itself, as the module is found.
    const QDir folder = QFileInfo(QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath()).dir();
    const QString name = QString::fromLatin1(kProgramName);
    for (const QString& path : { folder.filePath(name), folder.filePath(QStringLiteral("../lib/crawlmere/") + name) }) {
        if (QFileInfo(path).isExecutable())
            return QDir::cleanPath(path);
    }
    return QString();
}

void WebThumbGetter::setProgram(const QString& path) { programOverride() = path; }

QProcess* WebThumbGetter::process() const { return running; }

void WebThumbGetter::getImage()
{
    if (running || hasResponded || waiting)
        return;
    if (program().isEmpty()) {
        logLine(0, QStringLiteral("the thumbnail program %1 was not found: no thumbnail for %2")
                       .arg(QString::fromLatin1(kProgramName), thisUrl));
        hasResponded = true;
        return;
    }
    if (places().taken >= kMostRunning) {
        logLine(2, QStringLiteral("%1 waits for another thumbnail").arg(thisUrl));
        waiting = true;
        places().waiting.push_back(this);
        return;
    }
    startProgram();
}

void WebThumbGetter::startWaiting()
{
    Places& all = places();
    while (all.taken < kMostRunning && !all.waiting.empty()) {
        WebThumbGetter* next = all.waiting.front();
        all.waiting.pop_front();
        next->waiting = false;
        next->startProgram();
    }
}

void WebThumbGetter::startProgram()
{
    ++places().taken;
    holdsPlace = true;
    running = new QProcess(this);
    running->setProgram(program());
    running->setArguments({ thisUrl, location });
    running->setStandardOutputFile(QProcess::nullDevice());
    connect(running, &QProcess::readyReadStandardError, this, &WebThumbGetter::logOutput);
    connect(running, &QProcess::finished, this, [this](int exitCode, QProcess::ExitStatus exitStatus) {
        programFinished(exitStatus == QProcess::NormalExit ? exitCode : -1);
    });
    connect(running, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            programFinished(-1);
    });
    giveUp.start();
    running->start();
}

void WebThumbGetter::stopLoading()
{
    if (!running && !waiting)
        return;
    hasResponded = true;
    release();
}

void WebThumbGetter::logOutput()
{
    if (!running)
        return;
    const QList<QByteArray> lines = running->readAllStandardError().split('\n');
    for (const QByteArray& line : lines) {
        if (!line.trimmed().isEmpty())
            logLine(2, QStringLiteral("thumbnail %1: %2").arg(thisUrl, QString::fromLocal8Bit(line)));
    }
}

void WebThumbGetter::programFinished(int exitCode)
{
    if (hasResponded)
        return;
    logOutput();
    hasResponded = true;
    giveUp.stop();
    release();
    if (exitCode == kCertificateRejected)
        logLine(1, QStringLiteral("no thumbnail for %1: the browser engine rejected its certificate").arg(thisUrl));
    else if (exitCode == kWriteFailed)
        logLine(0, QStringLiteral("unable to write the thumbnail %1 of %2").arg(location, thisUrl));
    else if (exitCode != kWritten)
        logLine(1,
            QStringLiteral("no thumbnail for %1: the thumbnail program ended with %2")
                .arg(thisUrl, QString::number(exitCode)));
    if ((exitCode == kWritten || exitCode == kWriteFailed) && owner)
        owner(*this);
}

void WebThumbGetter::release()
{
    if (waiting) {
        waiting = false;
        std::erase(places().waiting, this);
    }
    QProcess* process = std::exchange(running, nullptr);
    if (process) {
        process->disconnect(this);
        if (process->state() != QProcess::NotRunning) {
            process->kill();
            process->waitForFinished(2000);
        }
        process->deleteLater();
    }
    if (!holdsPlace)
        return;
    holdsPlace = false;
    --places().taken;
    // The next program starts from the event loop, not while this getter (or its owner's list
    // of getters) is being torn down; with the application gone, none starts.
    if (QCoreApplication* application = QCoreApplication::instance())
        QMetaObject::invokeMethod(application, &WebThumbGetter::startWaiting, Qt::QueuedConnection);
}

} // namespace crawlmere::webrender
