// The stretch of a page's source around a warning's position, and the fetch that gets it.
#include "reports/WarningContext.h"

#include "engine/CrwlPatternMatcher.h"
#include "platform/Log.h"
#include "platform/UrlSession.h"

#include <algorithm>
#include <atomic>
#include <limits>

namespace crawlmere::reports {

using platform::UrlSession;

namespace {

constexpr double kFetchTimeoutSeconds = 10.0;
constexpr int kBefore = 200;
constexpr int kAfter = 10;

} // namespace

std::optional<int> WarningContext::positionInWarning(const QString& warning)
{
    // The digits are taken whole: a text that ends with them names no position, rather than
    // one cut short by its last digit.
    const QStringList found = CrwlPatternMatcher::applyRegex(QStringLiteral("at line \\d+/(\\d++)."), warning);
    if (found.isEmpty() || found.first().isEmpty())
        return std::nullopt;
    bool ok = false;
    const qlonglong value = found.first().toLongLong(&ok);
    // Digits beyond the 32-bit range clamp to its top, like any text read as an integer.
    if (!ok)
        return std::numeric_limits<int>::max();
    return int(std::min<qlonglong>(value, std::numeric_limits<int>::max()));
}

std::optional<QString> WarningContext::contextAt(const QByteArray& bytes, int position)
{
    const qint64 count = bytes.size();
    if (position < 1 || position >= count)
        return std::nullopt;
    const qint64 p = std::max(position, kBefore);
    const qint64 start = p - kBefore;
    const qint64 length = p + kAfter < count ? kBefore + kAfter : kBefore;
    const qint64 end = std::min(start + length, count);
    const QString text = QString::fromUtf8(bytes.mid(start, end - start));
    return end < count ? QStringLiteral("...%1...").arg(text) : QStringLiteral("...%1").arg(text);
}

qint64 WarningContext::bytesNeeded(int position)
{
    // Past byte p+10 the window and its frame no longer depend on how many bytes follow.
    return qint64(std::max(position, kBefore)) + kAfter + 1;
}

std::shared_ptr<WarningContext> WarningContext::fetch(const QString& url, const QString& userAgent, int position,
    Completion completion)
{
    struct State {
        QByteArray bytes;
        bool enough = false;
        std::atomic<bool> cancelled { false };
    };
    auto state = std::make_shared<State>();
    const qint64 needed = bytesNeeded(position);

    platform::UrlSessionDelegate delegate;
    delegate.didReceiveData = [state, needed](UrlSession& session, const QByteArray& chunk) {
        if (state->enough)
            return;
        state->bytes.append(chunk.left(needed - state->bytes.size()));
        if (state->bytes.size() >= needed) {
            state->enough = true;
            session.cancel();
        }
    };
    delegate.didCompleteWithError = [state, url, position, completion = std::move(completion)](
                                        UrlSession&, const platform::UrlTaskResult& result) {
        if (state->cancelled)
            return;
        if (result.error && !state->enough) {
            platform::logLine(0, QStringLiteral("error fetching souce for %1, error: %2")
                                     .arg(url, result.error->localizedDescription));
            completion(noContextText());
            return;
        }
        completion(contextAt(state->bytes, position).value_or(noContextText()));
    };

    std::shared_ptr<WarningContext> context(new WarningContext());
    context->session = UrlSession::create(std::move(delegate));
    context->cancelState = [state] { state->cancelled = true; };

    platform::UrlRequest request(url, kFetchTimeoutSeconds);
    if (!userAgent.isEmpty())
        request.setValue(userAgent.toUtf8(), "User-Agent");
    context->session->start(std::move(request));
    return context;
}

void WarningContext::cancel()
{
    if (cancelState)
        cancelState();
    if (session)
        session->invalidateAndCancel();
}

} // namespace crawlmere::reports
