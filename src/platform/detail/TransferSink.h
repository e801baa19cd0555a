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

struct HeadEvent {
    HeadKind kind = HeadKind::Response;
    UrlResponse response;
    /// Redirect: the request a browser would send next; its URL is empty for an empty `Location`.
    UrlRequest redirectRequest;
    /// Challenge: the realm and the host asked for.
    AuthenticationChallenge challenge;
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
    virtual void headReceived(quint64 transferId, HeadEvent event) = 0;
    virtual void dataReceived(QByteArray chunk) = 0;
    /// Exactly once, unless the engine shuts down first.
    virtual void finished(std::optional<UrlError> error, int redirectCount) = 0;
    /// Instead of `finished` when the engine shuts down with the transfer still running.
    virtual void abandoned() = 0;
};

} // namespace crawlmere::platform::detail
