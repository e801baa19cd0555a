// The priority of a sitemap entry as a sitemap file takes it, shared by the places where one is
// typed (the sitemap table, the sitemap rules) and the sitemap writer.
#pragma once

#include <QString>

#include <optional>

namespace crawlmere::engine {

/// `text` as a sitemap priority: a decimal from 0.0 to 1.0 inclusive ("0.8", ".5", "1", "1.00",
/// "+0.3"), returned without the white space around it; nullopt for anything else ("1.5",
/// "high", "-0.1", "1e-1", "0,5", ""), which a sitemap file must never carry.
inline std::optional<QString> sitemapPriority(const QString& text)
{
    const QString trimmed = text.trimmed();
    const QStringView number = trimmed.startsWith(u'+') ? QStringView(trimmed).mid(1) : QStringView(trimmed);
    const qsizetype point = number.indexOf(u'.');
    const QStringView whole = point < 0 ? number : number.left(point);
    const QStringView fraction = point < 0 ? QStringView() : number.mid(point + 1);
    const auto digits = [](QStringView part) {
        for (const QChar c : part) {
            if (c < u'0' || c > u'9')
                return false;
        }
        return true;
    };
    if (whole.isEmpty() && fraction.isEmpty())
        return std::nullopt;
    if (!digits(whole) || !digits(fraction))
        return std::nullopt;
    qsizetype first = 0;
    while (first < whole.size() && whole.at(first) == u'0')
        ++first;
    const QStringView significant = whole.mid(first);
    if (significant.isEmpty())
        return trimmed;
    if (significant != u"1")
        return std::nullopt;
    for (const QChar c : fraction) {
        if (c != u'0')
            return std::nullopt;
    }
    return trimmed;
}

} // namespace crawlmere::engine
