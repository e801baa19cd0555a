// The download of a new build: a background transfer into a temporary file of the download
// folder, moved to its own name when the whole answer has arrived.
#pragma once

#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

namespace crawlmere::platform {
class AtomicFile;
class HeldFolder;
class UrlSession;
}

namespace crawlmere::app {

/// One download. The bytes go to a hidden temporary file in `folder` (reached and held as
/// `platform::HeldFolder` does, written as `platform::AtomicFile` writes), a new one at every
/// response (a redirect's or a retried answer's bytes never mix), and only a 2xx answer that
/// arrived whole, within the size cap and written without error, is put in place as
/// `safeFileName` (or a numbered variant; what has the name is never replaced). Anything else
/// leaves nothing behind.
///
/// Made and used on the main thread; the transfer runs on the network thread and its callbacks on
/// a worker, and `progress` and `done` come back on the main thread. Dropping the object cancels
/// the transfer, removes the temporary file, and no callback follows.
class UpdateDownload : public std::enable_shared_from_this<UpdateDownload> {
public:
    /// How a download ended.
    struct Outcome {
        enum class Result {
            Saved, ///< `path` holds the build
            ConnectionFailed, ///< no complete 2xx answer (error, cut, status, cap)
            SaveFailed, ///< the bytes arrived but could not be written or named
        };
        Result result = Result::ConnectionFailed;
        QString path;
    };
    using Progress = std::function<void(qint64 received, qint64 expected)>;
    using Done = std::function<void(const Outcome&)>;

    static constexpr qint64 kMaxBytes = qint64(1) << 30;
    static constexpr double kIdleTimeout = 30.0;

    /// Starts the download of `url` into `folder` (which must exist). Null when no temporary
    /// file could be made there. `maxBytes` caps the body.
    static std::shared_ptr<UpdateDownload> start(
        const QUrl& url, const QString& folder, Progress progress, Done done, qint64 maxBytes = kMaxBytes);
    ~UpdateDownload();
    UpdateDownload(const UpdateDownload&) = delete;
    UpdateDownload& operator=(const UpdateDownload&) = delete;

    /// The last path segment of `url`, percent-decoded; "Crawlmere-update" for one that is empty,
    /// "." or "..", holds "/", a NUL or another control character once decoded, or is longer than
    /// 255 bytes.
    static QString safeFileName(const QUrl& url);
    /// Commits `file` (kept beside what has its name, in `folder`) as `name`, or as "stem (2).ext",
    /// "stem (3).ext"… while the name is taken; never replaces anything. The new path, or none.
    static std::optional<QString> putInPlace(
        platform::AtomicFile& file, const platform::HeldFolder& folder, const QString& name);

private:
    struct State;
    UpdateDownload(QUrl url, QString folder, Progress progress, Done done);
    void finish(bool complete);

    QUrl m_url;
    QString m_folder;
    Progress m_progress;
    Done m_done;
    std::shared_ptr<State> m_state;
    std::shared_ptr<platform::UrlSession> m_session;
};

} // namespace crawlmere::app
