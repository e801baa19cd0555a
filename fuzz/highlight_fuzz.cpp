// Feeds arbitrary pages to the link highlighter's marking, with the link and the options taken
// from the input, and checks that the copy is the page plus whole insertions.
#include "engine/CrawlSettings.h"
#include "engine/CrwlUrl.h"
#include "views/HighlightMarker.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace {

std::shared_ptr<CrawlSettings> settingsTrimmingHash(bool trim)
{
    QVariantMap values = CrwlUrl::defaultCrawlSettings();
    values.insert(QStringLiteral("shouldTrimHash"), trim);
    return std::make_shared<CrawlSettings>(values);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using crawlmere::views::HighlightMarker;
    if (size == 0)
        return 0;
    const uint8_t flags = data[0];
    const QByteArray input(reinterpret_cast<const char*>(data + 1), static_cast<qsizetype>(size - 1));
    // The first line names the link (relative to the page), the rest is the page.
    const qsizetype split = input.indexOf('\n');
    const QByteArray linkBytes = split < 0 ? QByteArray("/x.html") : input.left(split);
    const QByteArray page = split < 0 ? input : input.mid(split + 1);
    const QString pageUrl = (flags & 0x08) ? QStringLiteral("http://h.test/say\"hi\"/index.html") : QStringLiteral("http://h.test/dir/index.html");

    // The two settings a link can have, made once: a settings map per input would be most of
    // what each input allocates, and all of what the sanitizer's quarantine then holds.
    static const std::shared_ptr<CrawlSettings> settings[2] = { settingsTrimmingHash(false), settingsTrimmingHash(true) };
    auto link = CrwlUrl::make(nullptr, settings[(flags & 0x04) != 0 ? 1 : 0]);
    const auto resolved = CrwlUrl::makeNSURLFromString(QString::fromUtf8(linkBytes), pageUrl);
    link->setLinkURL(resolved ? resolved->absoluteString() : QString::fromUtf8(linkBytes));

    HighlightMarker::Request request { link->absoluteString(), HighlightMarker::defaultStyle(), pageUrl, (flags & 0x01) != 0,
        (flags & 0x02) != 0, [link](const QString& url) {
            return link->trimHash(url.contains(u'%') ? CrwlUrl::decodedLinkURLString(url) : url, false);
        } };
    HighlightMarker marker;
    const auto marked = marker.mark(page, request);
    marker.foundUrls(page, (flags & 0x02) != 0);
    if (!marked)
        return 0;
    // The copy is the page with the base element and whole style texts inserted: nothing of the
    // page is lost or overwritten. The style text overlaps no copy of itself, so taking every copy
    // out of both leaves the page and the copy one base element apart.
    const QByteArray style = request.style.toLatin1();
    const QByteArray element = QByteArray("\n<base href = \"")
        + ((flags & 0x08) ? "http://h.test/say%22hi%22/index.html" : "http://h.test/dir/index.html") + "\">\n";
    QByteArray copy = *marked;
    copy.replace(style, QByteArray());
    QByteArray original = page;
    original.replace(style, QByteArray());
    if (copy.size() != original.size() + element.size())
        std::abort();
    // Compared in place: a copy of the page for each place the element could be would make every
    // input cost its size times those places.
    const QByteArrayView copied(copy);
    for (qsizetype at = copy.indexOf(element); at >= 0; at = copy.indexOf(element, at + 1)) {
        if (copied.first(at) == QByteArrayView(original).first(at)
            && copied.sliced(at + element.size()) == QByteArrayView(original).sliced(at))
            return 0;
    }
    std::abort();
}
