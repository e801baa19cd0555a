#include "platform/UrlSession.h"

#include "platform/Dispatch.h"
#include "platform/detail/FileLoader.h"
#include "platform/detail/NetworkEngine.h"
#include "platform/detail/SerialQueue.h"
#include "platform/detail/TransferSink.h"

#include <QRunnable>
#include <QThreadPool>

#include <condition_variable>

namespace crawlmere::platform {

namespace {

    std::atomic<quint64> g_nextSessionId { 1 };

    bool isNetworkScheme(const QString& scheme)
    {
        return scheme == QLatin1String("http") || scheme == QLatin1String("https");
    }

    /// The error for a request whose scheme is neither http, https nor file.
    UrlError schemeError(const UrlRequest& request)
    {
        return UrlError::make(request.scheme().isEmpty() ? UrlErrorCode::BadUrl : UrlErrorCode::UnsupportedUrl);
    }

} // namespace

namespace detail {

    /// Carries the events of a session's transfer from the network thread to its serial queue.
    /// Holds the session alive until the transfer has ended.
    class SessionSink final : public TransferSink {
    public:
        explicit SessionSink(std::shared_ptr<UrlSession> session)
            : m_session(std::move(session))
        {
        }

        void headReceived(quint64 transferId, HeadEvent event) override
        {
            std::shared_ptr<UrlSession> session = m_session;
            session->m_queue->enqueue(
                [session, transferId, event = std::move(event)] { session->handleHead(transferId, event); });
        }

        void dataReceived(QByteArray chunk) override { m_session->queueData(std::move(chunk)); }

        void finished(std::optional<UrlError> error, int redirectCount) override
        {
            std::shared_ptr<UrlSession> session = m_session;
            session->m_queue->enqueue([session, error = std::move(error), redirectCount] {
                session->flushData();
                session->complete(error, redirectCount);
            });
        }

        void abandoned() override
        {
            std::shared_ptr<UrlSession> session = m_session;
            session->m_invalidated = true;
            session->m_completed = true;
            session->m_queue->enqueue([session] { session->dropDelegate(); });
        }

    private:
        std::shared_ptr<UrlSession> m_session;
    };

    /// Collects a synchronous load on the network thread itself, so the load never needs a
    /// worker or the main thread: redirects are followed at once, every other head continues.
    class SyncLoadSink final : public TransferSink {
    public:
        struct State {
            std::mutex mutex;
            std::condition_variable finished;
            bool done = false;
            UrlLoadResult result;
        };

        SyncLoadSink(NetworkEngine& engine, std::shared_ptr<State> state)
            : m_engine(engine)
            , m_state(std::move(state))
        {
        }

        void headReceived(quint64 transferId, HeadEvent event) override
        {
            HeadDecision decision;
            if (event.kind == HeadKind::Redirect && isNetworkScheme(event.redirectRequest.scheme())) {
                decision.action = HeadDecision::Action::Follow;
                decision.request = std::move(event.redirectRequest);
            }
            {
                std::lock_guard lock(m_state->mutex);
                m_state->result.response = std::move(event.response);
            }
            m_engine.decide(transferId, std::move(decision));
        }

        void dataReceived(QByteArray chunk) override
        {
            std::lock_guard lock(m_state->mutex);
            m_state->result.body.append(chunk);
        }

        void finished(std::optional<UrlError> error, int) override
        {
            {
                std::lock_guard lock(m_state->mutex);
                m_state->result.error = std::move(error);
                m_state->done = true;
            }
            m_state->finished.notify_all();
        }

        void abandoned() override { finished(UrlError::make(UrlErrorCode::Cancelled), 0); }

    private:
        NetworkEngine& m_engine;
        std::shared_ptr<State> m_state;
    };

} // namespace detail

std::shared_ptr<UrlSession> UrlSession::create(UrlSessionDelegate delegate, UrlSessionCallbacks callbacks)
{
    return std::shared_ptr<UrlSession>(new UrlSession(std::move(delegate), callbacks));
}

UrlSession::UrlSession(UrlSessionDelegate delegate, UrlSessionCallbacks callbacks)
    : m_identifier(g_nextSessionId.fetch_add(1))
    , m_queue(callbacks == UrlSessionCallbacks::OnMainThread
              ? detail::SerialQueue::createOnMainThread()
              : detail::SerialQueue::create(detail::sessionCallbackPool()))
    , m_delegate(std::move(delegate))
{
}

UrlSession::~UrlSession() = default;

void UrlSession::start(UrlRequest request)
{
    std::unique_lock lock(m_mutex);
    if (m_started)
        return;
    m_started = true;
    m_request = request;
    if (m_cancelRequested) {
        lock.unlock();
        completeWithoutTransfer(UrlError::make(UrlErrorCode::Cancelled));
        return;
    }
    const QString scheme = request.scheme();
    if (scheme == QLatin1String("file")) {
        lock.unlock();
        std::shared_ptr<UrlSession> self = shared_from_this();
        m_queue->enqueue([self] { self->runFileTask(); });
        return;
    }
    if (!isNetworkScheme(scheme)) {
        lock.unlock();
        completeWithoutTransfer(schemeError(request));
        return;
    }
    std::shared_ptr<detail::NetworkEngine> engine = detail::NetworkEngine::instance();
    m_transferId = engine->startTransfer(std::move(request), std::make_shared<detail::SessionSink>(shared_from_this()));
}

void UrlSession::cancel()
{
    m_cancelRequested = true;
    // A completed task's transfer has left the network engine already (it reports its end
    // only after that), so there is nothing to cancel and no reason to wake the engine.
    if (m_completed)
        return;
    quint64 transferId = 0;
    {
        std::lock_guard lock(m_mutex);
        transferId = m_transferId;
    }
    if (transferId == 0)
        return; // not started, or a file task that watches the flag
    if (std::shared_ptr<detail::NetworkEngine> engine = detail::NetworkEngine::current())
        engine->cancel(transferId);
}

void UrlSession::finishTasksAndInvalidate()
{
    bool idle = false;
    {
        std::lock_guard lock(m_mutex);
        idle = !m_started;
    }
    if (idle || m_completed) {
        std::shared_ptr<UrlSession> self = shared_from_this();
        m_queue->enqueue([self] { self->dropDelegate(); });
    }
    // A running task drops the delegate after its completion anyway.
}

void UrlSession::invalidateAndCancel()
{
    m_invalidated = true;
    cancel();
    std::shared_ptr<UrlSession> self = shared_from_this();
    m_queue->enqueue([self] { self->dropDelegate(); });
}

UrlSession::TaskState UrlSession::state() const
{
    if (m_completed)
        return TaskState::Completed;
    std::lock_guard lock(m_mutex);
    if (!m_started)
        return TaskState::Suspended;
    return m_cancelRequested ? TaskState::Canceling : TaskState::Running;
}

UrlRequest UrlSession::originalRequest() const
{
    std::lock_guard lock(m_mutex);
    return m_request;
}

void UrlSession::completeWithoutTransfer(UrlError error)
{
    std::shared_ptr<UrlSession> self = shared_from_this();
    m_queue->enqueue([self, error = std::move(error)] { self->complete(error, 0); });
}

void UrlSession::runFileTask()
{
    const UrlRequest request = originalRequest();
    auto opened = detail::openFileUrl(request.url);
    if (auto* error = std::get_if<UrlError>(&opened)) {
        complete(*error, 0);
        return;
    }
    const auto& file = std::get<detail::LocalFile>(opened);
    const std::optional<ResponseDisposition> disposition = deliverResponse(file.response);
    if (!disposition || *disposition == ResponseDisposition::Cancel || m_cancelRequested) {
        complete(UrlError::make(UrlErrorCode::Cancelled), 0);
        return;
    }
    const std::optional<UrlError> error = detail::readFile(
        file, request.maxBodyBytes, [this] { return m_cancelRequested.load(); },
        [this](const QByteArray& chunk) { deliverData(chunk); });
    complete(error, 0);
}

void UrlSession::handleHead(quint64 transferId, const detail::HeadEvent& event)
{
    using Action = detail::HeadDecision::Action;
    detail::HeadDecision decision;
    if (m_invalidated || m_cancelRequested) {
        decision.action = Action::Cancel;
    } else {
        switch (event.kind) {
        case detail::HeadKind::Redirect: {
            const RedirectDecision answer = m_delegate.willPerformHTTPRedirection
                ? m_delegate.willPerformHTTPRedirection(*this, event.response, event.redirectRequest)
                : RedirectDecision::follow(event.redirectRequest);
            switch (answer.action) {
            case RedirectDecision::Action::Follow:
                decision.action = Action::Follow;
                decision.request = answer.request;
                break;
            case RedirectDecision::Action::Refuse: {
                const std::optional<ResponseDisposition> disposition = deliverResponse(event.response);
                decision.action = disposition == ResponseDisposition::Allow ? Action::Continue : Action::Cancel;
                break;
            }
            case RedirectDecision::Action::Cancel:
                cancel();
                decision.action = Action::Cancel;
                break;
            }
            break;
        }
        case detail::HeadKind::Challenge: {
            m_unansweredChallenge = event.response;
            const std::optional<UrlCredential> credential
                = m_delegate.didReceiveChallenge ? m_delegate.didReceiveChallenge(*this, event.challenge) : std::nullopt;
            if (credential) {
                decision.action = Action::RetryWithCredential;
                decision.credential = *credential;
                m_unansweredChallenge.reset();
            } else {
                decision.action = Action::FailChallenge;
            }
            break;
        }
        case detail::HeadKind::Response: {
            const std::optional<ResponseDisposition> disposition = deliverResponse(event.response);
            decision.action = disposition == ResponseDisposition::Allow ? Action::Continue : Action::Cancel;
            break;
        }
        }
    }
    std::shared_ptr<detail::NetworkEngine> engine = detail::NetworkEngine::current();
    if (event.ended && (decision.action == Action::Continue || decision.action == Action::Cancel)) {
        // The whole answer is here: finish now rather than after another turn of the network
        // thread, which only has to let the transfer go.
        if (engine)
            engine->decide(transferId, { Action::Settled, {}, {} });
        if (decision.action == Action::Cancel) {
            complete(UrlError::make(UrlErrorCode::Cancelled), event.ended->redirectCount);
            return;
        }
        if (!event.ended->body.isEmpty())
            deliverData(event.ended->body);
        complete(event.ended->error, event.ended->redirectCount);
        return;
    }
    if (engine)
        engine->decide(transferId, std::move(decision));
}

std::optional<ResponseDisposition> UrlSession::deliverResponse(const UrlResponse& response)
{
    if (m_invalidated)
        return std::nullopt;
    m_response = response;
    if (!m_delegate.didReceiveResponse)
        return ResponseDisposition::Allow;
    const ResponseDisposition disposition = m_delegate.didReceiveResponse(*this, response);
    if (m_cancelRequested || m_invalidated)
        return ResponseDisposition::Cancel;
    return disposition;
}

void UrlSession::queueData(QByteArray chunk)
{
    bool queueFlush = false;
    {
        std::lock_guard lock(m_mutex);
        m_pendingData.append(chunk);
        if (!m_flushQueued) {
            m_flushQueued = true;
            queueFlush = true;
        }
    }
    if (queueFlush) {
        std::shared_ptr<UrlSession> self = shared_from_this();
        m_queue->enqueue([self] { self->flushData(); });
    }
}

void UrlSession::flushData()
{
    QByteArray chunk;
    {
        std::lock_guard lock(m_mutex);
        chunk.swap(m_pendingData);
        m_flushQueued = false;
    }
    if (!chunk.isEmpty())
        deliverData(chunk);
}

void UrlSession::deliverData(const QByteArray& chunk)
{
    m_bodyBytes += chunk.size();
    if (m_invalidated)
        return;
    if (m_delegate.didReceiveData)
        m_delegate.didReceiveData(*this, chunk);
    else
        m_body.append(chunk);
}

void UrlSession::complete(std::optional<UrlError> error, int redirectCount)
{
    if (m_completed.exchange(true))
        return;
    if (!m_invalidated && m_delegate.didCompleteWithError) {
        UrlTaskResult result;
        result.error = std::move(error);
        result.response = m_response ? m_response : m_unansweredChallenge;
        result.body = std::move(m_body);
        result.bodyBytes = m_bodyBytes;
        result.redirectCount = redirectCount;
        m_delegate.didCompleteWithError(*this, result);
    }
    m_body.clear();
    dropDelegate();
}

void UrlSession::dropDelegate()
{
    // Move out first: destroying the callbacks may release objects that call back into us.
    UrlSessionDelegate released = std::move(m_delegate);
    m_delegate = {};
}

UrlLoadResult UrlSession::loadSynchronously(const UrlRequest& request, std::chrono::milliseconds timeout)
{
    UrlLoadResult result;
    const QString scheme = request.scheme();
    if (scheme == QLatin1String("file")) {
        auto opened = detail::openFileUrl(request.url);
        if (auto* error = std::get_if<UrlError>(&opened)) {
            result.error = *error;
            return result;
        }
        const auto& file = std::get<detail::LocalFile>(opened);
        result.response = file.response;
        result.error = detail::readFile(
            file, request.maxBodyBytes, [] { return false; }, [&](const QByteArray& chunk) { result.body.append(chunk); });
        return result;
    }
    if (!isNetworkScheme(scheme)) {
        result.error = schemeError(request);
        return result;
    }

    std::shared_ptr<detail::NetworkEngine> engine = detail::NetworkEngine::instance();
    Q_ASSERT_X(!engine->isNetworkThread(), "UrlSession::loadSynchronously", "would wait for itself");
    if (engine->isNetworkThread()) {
        result.error = UrlError::make(UrlErrorCode::Unknown);
        return result;
    }
    auto state = std::make_shared<detail::SyncLoadSink::State>();
    const quint64 transferId = engine->startTransfer(request, std::make_shared<detail::SyncLoadSink>(*engine, state));
    std::unique_lock lock(state->mutex);
    if (!state->finished.wait_for(lock, timeout, [&] { return state->done; })) {
        lock.unlock();
        engine->cancel(transferId);
        lock.lock();
        result = state->result;
        result.error = UrlError::make(UrlErrorCode::TimedOut);
        return result;
    }
    return state->result;
}

void UrlSession::runOnCallbackWorker(std::function<void()> work)
{
    detail::sessionCallbackPool()->start(QRunnable::create(std::move(work)));
}

void UrlSession::globalInit() { detail::globalInitOnce(); }

void UrlSession::setNameLookupFailure(std::function<bool(const QString& host)> fails)
{
    detail::setNameLookupFailure(std::move(fails));
}

void UrlSession::shutdown()
{
    detail::NetworkEngine::shutdownInstance();
    // Callbacks already running finish; on the main thread keep serving Dispatch::mainSync, and
    // run the main-thread callbacks still queued (the abandoned sessions' releases among them).
    QThreadPool* pool = detail::sessionCallbackPool();
    if (Dispatch::isMainThread())
        Dispatch::runUntil(
            [pool] { return pool->activeThreadCount() == 0 && detail::SerialQueue::mainThreadQueuesIdle(); },
            std::chrono::seconds(60));
    pool->waitForDone(5000);
}

} // namespace crawlmere::platform
