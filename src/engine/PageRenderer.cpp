// The client-side rendering of one page: load, settle, take the markup, hand it over once.
#include "engine/PageRenderer.h"

#include "engine/HubClock.h"
#include "platform/Log.h"
#include "platform/UrlRequest.h"
#include "platform/UserDefaults.h"

#include <algorithm>
#include <cmath>
#include <mutex>

using crawlmere::platform::logLine;
using crawlmere::platform::UrlRequest;

const QString PageRenderer::kMarkupScript = QStringLiteral("document.documentElement.outerHTML.toString()");

namespace {

std::chrono::milliseconds milliseconds(double seconds)
{
    if (!(seconds > 0.0))
        return std::chrono::milliseconds(0);
    // A day is far past any time-out or settle time the settings offer.
    return std::chrono::milliseconds(static_cast<qint64>(std::min(seconds, 86400.0) * 1000.0));
}

} // namespace

PageRenderBackend::~PageRenderBackend() = default;

PageRenderer::~PageRenderer()
{
    if (backend)
        backend->stop();
}

std::shared_ptr<PageRenderer> PageRenderer::start(const UrlRequest& request, const std::shared_ptr<CrwlUrl>& owner,
    std::unique_ptr<PageRenderBackend> backend, std::shared_ptr<HubClock> clock, double settleSeconds)
{
    std::shared_ptr<PageRenderer> renderer(new PageRenderer());
    renderer->owner = owner;
    renderer->clock = clock ? std::move(clock) : std::make_shared<DispatchClock>();
    renderer->settleSeconds = std::isfinite(settleSeconds) ? std::max(settleSeconds, 0.0) : 1.0;
    renderer->backend = std::move(backend);
    renderer->begin(request);
    return renderer;
}

CrwlUrl::RendererStarter PageRenderer::makeStarter(BackendFactory factory, std::shared_ptr<HubClock> clock)
{
    return [factory = std::move(factory), clock = std::move(clock)](
               const UrlRequest& request, const std::shared_ptr<CrwlUrl>& record) -> std::shared_ptr<PageRenderer> {
        const double settle
            = crawlmere::platform::UserDefaults::standard().value(defaultsKey::jsRenderingTime);
        return start(request, record, factory ? factory() : nullptr, clock, settle);
    };
}

namespace {

std::mutex availabilityLock;

std::function<bool()>& availability()
{
    static std::function<bool()> canRender;
    return canRender;
}

} // namespace

void PageRenderer::setAvailability(std::function<bool()> canRender)
{
    std::lock_guard guard(availabilityLock);
    availability() = std::move(canRender);
}

bool PageRenderer::isAvailable()
{
    std::function<bool()> canRender;
    {
        std::lock_guard guard(availabilityLock);
        canRender = availability();
    }
    // Asked outside the lock: the answer may load the browser engine.
    return !canRender || canRender();
}

void PageRenderer::begin(const UrlRequest& request)
{
    thisUrl = request.url;
    timeoutSeconds = request.timeoutInterval >= 0.001 ? request.timeoutInterval : UrlRequest::kDefaultTimeoutInterval;
    if (!backend) {
        // No page could be made: the record still ends, after the current event.
        logLine(0, QStringLiteral("no page to render %1").arg(thisUrl));
        currentState = State::Evaluating;
        const std::weak_ptr<PageRenderer> weak = weak_from_this();
        clock->after(std::chrono::milliseconds(0), [weak] {
            if (const auto self = weak.lock())
                self->respond(QString());
        });
        return;
    }
    const std::weak_ptr<PageRenderer> weak = weak_from_this();
    PageRenderBackend::Events events;
    events.finished = [weak] {
        const auto self = weak.lock();
        if (!self || (self->currentState != State::Loading && self->currentState != State::Settling))
            return;
        self->currentState = State::Settling;
        self->after(self->settleSeconds, &PageRenderer::settleFired);
    };
    events.failed = [weak](const QString& error) {
        if (const auto self = weak.lock()) {
            logLine(1, QStringLiteral("%1 failed to load: %2").arg(self->thisUrl, error));
            self->webViewActuallyFinished(true);
        }
    };
    events.crashed = [weak] {
        if (const auto self = weak.lock()) {
            logLine(0, QStringLiteral("the page of %1 has crashed").arg(self->thisUrl));
            self->webViewActuallyFinished(true);
        }
    };
    backend->setEvents(std::move(events));
    backend->load(request);
    after(timeoutSeconds, &PageRenderer::haveWeTimedOut);
}

void PageRenderer::after(double seconds, void (PageRenderer::*work)())
{
    const std::weak_ptr<PageRenderer> weak = weak_from_this();
    clock->after(milliseconds(seconds), [weak, work] {
        if (const auto self = weak.lock())
            (self.get()->*work)();
    });
}

void PageRenderer::settleFired() { webViewActuallyFinished(false); }

void PageRenderer::webViewActuallyFinished(bool evenWhileLoading)
{
    if (currentState == State::Evaluating || currentState == State::Responded || currentState == State::TornDown) {
        logLine(2, QStringLiteral("%1: another finish message after responding").arg(thisUrl));
        return;
    }
    if (!evenWhileLoading && backend->isLoading()) {
        logLine(2, QStringLiteral("%1 is still loading").arg(thisUrl));
        return;
    }
    returnWhatHTMLWeHave();
}

void PageRenderer::returnWhatHTMLWeHave()
{
    currentState = State::Evaluating;
    if (backend->isLoading())
        backend->stopLoading();
    const std::weak_ptr<PageRenderer> weak = weak_from_this();
    // A page whose script never yields never answers: the record is ended without it.
    after(std::max(settleSeconds, 1.0), &PageRenderer::evaluationOverdue);
    backend->evaluate(kMarkupScript, [weak](const std::optional<QString>& result, const QString& error) {
        const auto self = weak.lock();
        if (!self || self->currentState != State::Evaluating)
            return;
        if (!result)
            logLine(1, QStringLiteral("evaluateJavaScript error : %1").arg(error));
        self->respond(result.value_or(QString()));
    });
}

void PageRenderer::evaluationOverdue()
{
    if (currentState != State::Evaluating)
        return;
    logLine(1, QStringLiteral("%1: the page did not answer for its markup").arg(thisUrl));
    respond(QString());
}

void PageRenderer::respond(const QString& markup)
{
    if (currentState == State::Responded || currentState == State::TornDown)
        return;
    currentState = State::Responded;
    responded = true;
    // The hand-over may tear this renderer down (the record's clearWTG) and drop it.
    const auto keepAlive = shared_from_this();
    const auto record = owner.lock();
    if (!record)
        return;
    if (!markup.isEmpty())
        record->addNewDataToData(markup.toUtf8());
    record->pageRendererDidReturnHTML();
}

void PageRenderer::haveWeTimedOut()
{
    switch (currentState) {
    case State::Responded: {
        const std::weak_ptr<CrwlUrl> weakOwner = owner;
        clock->after(std::chrono::milliseconds(0), [weakOwner] {
            if (const auto record = weakOwner.lock())
                record->clearWTG();
        });
        return;
    }
    case State::TornDown:
    case State::Evaluating:
        return;
    case State::Loading:
    case State::Settling:
        logLine(1, QStringLiteral("%1 has timed out").arg(thisUrl));
        webViewActuallyFinished(true);
        return;
    }
}

void PageRenderer::stopLoading()
{
    if (currentState == State::TornDown)
        return;
    currentState = State::TornDown;
    owner.reset();
    if (!backend)
        return;
    backend->stop();
    // The page may be reporting right now (the hand-over runs inside its callback): it goes
    // after the current event.
    std::shared_ptr<PageRenderBackend> finished(std::move(backend));
    clock->after(std::chrono::milliseconds(0), [finished] { });
}
