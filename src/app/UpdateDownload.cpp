// The download of a new build into the download folder.
#include "app/UpdateDownload.h"

#include "platform/Dispatch.h"
#include "platform/HeldFolder.h"
#include "platform/UrlSession.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace crawlmere::app {

using platform::Dispatch::toMain;

namespace {

const QString kFallbackName = QStringLiteral("Crawlmere-update");
constexpr qint64 kUnknownSizeReportStep = 256 * 1024;

bool writeAll(int fd, const char* bytes, qint64 size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, bytes, size_t(size));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        bytes += written;
        size -= written;
    }
    return true;
}

} // namespace

/// The temporary file and the transfer's facts, shared by the worker's callbacks and the main
/// thread. The callbacks run one at a time; the main thread reads only after the completion.
struct UpdateDownload::State {
    /// The download folder, held from the start: the build is written and named only there.
    platform::HeldFolder folder;
    QByteArray tempName;
    int fd = -1;
    int statusCode = 0;
    bool writeFailed = false;
    qint64 received = 0;
    qint64 expected = -1;
    qint64 lastReported = -1;
    std::atomic<bool> kept { false };

    ~State()
    {
        if (fd >= 0)
            ::close(fd);
        if (!kept.load() && !tempName.isEmpty())
            ::unlinkat(folder.descriptor(), tempName.constData(), 0);
    }
};

UpdateDownload::UpdateDownload(QUrl url, QString folder, Progress progress, Done done)
    : m_url(std::move(url))
    , m_folder(std::move(folder))
    , m_progress(std::move(progress))
    , m_done(std::move(done))
    , m_state(std::make_shared<State>())
{
}

UpdateDownload::~UpdateDownload()
{
    if (m_session)
        m_session->invalidateAndCancel();
}

std::shared_ptr<UpdateDownload> UpdateDownload::start(
    const QUrl& url, const QString& folder, Progress progress, Done done, qint64 maxBytes)
{
    std::shared_ptr<UpdateDownload> download(new UpdateDownload(url, folder, std::move(progress), std::move(done)));
    const std::shared_ptr<State> state = download->m_state;
    auto held = platform::HeldFolder::reach(folder);
    if (!held)
        return nullptr;
    state->folder = std::move(held).value();
    for (int attempt = 0; attempt < 100 && state->fd < 0; ++attempt) {
        const QByteArray name = ".crawlmere-download-" + QByteArray::number(QRandomGenerator::global()->generate(), 36);
        // The build is the user's file like any other download, not a private temporary one.
        state->fd = ::openat(state->folder.descriptor(), name.constData(),
            O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0644);
        if (state->fd >= 0)
            state->tempName = name;
        else if (errno != EEXIST)
            return nullptr;
    }
    if (state->fd < 0)
        return nullptr;

    const std::weak_ptr<UpdateDownload> weak = download;
    platform::UrlSessionDelegate delegate;
    delegate.didReceiveResponse = [state](platform::UrlSession&, const platform::UrlResponse& response) {
        // Every answer starts from an empty file.
        state->statusCode = response.statusCode;
        state->received = 0;
        state->lastReported = -1;
        state->expected = response.expectedContentLength;
        if (::ftruncate(state->fd, 0) != 0 || ::lseek(state->fd, 0, SEEK_SET) != 0)
            state->writeFailed = true;
        const bool success = response.statusCode >= 200 && response.statusCode < 300;
        return success && !state->writeFailed ? platform::ResponseDisposition::Allow
                                              : platform::ResponseDisposition::Cancel;
    };
    delegate.didReceiveData = [state, weak](platform::UrlSession& session, const QByteArray& chunk) {
        if (state->writeFailed)
            return;
        if (!writeAll(state->fd, chunk.constData(), chunk.size())) {
            state->writeFailed = true;
            session.cancel();
            return;
        }
        state->received += chunk.size();
        const qint64 expected = state->expected;
        const qint64 mark = expected > 0 ? state->received * 1000 / expected : state->received / kUnknownSizeReportStep;
        if (mark == state->lastReported)
            return;
        state->lastReported = mark;
        toMain([weak, received = state->received, expected] {
            if (const auto self = weak.lock(); self && self->m_progress)
                self->m_progress(received, expected);
        });
    };
    delegate.didCompleteWithError = [state, weak](platform::UrlSession&, const platform::UrlTaskResult& result) {
        const bool synced = state->fd >= 0 && ::fsync(state->fd) == 0;
        if (state->fd >= 0)
            ::close(state->fd);
        state->fd = -1;
        const bool complete
            = !result.error && synced && !state->writeFailed && state->statusCode >= 200 && state->statusCode < 300;
        toMain([weak, complete] {
            if (const auto self = weak.lock())
                self->finish(complete);
        });
    };

    platform::UrlRequest request(QString::fromUtf8(url.toEncoded()), kIdleTimeout);
    request.httpShouldHandleCookies = false;
    request.maxBodyBytes = maxBytes;
    download->m_session = platform::UrlSession::create(std::move(delegate));
    download->m_session->start(request);
    return download;
}

void UpdateDownload::finish(bool complete)
{
    // Keeps this object alive while `done` runs, even when `done` drops the owner's pointer.
    const auto self = shared_from_this();
    m_session.reset();
    Outcome outcome;
    if (complete) {
        const std::optional<QString> path = moveIntoPlace(m_state->folder, m_state->tempName, safeFileName(m_url));
        if (path) {
            m_state->kept = true;
            outcome = { Outcome::Result::Saved, *path };
        } else {
            outcome.result = Outcome::Result::SaveFailed;
        }
    }
    if (m_done)
        m_done(outcome);
}

QString UpdateDownload::safeFileName(const QUrl& url)
{
    // Split while still encoded, so that an encoded "/" stays inside its segment.
    const QString encodedPath = url.path(QUrl::FullyEncoded);
    const QString segment = encodedPath.section(u'/', -1);
    const QString name = QUrl::fromPercentEncoding(segment.toUtf8());
    if (name.isEmpty() || name == u"." || name == u".." || name.toUtf8().size() > 255)
        return kFallbackName;
    for (const QChar c : name) {
        if (c == u'/' || c.unicode() < 0x20 || c.unicode() == 0x7f)
            return kFallbackName;
    }
    return name;
}

std::optional<QString> UpdateDownload::moveIntoPlace(
    const platform::HeldFolder& folder, const QByteArray& source, const QString& name)
{
    const QFileInfo info(name);
    const QString base = info.completeBaseName();
    const QString suffix = info.suffix();
    const bool hasSuffix = !suffix.isEmpty() && !base.isEmpty();
    for (int number = 1; number <= 1000; ++number) {
        QString candidate = name;
        if (number > 1) {
            candidate = hasSuffix ? QStringLiteral("%1 (%2).%3").arg(base).arg(number).arg(suffix)
                                  : QStringLiteral("%1 (%2)").arg(name).arg(number);
        }
        // Never replaces what has the name, and never leaves the folder held.
        if (::renameat2(folder.descriptor(), source.constData(), folder.descriptor(),
                QFile::encodeName(candidate).constData(), RENAME_NOREPLACE)
            == 0)
            return QDir(folder.path()).filePath(candidate);
        if (errno != EEXIST)
            return std::nullopt;
    }
    return std::nullopt;
}

} // namespace crawlmere::app
