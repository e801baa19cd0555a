// What the browser-engine module offers the program: page rendering, thumbnails, the login
// windows and the page source view, reached without linking the browser engine.
#pragma once

#include <QString>

#include <memory>

class PageRenderBackend;
class QUrl;
class QWidget;

namespace crawlmere::settings {

class ThumbGetterFactory;

/// The browser-engine layer as the program sees it, once `WebRenderLoader` has loaded it. The
/// one instance lives in the loaded module until the process ends. Main thread only; every
/// widget it makes needs a `QApplication`.
class WebRenderModule {
public:
    virtual ~WebRenderModule();

    /// Call before the application object is made: registers what the browser engine must
    /// know before it starts (the scheme of large page sources).
    virtual void prepareApplication() = 0;
    /// Call once the application object exists, before any page is made: sets the browser
    /// engine's start-up flags. Calling it again does nothing more.
    virtual void prepareEngine() = 0;
    /// A fresh off-screen page for one render, or null (logged) when the running application
    /// is not a GUI application.
    virtual std::unique_ptr<PageRenderBackend> makeRenderBackend() = 0;
    /// The site store's maker of thumbnail getters.
    virtual std::shared_ptr<ThumbGetterFactory> thumbGetterFactory() = 0;
    /// A login window on the login profile (the legacy one with `legacy`), child of `parent`,
    /// loading `address` and showing it in its address field; not yet shown.
    virtual QWidget* makeLoginWindow(bool legacy, const QString& address, QWidget* parent) = 0;
    /// The address field's text of a window made by `makeLoginWindow`; empty for any other.
    virtual QString loginAddress(QWidget* window) const = 0;
    /// A browser view for page sources, child of `parent`.
    virtual QWidget* makeSourceView(QWidget* parent) = 0;
    /// Shows `html` in a view made by `makeSourceView`, with `baseUrl` for its relative links;
    /// scripts run only when `javaScript`. Does nothing for any other widget.
    virtual void showSource(QWidget* view, const QString& html, const QUrl& baseUrl, bool javaScript) = 0;

protected:
    WebRenderModule() = default;
    WebRenderModule(const WebRenderModule&) = delete;
    WebRenderModule& operator=(const WebRenderModule&) = delete;
};

} // namespace crawlmere::settings
