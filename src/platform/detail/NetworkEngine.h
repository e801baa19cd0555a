// The network thread: one libcurl multi handle that drives every transfer of the process, the
// cookie store, and the commands other threads send it.
#pragma once

#include "platform/UrlRequest.h"
#include "platform/detail/CurlHandles.h"
#include "platform/detail/TransferSink.h"

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

namespace crawlmere::platform::detail {

class CookieJar;
struct Transfer;

/// Initialises libcurl once per process; later calls do nothing.
void globalInitOnce();

/// Installs the process-wide test of `UrlSession::setNameLookupFailure` (none removes it).
void setNameLookupFailure(std::function<bool(const QString& host)> fails);
/// Whether a lookup of `host` must fail without asking the name service. Any thread.
bool nameLookupMustFail(const QString& host);
/// Whether a test is installed; cheap, any thread.
bool nameLookupFailureInstalled();

/// One per process, started on first use and stopped by `shutdownInstance`. Its public calls
/// are safe from any thread: they queue a command and wake the thread.
class NetworkEngine {
public:
    /// The running engine, started when there is none.
    static std::shared_ptr<NetworkEngine> instance();
    /// The running engine, or none; never starts one.
    static std::shared_ptr<NetworkEngine> current();
    /// Stops and joins the thread of the running engine, if any.
    static void shutdownInstance();

    ~NetworkEngine();
    NetworkEngine(const NetworkEngine&) = delete;
    NetworkEngine& operator=(const NetworkEngine&) = delete;

    /// Starts a transfer and returns its id. The sink hears of it on the network thread; when
    /// the engine has stopped the sink is told `abandoned()` at once.
    quint64 startTransfer(UrlRequest request, std::shared_ptr<TransferSink> sink);
    /// Answers the head decision of a transfer. Ignored when it has ended or is not waiting.
    void decide(quint64 transferId, HeadDecision decision);
    /// Ends a transfer with `Cancelled`. Ignored when it has ended.
    void cancel(quint64 transferId);
    /// Runs `work` with the cookie store on the network thread and waits for it; `work` returns
    /// whether it changed the store (which then gets saved soon). False when the engine has
    /// stopped.
    bool withCookies(const std::function<bool(CookieJar&)>& work);

    bool isNetworkThread() const { return std::this_thread::get_id() == m_threadId; }

    // Called by transfer callbacks on the network thread.

    /// The head of `transfer`'s hop is complete: classify it and tell the sink. Returns false
    /// to stop the transfer (its `stopReason` says why).
    bool headComplete(Transfer& transfer);

private:
    NetworkEngine();
    bool start();
    void stop();
    bool post(std::function<void()> command);
    void run();
    void runCommands();
    void readMessages();
    void reportHeads();
    void transferEnded(Transfer& transfer, CURLcode code);
    /// The error a transfer that libcurl ended with `code` ends with; none for a whole body.
    std::optional<UrlError> endError(Transfer& transfer, CURLcode code);
    void applyDecision(quint64 transferId, HeadDecision decision);
    void beginHop(Transfer& transfer);
    void finish(Transfer& transfer, std::optional<UrlError> error);
    void saveCookiesIfDue(bool force);
    bool hostRecentlyUnresolved(const UrlRequest& request);
    void noteUnresolvedHost(const UrlRequest& request);

    // Shared with other threads, guarded by m_commandMutex.
    std::mutex m_commandMutex;
    std::deque<std::function<void()>> m_commands;
    CURLM* m_wakeTarget = nullptr; // the multi handle while the loop runs
    bool m_accepting = false;

    std::thread m_thread;
    std::thread::id m_threadId;

    // Network thread only.
    MultiHandle m_multi;
    std::unique_ptr<CookieJar> m_cookies;
    std::unordered_map<quint64, std::unique_ptr<Transfer>> m_transfers;
    /// Transfers whose head came in this round, reported to their sink when it is over.
    std::vector<quint64> m_headsToReport;
    /// Hosts whose name lookup failed lately, with when; asked again only after a while.
    std::unordered_map<QString, std::chrono::steady_clock::time_point> m_unresolvedHosts;
    bool m_stopping = false;
    bool m_cookiesDirty = false;
    std::chrono::steady_clock::time_point m_lastCookieSave;
};

} // namespace crawlmere::platform::detail
