// A page renderer's page on the browser engine: a fresh off-the-record profile per render,
// seeded with the shared cookie store's cookies, and a page without a view.
#pragma once

#include "engine/PageRenderBackend.h"

#include <memory>

class QWebEnginePage;
class QWebEngineProfile;

namespace crawlmere::webrender {

/// One render's page. Needs a GUI application (`QGuiApplication` or `QApplication`). Its profile
/// keeps nothing on disk and no HTTP cache, and is deleted after its page once `stop` lets go of both: a render
/// never touches the login window's profile or the shared cookie store. Main thread only.
class WebEngineRenderBackend final : public PageRenderBackend {
public:
    WebEngineRenderBackend();
    ~WebEngineRenderBackend() override;

    /// A new page, or null (logged) when the running application is not a GUI application.
    static std::unique_ptr<PageRenderBackend> make();

    void setEvents(Events value) override;
    /// Replays the request: GET or POST with its body, its headers (the User-Agent goes to the
    /// profile, the Referer onto the engine's own request), and the shared store's cookies when
    /// it handles cookies.
    void load(const crawlmere::platform::UrlRequest& request) override;
    bool isLoading() const override { return loading; }
    void evaluate(const QString& script, EvaluationDone done) override;
    void stopLoading() override;
    void stop() override;

    /// The page, for tests; null after `stop`.
    QWebEnginePage* page() const { return webPage; }

private:
    void seedCookies();

    class RefererSetter;

    QWebEngineProfile* profile = nullptr;
    QWebEnginePage* webPage = nullptr;
    /// Owned by the profile.
    RefererSetter* refererSetter = nullptr;
    Events events;
    bool loading = false;
    /// Cleared at `stop`; the page's late answers look at it first.
    std::shared_ptr<bool> alive = std::make_shared<bool>(true);
};

} // namespace crawlmere::webrender
