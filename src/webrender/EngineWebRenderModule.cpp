// The browser-engine layer behind the program's module interface.
#include "webrender/EngineWebRenderModule.h"

#include "webrender/CookieGatherer.h"
#include "webrender/LegacyCookieGatherer.h"
#include "webrender/SourceView.h"
#include "webrender/WebEngineRenderBackend.h"
#include "webrender/WebRenderSetup.h"
#include "webrender/WebThumbGetterFactory.h"

#include <QLineEdit>

namespace crawlmere::webrender {

EngineWebRenderModule* EngineWebRenderModule::instance()
{
    static EngineWebRenderModule module;
    return &module;
}

void EngineWebRenderModule::prepareApplication()
{
    SourceView::registerScheme();
}

void EngineWebRenderModule::prepareEngine()
{
    if (enginePrepared)
        return;
    enginePrepared = true;
    setEngineFlags();
}

std::unique_ptr<PageRenderBackend> EngineWebRenderModule::makeRenderBackend()
{
    return WebEngineRenderBackend::make();
}

std::shared_ptr<settings::ThumbGetterFactory> EngineWebRenderModule::thumbGetterFactory()
{
    return std::make_shared<WebThumbGetterFactory>();
}

QWidget* EngineWebRenderModule::makeLoginWindow(bool legacy, const QString& address, QWidget* parent)
{
    CookieGatherer* window = legacy ? new LegacyCookieGatherer(parent) : new CookieGatherer(parent);
    window->initWithURL(address);
    return window;
}

QString EngineWebRenderModule::loginAddress(QWidget* window) const
{
    const auto* login = dynamic_cast<CookieGatherer*>(window);
    return login ? login->addressField()->text() : QString();
}

QWidget* EngineWebRenderModule::makeSourceView(QWidget* parent)
{
    return new SourceView(parent);
}

void EngineWebRenderModule::showSource(QWidget* view, const QString& html, const QUrl& baseUrl, bool javaScript)
{
    if (auto* source = qobject_cast<SourceView*>(view))
        source->showSource(html, baseUrl, javaScript);
}

} // namespace crawlmere::webrender
