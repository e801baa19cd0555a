// What the network thread reports about a transfer, and the decision it waits for after a
// response head.
#pragma once

#include "platform/UrlError.h"
#include "platform/UrlRequest.h"
#include "platform/UrlResponse.h"
#include "platform/UrlSession.h"

#include <QByteArray>

#include <optional>

namespace crawlmere::platform::detail {

enum class HeadKind {
    /// A final response: continue to the body or cancel.
    Response,
    /// A redirect with a `Location`: follow, or take it as the response (continue), or cancel.
    Redirect,
    /// A 401 asking for Basic authentication: retry with a credential, fail, or continue.
    Challenge,
};

/// How a transfer ended before its head's decision came: all there is of it, so a sink that
/// continues or cancels can finish the task at once.
struct EndedBeforeDecision {
    /// The body held (within the cap); the engine keeps its own reference until the decision.
    QByteArray body;
    std::optional<UrlError> error;
    int redirectCount = 0;
};

struct HeadEvent {
    HeadKind kind = HeadKind::Response;
    UrlResponse response;
    /// Redirect: the request a browser would send next; its URL is empty for an empty `Location`.
    UrlRequest redirectRequest;
    /// Challenge: the realm and the host asked for.
    AuthenticationChallenge challenge;
    /// Set when the whole answer had arrived (or the transfer had failed) by the time its head
    /// was reported.
    std::optional<EndedBeforeDecision> ended;
};

struct HeadDecision {
    enum class Action {
        /// Take this head as the final response and receive its body.
        Continue,
        /// End with `Cancelled`.
        Cancel,
        /// Send `request` instead (a redirect).
        Follow,
        /// Send the same request again with `credential`.
        RetryWithCredential,
        /// End with `AuthenticationRequired`.
        FailChallenge,
        /// The sink finished the task itself from `HeadEvent::ended`: drop the transfer
        /// without telling the sink anything more.
        Settled,
    };
    Action action = Action::Continue;
    UrlRequest request;
    UrlCredential credential;
};

/// Receives the events of one transfer. Every method runs on the network thread, must return
/// quickly and must not call back into the engine synchronously apart from `decide`/`cancel`
/// (which only queue commands).
class TransferSink {
public:
    virtual ~TransferSink() = default;
    /// The transfer holds its body until `NetworkEngine::decide` answers for `transferId`.
    /// Reported once the network thread's round that read the head is over, so a small answer
    /// comes whole, with `event.ended`.
    virtual void headReceived(quint64 transferId, HeadEvent event) = 0;
    virtual void dataReceived(QByteArray chunk) = 0;
    /// Exactly once, unless the engine shuts down first.
    virtual void finished(std::optional<UrlError> error, int redirectCount) = 0;
    /// Instead of `finished` when the engine shuts down with the transfer still running.
    virtual void abandoned() = 0;
};

} // namespace crawlmere::platform::detail
