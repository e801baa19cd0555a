// The progress line of a scan without windows.
#include "app/ScanStatusLine.h"

namespace crawlmere::app {

QString ScanStatusLine::text(const Counts& counts)
{
    return QStringLiteral("%1 done, %2 in queue, %3 in flight, %4 bad link%5")
        .arg(counts.done)
        .arg(counts.queued)
        .arg(counts.inFlight)
        .arg(counts.bad)
        .arg(counts.bad == 1 ? QString() : QStringLiteral("s"));
}

std::optional<QByteArray> ScanStatusLine::update(const Counts& counts, qint64 nowMs)
{
    const qint64 interval = m_terminal ? kTerminalIntervalMs : kPlainIntervalMs;
    if (m_lastWriteMs && nowMs - *m_lastWriteMs < interval)
        return std::nullopt;
    if (m_lastCounts && *m_lastCounts == counts)
        return std::nullopt;
    m_lastWriteMs = nowMs;
    m_lastCounts = counts;

    const QByteArray line = text(counts).toUtf8();
    if (!m_terminal)
        return line + '\n';
    // A shorter line than the last one is padded so no characters of the old one remain.
    QByteArray out = '\r' + line;
    if (line.size() < m_lastLength)
        out += QByteArray(m_lastLength - line.size(), ' ');
    m_lastLength = line.size();
    return out;
}

QByteArray ScanStatusLine::finish(const Counts& last)
{
    if (!m_terminal) {
        if (!m_lastCounts || *m_lastCounts == last)
            return {};
        m_lastCounts = last;
        return text(last).toUtf8() + '\n';
    }
    if (m_lastLength == 0)
        return {};
    QByteArray out = '\r' + QByteArray(m_lastLength, ' ') + '\r';
    m_lastLength = 0;
    return out;
}

} // namespace crawlmere::app
