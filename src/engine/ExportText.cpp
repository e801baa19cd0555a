// The shared pieces of the HTML exports.
#include "engine/ExportText.h"

#include "platform/Strings.h"

namespace crawlmere::engine {

namespace {

constexpr qsizetype kLongestWholeUrl = 50;
constexpr qsizetype kHeadLength = 23;
constexpr qsizetype kTailLength = 27;

} // namespace

QString truncateURLByAddingElipsisInMiddle(const QString& text)
{
    if (text.size() <= kLongestWholeUrl)
        return text;
    return QStringLiteral("%1...%2").arg(text.left(kHeadLength), text.right(kTailLength));
}

QString htmlExportHead(const QString& title)
{
    const QString shown = title.isNull() ? QStringLiteral("Data Export from Crawlmere") : title;
    return QStringLiteral("<html><head><title>%1</title><meta http-equiv=\"Content-Type\" "
                          "content=\"text/html; charset=UTF-8\" /></head><body>")
        .arg(platform::strings::htmlEscaped(shown));
}

QString htmlExportFoot() { return QStringLiteral("</body></html>"); }

} // namespace crawlmere::engine
