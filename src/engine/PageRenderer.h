// The client-side rendering of one page: loads the record's kept request in an off-screen page,
// waits for it to settle, takes the document's markup and hands it to the record as its body.
#pragma once

#include "engine/CrwlUrl.h"
#include "engine/PageRenderBackend.h"

#include <QString>

#include <memory>
#include <optional>

class HubClock;

/// One render. Lives from the record's response (the record keeps it in `WTG`) until the
/// record's `clearWTG`. States: loading → settling (a settle timer pending) → evaluating →
/// responded → torn down.
///
/// It ends its record exactly once: with the page's markup (`addNewDataToData`, then
/// `pageRendererDidReturnHTML`), or, when the page yields nothing (a load that times out, an
/// evaluation that fails, answers nothing or never answers), through
/// `pageRendererDidReturnHTML` with an empty body, which the record counts as given up (-17).
/// A renderer torn down first (a pause, a give-up, a new scan) hands nothing over.
///
/// Timing: after each finished navigation a settle timer of `settleSeconds` starts; the first
/// to fire takes the markup. A failed load or a crashed page takes it at once. The request's
/// time-out takes what the page has, loading or not; an evaluation that has not answered
/// `settleSeconds` (at least one second) later ends the record with nothing. After the record
/// has been answered the time-out asks it to `clearWTG`.
///
/// Main thread only; timers run on `clock`.
class PageRenderer : public std::enable_shared_from_this<PageRenderer> {
public:
    /// The script whose text result is the page's markup.
    static const QString kMarkupScript;

    enum class State { Loading, Settling, Evaluating, Responded, TornDown };

    /// initWithRequest:owner: starts rendering `request` for `owner` in `backend`. The record
    /// is held weakly: a record that goes away ends the render silently.
    static std::shared_ptr<PageRenderer> start(const crawlmere::platform::UrlRequest& request,
        const std::shared_ptr<CrwlUrl>& owner, std::unique_ptr<PageRenderBackend> backend,
        std::shared_ptr<HubClock> clock, double settleSeconds);

    /// Makes a fresh page for each render; null when none can be made (the render then ends
    /// its record with nothing).
    using BackendFactory = std::function<std::unique_ptr<PageRenderBackend>()>;
    /// A starter for `CrwlUrl::setRendererStarter`: each render gets a page of `factory`, the
    /// clock `clock` (the real clock when null) and the `jsRenderingTime` default (seconds,
    /// read at each start) as its settle time.
    static CrwlUrl::RendererStarter makeStarter(BackendFactory factory, std::shared_ptr<HubClock> clock = nullptr);
    /// Whether pages can be rendered at all, asked (main thread) at each send that would render
    /// one; unset, they can. Answering false (no browser engine to be had) reads such pages as
    /// fetched, as with rendering off, instead of ending them with nothing.
    static void setAvailability(std::function<bool()> canRender);
    /// The answer of the function `setAvailability` gave; true without one.
    static bool isAvailable();

    ~PageRenderer();
    PageRenderer(const PageRenderer&) = delete;
    PageRenderer& operator=(const PageRenderer&) = delete;

    /// stopLoading: stops the page and lets go of it and of the record; nothing is handed over
    /// afterwards. Safe to call more than once, and from within the hand-over.
    void stopLoading();
    /// haveWeTimedOut: the request's time-out.
    void haveWeTimedOut();
    /// webViewActuallyFinished: takes the page's markup now, once; does nothing while the page
    /// is still loading unless `evenWhileLoading`.
    void webViewActuallyFinished(bool evenWhileLoading = false);

    State state() const { return currentState; }
    bool hasResponded() const { return currentState == State::Responded || responded; }
    /// The request's URL, for logs.
    const QString& url() const { return thisUrl; }

private:
    PageRenderer() = default;
    void begin(const crawlmere::platform::UrlRequest& request);
    void returnWhatHTMLWeHave();
    void respond(const QString& markup);
    /// Runs `work` after `seconds` on the clock while this render is the same one.
    void after(double seconds, void (PageRenderer::*work)());
    void settleFired();
    void evaluationOverdue();

    std::unique_ptr<PageRenderBackend> backend;
    std::shared_ptr<HubClock> clock;
    std::weak_ptr<CrwlUrl> owner;
    QString thisUrl;
    double settleSeconds = 1.0;
    double timeoutSeconds = 60.0;
    State currentState = State::Loading;
    bool responded = false;
};
