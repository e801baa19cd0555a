// The stretch of a page's source around a warning's position, and the fetch that gets it.
#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace crawlmere::platform {
class UrlSession;
}

namespace crawlmere::reports {

/// Finds a warning's byte position and cuts the source around it. The static functions are pure
/// and safe on any thread; a `WarningContext` object is one fetch.
class WarningContext {
public:
    /// What the context view shows when there is nothing to show.
    static QString noContextText() { return QStringLiteral("No context available"); }

    /// The position P named by the first "at line N/P." in `warning` (case-insensitive; any one
    /// character follows all of P's digits); none when there is no such part. A P beyond the
    /// 32-bit range counts as its largest value.
    static std::optional<int> positionInWarning(const QString& warning);

    /// The framed context around byte `position` of `bytes`, or none when `position` is below 1
    /// or not smaller than the byte count. With p the larger of the position and 200, the bytes
    /// from p−200, 210 of them when p+10 is below the count, else 200, clipped to the end; framed
    /// "...%1..." when bytes follow the window, else "...%1". A character cut at either edge
    /// decodes as U+FFFD.
    static std::optional<QString> contextAt(const QByteArray& bytes, int position);

    /// How many leading bytes of a page decide `contextAt` for `position`: with that many (or
    /// the whole page when shorter) the answer is the same as with the whole page.
    static qint64 bytesNeeded(int position);

    /// The answer of a fetch: the framed context or `noContextText()`. Runs on the session's
    /// queue, never on the main thread.
    using Completion = std::function<void(const QString& text)>;

    /// Fetches `url` (cache ignored, 10 s idle time-out, `userAgent` as "User-Agent" when not
    /// empty, any status) and answers the context at `position`. The transfer stops once
    /// `bytesNeeded(position)` bytes have arrived. An error logs "error fetching souce for %1,
    /// error: %2" and answers `noContextText()`. The completion runs exactly once unless
    /// `cancel` comes first. The fetch lives until it completes, whoever holds the result.
    static std::shared_ptr<WarningContext> fetch(const QString& url, const QString& userAgent, int position,
        Completion completion);

    /// Stops the transfer; the completion will not run. Any thread.
    void cancel();

private:
    WarningContext() = default;
    std::shared_ptr<platform::UrlSession> session;
    std::function<void()> cancelState;
};

} // namespace crawlmere::reports
