// A browser view that renders a page source handed to it, on a private off-the-record profile.
#pragma once

#include <QByteArray>
#include <QUrl>
#include <QWebEngineView>

class QWebEngineProfile;

namespace crawlmere::webrender {

class SourceSchemeHandler;

/// Renders HTML text as if it had been loaded from a base address. Its profile keeps nothing on
/// disk and shares no cookies. Sources up to `kDirectLimit` bytes (UTF-8) go to the page
/// directly; larger ones, which the direct road cannot carry, are served from memory under
/// the "crawlmere-source" scheme with a `<base>` of the base address added when the source has
/// none. Main thread only; needs a GUI application.
class SourceView final : public QWebEngineView {
    Q_OBJECT
public:
    static constexpr qsizetype kDirectLimit = 1024 * 1024;

    explicit SourceView(QWidget* parent = nullptr);
    ~SourceView() override;

    /// Registers the scheme of large sources with the browser engine. Call once, before the
    /// application object is made; without it large sources still load, with a warning.
    static void registerScheme();

    /// Shows `html` with `baseUrl` (may be empty) as its address for relative links; scripts
    /// run only when `javaScript`.
    void showSource(const QString& html, const QUrl& baseUrl, bool javaScript);

    /// `html` with `<base href>` of `baseUrl` after its `<head>` (or at its start), unless
    /// the source already has a `<base`. Unchanged for an empty `baseUrl`.
    static QString withBase(const QString& html, const QUrl& baseUrl);

private:
    QWebEngineProfile* profile = nullptr;
    SourceSchemeHandler* handler = nullptr;
};

} // namespace crawlmere::webrender
