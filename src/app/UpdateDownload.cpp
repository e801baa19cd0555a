// The download of a new build into the download folder.
#include "app/UpdateDownload.h"

#include "platform/AtomicFile.h"
#include "platform/Dispatch.h"
#include "platform/HeldFolder.h"
#include "platform/UrlSession.h"

#include <QDir>
#include <QFileInfo>

namespace crawlmere::app {

using platform::Dispatch::toMain;

namespace {

const QString kFallbackName = QStringLiteral("Crawlmere-update");
constexpr qint64 kUnknownSizeReportStep = 256 * 1024;
/// Numbered names tried when the file's own is taken.
constexpr int kMostNames = 1000;

/// `name`, or for `number` > 1 "stem (number).ext" ("name (number)" without an extension).
QString numberedName(const QString& name, int number)
{
    if (number <= 1)
        return name;
    const QFileInfo info(name);
    const QString base = info.completeBaseName();
    const QString suffix = info.suffix();
    if (!suffix.isEmpty() && !base.isEmpty())
        return QStringLiteral("%1 (%2).%3").arg(base, QString::number(number), suffix);
    return QStringLiteral("%1 (%2)").arg(name, QString::number(number));
}

} // namespace

/// The file being written and the transfer's facts, shared by the worker's callbacks and the main
/// thread. The callbacks run one at a time; the main thread reads only after the completion.
struct UpdateDownload::State {
    /// The download folder, held from the start: the build is written and named only there.
    platform::HeldFolder folder;
    /// The build, in a temporary file of the folder until it is complete; dropped unless
    /// committed. Declared after the folder it is written through.
    std::unique_ptr<platform::AtomicFile> file;
    int statusCode = 0;
    bool writeFailed = false;
    qint64 received = 0;
    qint64 expected = -1;
    qint64 lastReported = -1;
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
    // The build is the user's file like any other download; whatever has its name is kept.
    state->file = std::make_unique<platform::AtomicFile>(
        state->folder, safeFileName(url), platform::FileAccess::Usual, platform::ExistingEntry::Keep);
    if (!state->file->open())
        return nullptr;

    const std::weak_ptr<UpdateDownload> weak = download;
    platform::UrlSessionDelegate delegate;
    delegate.didReceiveResponse = [state](platform::UrlSession&, const platform::UrlResponse& response) {
        // Every answer starts from an empty file.
        state->statusCode = response.statusCode;
        state->received = 0;
        state->lastReported = -1;
        state->expected = response.expectedContentLength;
        if (!state->file->open())
            state->writeFailed = true;
        const bool success = response.statusCode >= 200 && response.statusCode < 300;
        return success && !state->writeFailed ? platform::ResponseDisposition::Allow
                                              : platform::ResponseDisposition::Cancel;
    };
    delegate.didReceiveData = [state, weak](platform::UrlSession& session, const QByteArray& chunk) {
        if (state->writeFailed)
            return;
        if (!state->file->write(chunk)) {
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
        // Synced here, on the worker, so that putting it in place on the main thread is quick.
        const bool complete = !result.error && !state->writeFailed && state->statusCode >= 200
            && state->statusCode < 300 && state->file->sync();
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
        const std::optional<QString> path = putInPlace(*m_state->file, m_state->folder, safeFileName(m_url));
        if (path) {
            outcome = { Outcome::Result::Saved, *path };
        } else {
            outcome.result = Outcome::Result::SaveFailed;
        }
    }
    // What was written goes now, before anyone hears the outcome: the worker may still hold
    // the state for a while after the completion it reported.
    if (outcome.result != Outcome::Result::Saved)
        m_state->file->cancel();
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

std::optional<QString> UpdateDownload::putInPlace(
    platform::AtomicFile& file, const platform::HeldFolder& folder, const QString& name)
{
    for (int number = 1; number <= kMostNames; ++number) {
        const QString candidate = numberedName(name, number);
        if (file.commitAs(candidate))
            return QDir(folder.path()).filePath(candidate);
        if (!file.nameTaken())
            return std::nullopt;
    }
    file.cancel();
    return std::nullopt;
}

} // namespace crawlmere::app
