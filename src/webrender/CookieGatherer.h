// The login window: a browser view on the login profile where the user signs in to a site by
// hand before a scan, so that the scan's requests carry the site's session cookies.
#pragma once

#include "webrender/LoginAddress.h"

#include <QPointer>
#include <QUrl>
#include <QWebEngineView>
#include <QWidget>

class QCheckBox;
class QLineEdit;
class QTimer;
class QVBoxLayout;

namespace crawlmere::webrender {

/// The window and its controls: the view (`webview`), the JavaScript switch (`runJS`) and the
/// address field (`alternativeLoginURL`). Its cookies live in the login profile
/// (`LoginProfile`), mirrored into the shared cookie store. A page's request for a new window
/// (a `target=_blank` link) replaces the view in place, so the login stays in this window.
/// Needs a `QApplication`. Main thread only.
class CookieGatherer : public QWidget {
public:
    explicit CookieGatherer(QWidget* parent = nullptr);
    ~CookieGatherer() override;

    /// initWithURL: loads `address` and shows it in the address field.
    void initWithURL(const QString& address);
    /// loadURL: normalises `address` (`LoginAddress`), loads it with the window's time-out (a
    /// load still running then is stopped), applies the JavaScript switch, brings the window to
    /// the front. An address without a URL loads nothing.
    void loadURL(const QString& address);
    /// reload / loadAlternativeURL: load the address field's text.
    void reload();
    void loadAlternativeURL();
    /// setJSAccordingToButton: JavaScript of the view on when the switch is on.
    void setJSAccordingToButton();

    /// The current view; a new window's request replaces it.
    QWebEngineView* webview() const { return view; }
    /// The URL last loaded; empty before the first load or when the address gave none.
    const QUrl& thisUrl() const { return loadedUrl; }
    QCheckBox* runJSSwitch() const { return runJS; }
    QLineEdit* addressField() const { return alternativeLoginURL; }
    LoginWindowKind kind() const { return windowKind; }

protected:
    CookieGatherer(LoginWindowKind kind, QWidget* parent);

private:
    QWebEngineView* makeView();
    QWebEngineView* replaceView();

    LoginWindowKind windowKind;
    QVBoxLayout* layout = nullptr;
    QPointer<QWebEngineView> view;
    QCheckBox* runJS = nullptr;
    QLineEdit* alternativeLoginURL = nullptr;
    QTimer* loadTimer = nullptr;
    QUrl loadedUrl;
};

} // namespace crawlmere::webrender
