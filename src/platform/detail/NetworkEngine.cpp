#include "platform/detail/NetworkEngine.h"

#include "platform/CookieStore.h"
#include "platform/detail/CookieJar.h"
#include "platform/detail/Transfer.h"

#include <QRegularExpression>
#include <QUrl>

#include <atomic>
#include <future>

namespace crawlmere::platform::detail {

namespace {

    constexpr auto kCookieSaveDelay = std::chrono::seconds(2);
    constexpr int kIdlePollMilliseconds = 500;
    /// How long a failed name lookup is taken as the answer for further requests to that host,
    /// as long as libcurl keeps a successful one.
    constexpr auto kUnresolvedHostMemory = std::chrono::seconds(60);
    constexpr std::size_t kUnresolvedHostCap = 10000;
    /// Idle connections kept for reuse, over all hosts: well above the most fetches a scan keeps
    /// in flight, so a keep-alive server is asked on no more connections than that.
    constexpr long kMostKeptConnections = 64;

    std::mutex g_lookupFailureMutex;
    std::function<bool(const QString&)> g_lookupFailure;
    std::atomic<bool> g_lookupFailureInstalled { false };

    /// The host whose name a request's hop looks up itself, lower-cased; empty when a proxy
    /// looks it up instead.
    QString lookedUpHost(const UrlRequest& request)
    {
        if (request.proxy && !request.proxy->host.isEmpty())
            return {};
        return QUrl(request.url).host().toLower();
    }

    struct EngineHolder {
        std::mutex mutex;
        std::shared_ptr<NetworkEngine> engine;
        ~EngineHolder()
        {
            // A process that never called shutdown: stop the thread before it outlives us.
            std::shared_ptr<NetworkEngine> last = std::move(engine);
            last.reset();
        }
    };

    EngineHolder& holder()
    {
        static EngineHolder instance;
        return instance;
    }

    std::atomic<quint64> g_nextTransferId { 1 };

    /// The `Location` value resolved against the URL of the response that carried it; empty
    /// for an empty value. A target with a scheme of its own ("mailto:") comes back as it is.
    QString resolveLocation(const QString& base, const QByteArray& location)
    {
        const QString text = QString::fromUtf8(location).trimmed();
        if (text.isEmpty())
            return {};
        const QUrl relative(text, QUrl::TolerantMode);
        const QUrl resolved = QUrl(base).resolved(relative);
        if (!resolved.isValid())
            return text;
        return resolved.toString(QUrl::FullyEncoded);
    }

    bool sameOrigin(const QString& a, const QString& b)
    {
        const QUrl first(a);
        const QUrl second(b);
        const auto defaultPort = [](const QUrl& url) { return url.scheme() == QLatin1String("https") ? 443 : 80; };
        return first.scheme() == second.scheme() && first.host().compare(second.host(), Qt::CaseInsensitive) == 0
            && first.port(defaultPort(first)) == second.port(defaultPort(second));
    }

    /// The realm of a Basic challenge among the `WWW-Authenticate` fields, or nothing when none
    /// offers Basic.
    std::optional<QString> basicChallengeRealm(const HttpHeaders& headers)
    {
        static const QRegularExpression basic(QStringLiteral("(?:^|,)\\s*basic(?:\\s+|$)(.*)"),
            QRegularExpression::CaseInsensitiveOption);
        static const QRegularExpression realm(QStringLiteral("^[^,]*?realm\\s*=\\s*(?:\"([^\"]*)\"|([^,\\s]*))"),
            QRegularExpression::CaseInsensitiveOption);
        for (const QByteArray& value : headers.values("WWW-Authenticate")) {
            const QRegularExpressionMatch match = basic.match(QString::fromLatin1(value));
            if (!match.hasMatch())
                continue;
            const QRegularExpressionMatch realmMatch = realm.match(match.captured(1));
            if (!realmMatch.hasMatch())
                return QString();
            return realmMatch.captured(1).isNull() ? realmMatch.captured(2) : realmMatch.captured(1);
        }
        return std::nullopt;
    }

} // namespace

void globalInitOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_ALL); });
}

void setNameLookupFailure(std::function<bool(const QString& host)> fails)
{
    std::lock_guard lock(g_lookupFailureMutex);
    g_lookupFailureInstalled = static_cast<bool>(fails);
    g_lookupFailure = std::move(fails);
}

bool nameLookupMustFail(const QString& host)
{
    std::lock_guard lock(g_lookupFailureMutex);
    return g_lookupFailure && g_lookupFailure(host);
}

bool nameLookupFailureInstalled() { return g_lookupFailureInstalled.load(); }

std::shared_ptr<NetworkEngine> NetworkEngine::instance()
{
    EngineHolder& h = holder();
    std::lock_guard lock(h.mutex);
    if (!h.engine) {
        std::shared_ptr<NetworkEngine> engine(new NetworkEngine);
        if (!engine->start())
            return engine; // refuses every command; its transfers are abandoned at once
        h.engine = std::move(engine);
    }
    return h.engine;
}

std::shared_ptr<NetworkEngine> NetworkEngine::current()
{
    EngineHolder& h = holder();
    std::lock_guard lock(h.mutex);
    return h.engine;
}

void NetworkEngine::shutdownInstance()
{
    std::shared_ptr<NetworkEngine> engine;
    {
        EngineHolder& h = holder();
        std::lock_guard lock(h.mutex);
        engine = std::move(h.engine);
    }
    if (engine)
        engine->stop();
}

NetworkEngine::NetworkEngine() = default;

NetworkEngine::~NetworkEngine() { stop(); }

bool NetworkEngine::start()
{
    globalInitOnce();
    std::promise<bool> ready;
    std::future<bool> started = ready.get_future();
    m_thread = std::thread([this, &ready] {
        m_threadId = std::this_thread::get_id();
        m_multi.reset(curl_multi_init());
        if (!m_multi) {
            ready.set_value(false);
            return;
        }
        // By default libcurl keeps four connections for each transfer attached when one ends.
        // Here a transfer leaves the multi handle as soon as it ends and the next one comes only
        // after the main thread's answer, so with fewer attached for a moment, connections the
        // next requests would reuse are closed and opened again.
        curl_multi_setopt(m_multi.get(), CURLMOPT_MAXCONNECTS, kMostKeptConnections);
        m_cookies = std::make_unique<CookieJar>();
        m_cookies->load(CookieStore::storePath());
        m_lastCookieSave = std::chrono::steady_clock::now();
        {
            std::lock_guard lock(m_commandMutex);
            m_wakeTarget = m_multi.get();
            m_accepting = true;
        }
        ready.set_value(true);
        run();
    });
    return started.get();
}

void NetworkEngine::stop()
{
    if (!m_thread.joinable())
        return;
    Q_ASSERT_X(!isNetworkThread(), "NetworkEngine::stop", "the network thread cannot join itself");
    if (isNetworkThread()) {
        m_thread.detach();
        return;
    }
    post([this] { m_stopping = true; });
    m_thread.join();
}

bool NetworkEngine::post(std::function<void()> command)
{
    std::lock_guard lock(m_commandMutex);
    if (!m_accepting)
        return false;
    // Commands already waiting mean a wake-up is pending or the thread is about to take them
    // (it takes the whole queue at once), so only the first of a burst wakes it.
    const bool wake = m_commands.empty();
    m_commands.push_back(std::move(command));
    if (wake)
        curl_multi_wakeup(m_wakeTarget);
    return true;
}

void NetworkEngine::run()
{
    while (!m_stopping) {
        runCommands();
        if (m_stopping)
            break;
        int running = 0;
        curl_multi_perform(m_multi.get(), &running);
        readMessages();
        reportHeads();
        if (m_cookies)
            m_cookies->trimIfDue();
        saveCookiesIfDue(/*force=*/false);
        curl_multi_poll(m_multi.get(), nullptr, 0, kIdlePollMilliseconds, nullptr);
    }

    // Refuse new commands, run the ones already accepted (their callers may be waiting), then
    // drop every transfer: each easy handle leaves the multi handle and is freed.
    {
        std::lock_guard lock(m_commandMutex);
        m_accepting = false;
    }
    runCommands();
    std::vector<std::shared_ptr<TransferSink>> sinks;
    for (auto& [id, transfer] : m_transfers) {
        transfer->easy.release();
        sinks.push_back(transfer->sink);
    }
    m_transfers.clear();
    for (const auto& sink : sinks)
        sink->abandoned();
    saveCookiesIfDue(/*force=*/true);
    m_cookies.reset();
    {
        std::lock_guard lock(m_commandMutex);
        m_wakeTarget = nullptr;
    }
    m_multi.reset();
}

void NetworkEngine::runCommands()
{
    std::deque<std::function<void()>> batch;
    {
        std::lock_guard lock(m_commandMutex);
        batch.swap(m_commands);
    }
    for (auto& command : batch)
        command();
}

void NetworkEngine::readMessages()
{
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(m_multi.get(), &left)) {
        if (message->msg != CURLMSG_DONE)
            continue;
        Transfer* transfer = nullptr;
        curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &transfer);
        const CURLcode code = message->data.result;
        if (transfer)
            transferEnded(*transfer, code);
    }
}

quint64 NetworkEngine::startTransfer(UrlRequest request, std::shared_ptr<TransferSink> sink)
{
    const quint64 id = g_nextTransferId.fetch_add(1);
    const bool accepted = post([this, id, request = std::move(request), sink]() mutable {
        auto transfer = std::make_unique<Transfer>(*this, id, std::move(request), std::move(sink));
        Transfer& started = *transfer;
        m_transfers.emplace(id, std::move(transfer));
        beginHop(started);
    });
    if (!accepted)
        sink->abandoned();
    return id;
}

void NetworkEngine::decide(quint64 transferId, HeadDecision decision)
{
    post([this, transferId, decision = std::move(decision)]() mutable { applyDecision(transferId, std::move(decision)); });
}

void NetworkEngine::cancel(quint64 transferId)
{
    post([this, transferId] {
        const auto found = m_transfers.find(transferId);
        if (found != m_transfers.end())
            finish(*found->second, UrlError::make(UrlErrorCode::Cancelled));
    });
}

bool NetworkEngine::withCookies(const std::function<bool(CookieJar&)>& work)
{
    if (isNetworkThread()) {
        if (m_cookies && work(*m_cookies))
            m_cookiesDirty = true;
        return true;
    }
    std::promise<void> done;
    std::future<void> finished = done.get_future();
    const bool accepted = post([this, &work, &done] {
        if (m_cookies && work(*m_cookies))
            m_cookiesDirty = true;
        done.set_value();
    });
    if (!accepted)
        return false;
    finished.wait();
    return true;
}

bool NetworkEngine::headComplete(Transfer& transfer)
{
    transfer.headComplete = true;
    if (transfer.request.httpShouldHandleCookies && transfer.headers.contains("Set-Cookie")) {
        m_cookiesDirty = true;
        if (m_cookies) {
            // A cookie's line holds no more than its field, its host and its path (at most the
            // request's path) and a few fields more.
            const QList<QByteArray> fields = transfer.headers.values("Set-Cookie");
            qint64 bytes = 0;
            for (const QByteArray& field : fields)
                bytes += field.size() + transfer.request.url.size() + 64;
            m_cookies->noteAdded(QUrl(transfer.request.url).host().toUtf8(), fields.size(), bytes);
        }
    }

    HeadEvent event;
    event.response = transfer.makeResponse();
    if (UrlRequest::isRedirectStatus(transfer.statusCode) && transfer.headers.contains("Location")) {
        if (transfer.redirectsFollowed >= transfer.request.maxRedirects) {
            transfer.stopReason = UrlError::make(UrlErrorCode::TooManyRedirects);
            return false;
        }
        event.kind = HeadKind::Redirect;
        const QString target = resolveLocation(event.response.url, transfer.headers.values("Location").constFirst());
        event.redirectRequest = transfer.request.redirected(transfer.statusCode, target);
    } else if (transfer.statusCode == 401 && !transfer.authAttempted) {
        if (const std::optional<QString> realm = basicChallengeRealm(transfer.headers)) {
            event.kind = HeadKind::Challenge;
            const QUrl url(event.response.url);
            event.challenge.realm = *realm;
            event.challenge.host = url.host();
            event.challenge.port = url.port(url.scheme() == QLatin1String("https") ? 443 : 80);
            event.challenge.previousFailureCount = 0;
            event.challenge.failureResponse = event.response;
        }
    }
    transfer.state = TransferState::AwaitingDecision;
    transfer.headToReport = std::move(event);
    m_headsToReport.push_back(transfer.id);
    return true;
}

void NetworkEngine::reportHeads()
{
    // After the round rather than from the head's callback: the rest of a small answer comes in
    // the same round, and a sink told of it all can finish without waiting for this thread again.
    for (const quint64 id : std::exchange(m_headsToReport, {})) {
        const auto found = m_transfers.find(id);
        if (found == m_transfers.end() || !found->second->headToReport)
            continue;
        Transfer& transfer = *found->second;
        HeadEvent event = std::move(*transfer.headToReport);
        transfer.headToReport.reset();
        if (transfer.state != TransferState::AwaitingDecision)
            continue;
        if (transfer.endedWhileAwaiting) {
            EndedBeforeDecision ended;
            ended.body = transfer.heldBody;
            ended.error = endError(transfer, *transfer.endedWhileAwaiting);
            ended.redirectCount = transfer.redirectsFollowed;
            event.ended = std::move(ended);
        }
        transfer.sink->headReceived(transfer.id, std::move(event));
    }
}

void NetworkEngine::applyDecision(quint64 transferId, HeadDecision decision)
{
    const auto found = m_transfers.find(transferId);
    if (found == m_transfers.end())
        return;
    Transfer& transfer = *found->second;
    if (transfer.state != TransferState::AwaitingDecision)
        return;
    switch (decision.action) {
    case HeadDecision::Action::Continue:
        transfer.state = TransferState::ReceivingBody;
        transfer.noteActivity();
        if (!transfer.heldBody.isEmpty())
            transfer.sink->dataReceived(std::exchange(transfer.heldBody, QByteArray()));
        if (transfer.endedWhileAwaiting)
            transferEnded(transfer, *transfer.endedWhileAwaiting);
        return;
    case HeadDecision::Action::Cancel:
        finish(transfer, UrlError::make(UrlErrorCode::Cancelled));
        return;
    case HeadDecision::Action::Follow:
        if (!sameOrigin(transfer.request.url, decision.request.url)) {
            // A credential is meant for the server that asked for it.
            transfer.credential.reset();
            transfer.authAttempted = false;
        }
        ++transfer.redirectsFollowed;
        transfer.resetHop();
        transfer.request = std::move(decision.request);
        beginHop(transfer);
        return;
    case HeadDecision::Action::RetryWithCredential:
        transfer.authAttempted = true;
        transfer.credential = decision.credential;
        transfer.resetHop();
        beginHop(transfer);
        return;
    case HeadDecision::Action::FailChallenge:
        finish(transfer, UrlError::make(UrlErrorCode::AuthenticationRequired));
        return;
    case HeadDecision::Action::Settled:
        transfer.easy.release();
        m_transfers.erase(transferId); // `transfer` is gone from here on
        return;
    }
}

void NetworkEngine::beginHop(Transfer& transfer)
{
    if (hostRecentlyUnresolved(transfer.request)) {
        // The name service said no a moment ago; asking again for every link to a dead host
        // only loads a resolver that may answer slowly or drop queries when pressed.
        finish(transfer, transfer.errorFor(CURLE_COULDNT_RESOLVE_HOST));
        return;
    }
    if (m_cookies && transfer.request.httpShouldHandleCookies)
        m_cookies->noteRequest(QUrl(transfer.request.url).host().toUtf8());
    if (std::optional<UrlError> error = transfer.prepare(m_cookies ? m_cookies->share() : nullptr)) {
        finish(transfer, std::move(error));
        return;
    }
    if (!transfer.easy.attach(m_multi.get()))
        finish(transfer, UrlError::make(UrlErrorCode::Unknown));
}

void NetworkEngine::transferEnded(Transfer& transfer, CURLcode code)
{
    if (transfer.state == TransferState::AwaitingDecision) {
        // Nothing more will arrive; the result waits for the decision.
        transfer.endedWhileAwaiting = code;
        transfer.easy.release();
        return;
    }
    if (code == CURLE_COULDNT_RESOLVE_HOST)
        noteUnresolvedHost(transfer.request);
    finish(transfer, endError(transfer, code));
}

std::optional<UrlError> NetworkEngine::endError(Transfer& transfer, CURLcode code)
{
    if (transfer.stopReason)
        return transfer.stopReason;
    if (code != CURLE_OK)
        return transfer.errorFor(code);
    if (!transfer.headComplete)
        return UrlError::make(UrlErrorCode::BadServerResponse);
    return std::nullopt;
}

void NetworkEngine::finish(Transfer& transfer, std::optional<UrlError> error)
{
    transfer.easy.release();
    transfer.headerList.reset();
    transfer.resolveList.reset();
    transfer.state = TransferState::Finished;
    std::shared_ptr<TransferSink> sink = transfer.sink;
    const int redirects = transfer.redirectsFollowed;
    m_transfers.erase(transfer.id); // `transfer` is gone from here on
    sink->finished(std::move(error), redirects);
}

bool NetworkEngine::hostRecentlyUnresolved(const UrlRequest& request)
{
    if (m_unresolvedHosts.empty())
        return false;
    const auto found = m_unresolvedHosts.find(lookedUpHost(request));
    if (found == m_unresolvedHosts.end())
        return false;
    if (std::chrono::steady_clock::now() - found->second < kUnresolvedHostMemory)
        return true;
    m_unresolvedHosts.erase(found);
    return false;
}

void NetworkEngine::noteUnresolvedHost(const UrlRequest& request)
{
    QString host = lookedUpHost(request);
    if (host.isEmpty())
        return;
    if (m_unresolvedHosts.size() >= kUnresolvedHostCap) {
        const auto now = std::chrono::steady_clock::now();
        std::erase_if(m_unresolvedHosts, [now](const auto& entry) { return now - entry.second >= kUnresolvedHostMemory; });
        if (m_unresolvedHosts.size() >= kUnresolvedHostCap)
            m_unresolvedHosts.clear();
    }
    m_unresolvedHosts.insert_or_assign(std::move(host), std::chrono::steady_clock::now());
}

void NetworkEngine::saveCookiesIfDue(bool force)
{
    if (!m_cookiesDirty || !m_cookies)
        return;
    const auto now = std::chrono::steady_clock::now();
    if (!force && now - m_lastCookieSave < kCookieSaveDelay)
        return;
    m_cookies->save(CookieStore::storePath());
    m_cookiesDirty = false;
    m_lastCookieSave = now;
}

} // namespace crawlmere::platform::detail
