// The login window.
#include "webrender/CookieGatherer.h"

#include "platform/Log.h"
#include "webrender/LoginProfile.h"
#include "webrender/LoginWebView.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <QWebEngineHttpRequest>
#include <QWebEngineSettings>

namespace crawlmere::webrender {

CookieGatherer::CookieGatherer(QWidget* parent)
    : CookieGatherer(LoginWindowKind::Current, parent)
{
}

CookieGatherer::CookieGatherer(LoginWindowKind kind, QWidget* parent)
    : QWidget(parent)
    , windowKind(kind)
{
    setObjectName(kind == LoginWindowKind::Legacy ? QStringLiteral("legacyCookieGatherer")
                                                  : QStringLiteral("cookieGatherer"));
    setWindowTitle(tr("Log in"));
    alternativeLoginURL = new QLineEdit(this);
    alternativeLoginURL->setObjectName(QStringLiteral("alternativeLoginURL"));
    runJS = new QCheckBox(tr("JavaScript"), this);
    runJS->setObjectName(QStringLiteral("runJS"));
    runJS->setChecked(true);
    auto* reloadButton = new QPushButton(tr("Reload"), this);
    reloadButton->setObjectName(QStringLiteral("reload"));

    auto* bar = new QHBoxLayout();
    bar->addWidget(alternativeLoginURL, 1);
    bar->addWidget(runJS);
    bar->addWidget(reloadButton);
    layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    view = makeView();
    layout->addWidget(view, 1);
    resize(900, 700);

    loadTimer = new QTimer(this);
    loadTimer->setSingleShot(true);
    connect(loadTimer, &QTimer::timeout, this, [this] {
        if (view)
            view->stop();
    });
    connect(alternativeLoginURL, &QLineEdit::returnPressed, this, &CookieGatherer::loadAlternativeURL);
    // The address reads from its start: a text set into a field otherwise shows its end. The
    // page, not the address, has the keyboard when the window opens.
    connect(alternativeLoginURL, &QLineEdit::cursorPositionChanged, this, [this] {
        if (!alternativeLoginURL->hasFocus() && alternativeLoginURL->cursorPosition() != 0)
            alternativeLoginURL->setCursorPosition(0);
    });
    view->setFocus();
    connect(reloadButton, &QPushButton::clicked, this, &CookieGatherer::reload);
    connect(runJS, &QCheckBox::toggled, this, &CookieGatherer::setJSAccordingToButton);
}

CookieGatherer::~CookieGatherer()
{
    // The view's page belongs to the login profile, which outlives the window.
    delete view;
}

QWebEngineView* CookieGatherer::makeView()
{
    auto* made = new LoginWebView(LoginProfile::profile(), [this] { return replaceView(); }, this);
    made->setObjectName(QStringLiteral("webview"));
    connect(made, &QWebEngineView::loadFinished, this, [this] { loadTimer->stop(); });
    connect(made, &QWebEngineView::urlChanged, this, [this, made](const QUrl& url) {
        if (made == view)
            alternativeLoginURL->setText(url.toString());
    });
    return made;
}

QWebEngineView* CookieGatherer::replaceView()
{
    // The page that asked keeps running until the new view has taken over.
    QWebEngineView* old = view;
    QWebEngineView* fresh = makeView();
    if (old) {
        fresh->resize(old->size());
        delete layout->replaceWidget(old, fresh);
        old->hide();
        old->deleteLater();
    } else {
        layout->addWidget(fresh, 1);
    }
    view = fresh;
    setJSAccordingToButton();
    fresh->show();
    return fresh;
}

void CookieGatherer::initWithURL(const QString& address)
{
    loadURL(address);
    alternativeLoginURL->setText(address);
}

void CookieGatherer::loadURL(const QString& address)
{
    show();
    raise();
    activateWindow();
    loadedUrl = LoginAddress::url(address, windowKind);
    setJSAccordingToButton();
    if (loadedUrl.isValid() && view) {
        QWebEngineHttpRequest request(loadedUrl);
        // The page is asked of the server, never taken from a cache.
        request.setHeader("Cache-Control", "no-cache");
        view->load(request);
        loadTimer->start(LoginAddress::timeoutSeconds(windowKind) * 1000);
    } else {
        crawlmere::platform::logLine(1, QStringLiteral("no URL can be made of %1").arg(address));
    }
}

void CookieGatherer::reload() { loadURL(alternativeLoginURL->text()); }

void CookieGatherer::loadAlternativeURL() { loadURL(alternativeLoginURL->text()); }

void CookieGatherer::setJSAccordingToButton()
{
    if (!view)
        return;
    QWebEngineSettings* settings = view->page()->settings();
    if (windowKind == LoginWindowKind::Legacy) {
        for (int attribute = QWebEngineSettings::AutoLoadImages; attribute <= QWebEngineSettings::NavigateOnDropEnabled;
             ++attribute)
            settings->resetAttribute(static_cast<QWebEngineSettings::WebAttribute>(attribute));
    }
    settings->setAttribute(QWebEngineSettings::JavascriptEnabled, runJS->isChecked());
}

} // namespace crawlmere::webrender
