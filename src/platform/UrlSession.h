// Per-fetch URL sessions on one shared network thread: manual redirects, a decision after the
// response head, Basic authentication on challenge, idle time-outs, one shared cookie store,
// file URLs served in-process, and synchronous loads.
#pragma once

#include "platform/UrlError.h"
#include "platform/UrlRequest.h"
#include "platform/UrlResponse.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace crawlmere::platform {

namespace detail {
    class SerialQueue;
    class SessionSink;
    class SyncLoadSink;
    struct HeadEvent;
}

class UrlSession;

/// A user name and password for HTTP Basic authentication.
struct UrlCredential {
    QString user;
    QString password;
};

/// A 401 response that asked for Basic authentication.
struct AuthenticationChallenge {
    /// Always "Basic": other schemes are not offered as challenges; their 401 arrives as an
    /// ordinary response.
    QString authenticationMethod = QStringLiteral("Basic");
    QString realm;
    QString host;
    int port = 0;
    /// 0 on the first challenge of a task. A credential is tried once: a second 401 arrives as
    /// an ordinary response.
    int previousFailureCount = 0;
    UrlResponse failureResponse;
};

/// What to do with a response whose head has arrived.
enum class ResponseDisposition {
    /// Download the body.
    Allow,
    /// Stop before the body; the task ends with the `Cancelled` error.
    Cancel,
};

/// The answer to a redirect.
struct RedirectDecision {
    enum class Action {
        /// Send `request` (the offered one, or a changed copy).
        Follow,
        /// Do not follow: the redirect response becomes the task's response and goes to
        /// `didReceiveResponse`, then its body is downloaded as for any response.
        Refuse,
        /// Do not follow and end the task with the `Cancelled` error.
        Cancel,
    };
    Action action = Action::Follow;
    UrlRequest request;

    static RedirectDecision follow(UrlRequest next) { return { Action::Follow, std::move(next) }; }
    static RedirectDecision refuse() { return { Action::Refuse, {} }; }
    static RedirectDecision cancel() { return { Action::Cancel, {} }; }
};

/// How a task ended.
struct UrlTaskResult {
    /// None when the body arrived completely.
    std::optional<UrlError> error;
    /// The response handed to `didReceiveResponse`, when one was. With `AuthenticationRequired`
    /// it holds the unanswered 401, which was not handed over.
    std::optional<UrlResponse> response;
    /// The body, collected here only when the delegate has no `didReceiveData`.
    QByteArray body;
    /// Decoded body bytes delivered.
    qint64 bodyBytes = 0;
    /// Redirects followed.
    int redirectCount = 0;
};

/// The outcome of `UrlSession::loadSynchronously`.
struct UrlLoadResult {
    /// The final response (after redirects), when one arrived.
    std::optional<UrlResponse> response;
    QByteArray body;
    std::optional<UrlError> error;

    int statusCode() const { return response ? response->statusCode : 0; }
    bool succeeded() const { return !error.has_value(); }
};

/// Where the callbacks of a session run.
enum class UrlSessionCallbacks {
    /// On a worker thread, never the main thread or the network thread. They may block, for
    /// example in `Dispatch::mainSync`.
    OnWorker,
    /// On the main thread's event loop, handed over without waiting, so a busy main thread
    /// never holds a worker or the network thread. They must not block. A `file:` task reads
    /// its file there too, so such sessions are for http and https.
    OnMainThread,
};

/// The callbacks of a session. Each is optional. They run one at a time, in order, on the
/// session's own serial queue (see `UrlSessionCallbacks`); the transfer waits for the
/// decisions.
struct UrlSessionDelegate {
    /// A 301/302/303/307/308 with a `Location` arrived. `newRequest` is what a browser would
    /// send next (POST becomes GET for 301/302, anything but HEAD for 303); its `url` is the
    /// `Location` resolved against the response's URL, empty when `Location` was empty.
    /// Without this callback every redirect is followed.
    std::function<RedirectDecision(UrlSession&, const UrlResponse& redirectResponse, UrlRequest newRequest)>
        willPerformHTTPRedirection;
    /// A 401 asked for Basic authentication. A credential retries the request once with it;
    /// none ends the task with `AuthenticationRequired`. Without this callback: none.
    std::function<std::optional<UrlCredential>(UrlSession&, const AuthenticationChallenge&)> didReceiveChallenge;
    /// The head of the final response (or of a `file:` URL), before any body byte.
    /// Without this callback: `Allow`.
    std::function<ResponseDisposition(UrlSession&, const UrlResponse&)> didReceiveResponse;
    /// Decoded body bytes, in order, in chunks of any size.
    std::function<void(UrlSession&, const QByteArray&)> didReceiveData;
    /// The end of the task, exactly once per started task, after every other callback. The
    /// session drops its delegate right after this returns, releasing what the callbacks hold.
    std::function<void(UrlSession&, const UrlTaskResult&)> didCompleteWithError;
};

/// One fetch: a session with one task. Made with `create`, started once with `start`.
///
/// Threads: `start`, `cancel` and the invalidation calls are safe from any thread, including
/// from inside the session's own callbacks. The transfer itself runs on the network thread;
/// the callbacks run on the session's serial queue. A started session stays alive until its
/// completion has been delivered, even when the caller drops its pointer.
class UrlSession : public std::enable_shared_from_this<UrlSession> {
public:
    enum class TaskState {
        /// Made, not started.
        Suspended,
        Running,
        /// Cancel requested; the completion has not been delivered yet.
        Canceling,
        /// The completion has been delivered (or skipped after invalidation).
        Completed,
    };

    /// A session whose callbacks run where `callbacks` says.
    static std::shared_ptr<UrlSession> create(
        UrlSessionDelegate delegate, UrlSessionCallbacks callbacks = UrlSessionCallbacks::OnWorker);
    ~UrlSession();
    UrlSession(const UrlSession&) = delete;
    UrlSession& operator=(const UrlSession&) = delete;

    /// Starts the task. A second call does nothing. A request that is not http, https or file
    /// completes at once with `BadUrl` or `UnsupportedUrl`.
    void start(UrlRequest request);
    /// Stops the task; its completion follows with `Cancelled` unless it had already ended.
    /// Before `start`, makes `start` complete at once with `Cancelled`.
    void cancel();
    /// The running task goes on and its callbacks still come; the delegate is dropped after
    /// the completion.
    void finishTasksAndInvalidate();
    /// Cancels the task; no callback runs after this returns (apart from one already running),
    /// and the delegate is dropped.
    void invalidateAndCancel();

    TaskState state() const;
    /// A number unique in this process.
    quint64 identifier() const { return m_identifier; }
    /// The request given to `start` (an empty request before).
    UrlRequest originalRequest() const;

    /// Loads `request` and waits at most `timeout` for it: redirects are followed (up to the
    /// request's cap), no challenge is answered (a 401 is the response), and the request's
    /// own idle time-out still applies. Safe on the main thread (the load does not need it)
    /// and on any worker; must not be called on the network thread. When `timeout` passes the
    /// load is cancelled and the result carries `TimedOut`.
    static UrlLoadResult loadSynchronously(const UrlRequest& request, std::chrono::milliseconds timeout);

    /// Makes every name lookup of a host (lower-case, without port) for which `fails` answers
    /// true fail at once, the way an unknown name does (`CannotFindHost`), without asking the
    /// name service; an empty function restores ordinary lookups. For programs and tests that
    /// must not depend on the machine's resolver. `fails` runs on the network thread; set this
    /// while no transfer runs. A host whose lookup failed, by this or by the name service, is
    /// taken as unknown for further requests during the next minute.
    static void setNameLookupFailure(std::function<bool(const QString& host)> fails);

    /// Runs `work` on a worker of the pool the callbacks of `OnWorker` sessions use: for the
    /// slow part of a task's completion that a main-thread callback hands off. `shutdown` waits
    /// for it as for a callback. Safe from any thread.
    static void runOnCallbackWorker(std::function<void()> work);

    /// Initialises the transfer library once per process. Call at the start of `main` (and of
    /// test programs), before any other thread starts; later calls do nothing.
    static void globalInit();
    /// Stops the network thread: every transfer is removed and freed, sessions still running are
    /// invalidated without a completion, the cookie store is saved, and callbacks already
    /// running or queued are waited for, with work handed to `runOnCallbackWorker` (on the main
    /// thread while processing its events, so a callback blocked in `Dispatch::mainSync` can
    /// finish and main-thread callbacks run). Using sessions again starts a new thread.
    static void shutdown();

private:
    friend class detail::SessionSink;
    friend class detail::SyncLoadSink;
    UrlSession(UrlSessionDelegate delegate, UrlSessionCallbacks callbacks);

    void completeWithoutTransfer(UrlError error);
    void runFileTask();
    void handleHead(quint64 transferId, const detail::HeadEvent& event);
    std::optional<ResponseDisposition> deliverResponse(const UrlResponse& response);
    void queueData(QByteArray chunk);
    void flushData();
    /// Counts a chunk of the body and hands it to the delegate (or collects it), unless the
    /// session was invalidated. Serial queue.
    void deliverData(const QByteArray& chunk);
    void complete(std::optional<UrlError> error, int redirectCount);
    void dropDelegate();

    const quint64 m_identifier;
    std::shared_ptr<detail::SerialQueue> m_queue;

    // Guarded by m_mutex.
    mutable std::mutex m_mutex;
    UrlRequest m_request;
    bool m_started = false;
    quint64 m_transferId = 0;
    QByteArray m_pendingData;
    bool m_flushQueued = false;

    std::atomic<bool> m_cancelRequested { false };
    std::atomic<bool> m_invalidated { false };
    std::atomic<bool> m_completed { false };

    // Touched on the serial queue only.
    UrlSessionDelegate m_delegate;
    std::optional<UrlResponse> m_response;
    std::optional<UrlResponse> m_unansweredChallenge;
    QByteArray m_body;
    qint64 m_bodyBytes = 0;
};

} // namespace crawlmere::platform
