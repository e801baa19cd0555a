// One HTTP transfer on the network thread: its easy handle, the state of the current hop, and
// the libcurl callbacks that parse the head and pass body bytes on.
#pragma once

#include "platform/HttpHeaders.h"
#include "platform/UrlError.h"
#include "platform/UrlRequest.h"
#include "platform/UrlSession.h"
#include "platform/detail/CurlHandles.h"
#include "platform/detail/TransferSink.h"

#include <curl/curl.h>

#include <chrono>
#include <memory>
#include <optional>

namespace crawlmere::platform::detail {

class NetworkEngine;

enum class TransferState {
    /// Connecting, sending, or reading the response head.
    Connecting,
    /// The head is in; body bytes are held (`heldBody`, within the cap) until the sink's
    /// decision arrives. A body that reaches the cap meanwhile ends the transfer at once; its
    /// result still waits for the decision.
    AwaitingDecision,
    /// The decision was to continue: body bytes flow to the sink.
    ReceivingBody,
    /// Ended; the sink has been told.
    Finished,
};

/// Everything about one task that the network thread keeps. Lives in the engine's table from
/// start to finish; the easy handle is replaced at each redirect or authentication retry.
struct Transfer {
    Transfer(NetworkEngine& owner, quint64 transferId, UrlRequest firstRequest, std::shared_ptr<TransferSink> events)
        : engine(owner)
        , id(transferId)
        , request(std::move(firstRequest))
        , sink(std::move(events))
    {
    }

    NetworkEngine& engine;
    const quint64 id;
    /// The request of the current hop.
    UrlRequest request;
    std::shared_ptr<TransferSink> sink;
    TransferState state = TransferState::Connecting;

    // Handles of the current hop. The lists must outlive the easy handle's use of them, so
    // they are declared first and freed last.
    SlistHandle headerList;
    /// The addresses of the hop's host when they were looked up ahead (`HostAddressBook`).
    SlistHandle resolveList;
    AttachedEasy easy;

    // The head of the current hop.
    int statusCode = 0;
    QByteArray reasonPhrase;
    int httpVersion = 0;
    HttpHeaders headers;
    qint64 headBytes = 0;
    bool headComplete = false;
    /// When a byte last moved (or the hop began, or the head decision came).
    std::chrono::steady_clock::time_point lastActivity;
    curl_off_t lastProgressBytes = 0;
    std::chrono::milliseconds idleTimeout { 60000 };

    /// Body bytes that came while the head decision was pending, at most the request's body
    /// cap; counted in `bodyBytes`.
    QByteArray heldBody;
    // The whole task.
    qint64 bodyBytes = 0;
    int redirectsFollowed = 0;
    bool authAttempted = false;
    std::optional<UrlCredential> credential;
    /// Set by a callback that stopped the transfer on purpose (a cap); wins over libcurl's code.
    std::optional<UrlError> stopReason;
    /// The transfer ended while its head decision was pending; the result waits for it.
    std::optional<CURLcode> endedWhileAwaiting;
    /// The head's event, until the round that read it is over.
    std::optional<HeadEvent> headToReport;

    /// Makes and configures the easy handle for `request`. `cookieShare` is used when the
    /// request handles cookies. Returns the reason when the request cannot be sent.
    std::optional<UrlError> prepare(CURLSH* cookieShare);
    /// Has the hop connect to its host's addresses when they were looked up ahead; false when
    /// the list could not be made.
    bool pinLookedUpAddresses(CURL* e);
    /// Clears the per-hop state before a new hop.
    void resetHop();
    /// Restarts the idle clock.
    void noteActivity() { lastActivity = std::chrono::steady_clock::now(); }
    /// The response head of the current hop as a value.
    UrlResponse makeResponse() const;
    /// The error for a transfer that libcurl ended with `code`.
    UrlError errorFor(CURLcode code) const;
};

} // namespace crawlmere::platform::detail
