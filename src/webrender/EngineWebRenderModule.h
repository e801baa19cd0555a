// The browser-engine layer behind the program's module interface.
#pragma once

#include "settings/WebRenderModule.h"

namespace crawlmere::webrender {

/// Renders on `WebEngineRenderBackend`, makes `WebThumbGetter`s, the login windows
/// (`CookieGatherer`, `LegacyCookieGatherer`) and `SourceView`s. One instance for the
/// process (`instance`), exported by the module as `crawlmere_webrender_module`. Main thread only.
class EngineWebRenderModule final : public settings::WebRenderModule {
public:
    /// The process's one instance; lives until the process ends.
    static EngineWebRenderModule* instance();

    void prepareApplication() override;
    void prepareEngine() override;
    std::unique_ptr<PageRenderBackend> makeRenderBackend() override;
    std::shared_ptr<settings::ThumbGetterFactory> thumbGetterFactory() override;
    QWidget* makeLoginWindow(bool legacy, const QString& address, QWidget* parent) override;
    QString loginAddress(QWidget* window) const override;
    QWidget* makeSourceView(QWidget* parent) override;
    void showSource(QWidget* view, const QString& html, const QUrl& baseUrl, bool javaScript) override;

private:
    EngineWebRenderModule() = default;

    bool enginePrepared = false;
};

} // namespace crawlmere::webrender
