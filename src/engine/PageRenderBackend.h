// The browser page a page renderer drives: it loads one request, reports how loading went,
// evaluates a script and stops, so the renderer's timing runs the same over a real browser
// engine or a scripted page in tests.
#pragma once

#include <QString>

#include <functional>
#include <optional>

namespace crawlmere::platform {
struct UrlRequest;
}

/// One off-screen page. Made for one render and dropped by its renderer. Main thread only;
/// every event is reported on the main thread, and none after `stop`.
class PageRenderBackend {
public:
    /// What the page reports. Each may come more than once (every finished navigation
    /// reports `finished`).
    struct Events {
        std::function<void()> finished;
        std::function<void(const QString& error)> failed;
        std::function<void()> crashed;
    };
    /// The answer of an evaluation: the result's text, or nullopt with `error` set.
    using EvaluationDone = std::function<void(const std::optional<QString>& result, const QString& error)>;

    virtual ~PageRenderBackend();
    PageRenderBackend(const PageRenderBackend&) = delete;
    PageRenderBackend& operator=(const PageRenderBackend&) = delete;

    /// Where the events go; set before `load`.
    virtual void setEvents(Events events) = 0;
    /// Loads the request as it is: URL, method, headers and body.
    virtual void load(const crawlmere::platform::UrlRequest& request) = 0;
    /// True while the page is still loading.
    virtual bool isLoading() const = 0;
    /// Evaluates `script` in the page; `done` is called at most once, later, on the main
    /// thread (never once the page has stopped, and never when the page's script does not let
    /// the evaluation run).
    virtual void evaluate(const QString& script, EvaluationDone done) = 0;
    /// Stops loading; the page keeps what it has and can still be evaluated.
    virtual void stopLoading() = 0;
    /// Stops for good and lets go of the page and what it stored; no event follows.
    virtual void stop() = 0;

protected:
    PageRenderBackend() = default;
};
