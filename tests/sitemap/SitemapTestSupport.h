// Pages for sitemap tests and the schema check of written sitemap files.
#pragma once

#include "engine/CrwlLinkInstance.h"
#include "engine/CrwlUrl.h"
#include "support/Fixtures.h"

#include <QProcess>
#include <QString>

#include <memory>

namespace crawlmere::test {

/// A fetched page: status, click distance, title.
inline std::shared_ptr<CrwlUrl> sitemapPage(const QString& url, qint64 status = 200, qint64 distance = 1)
{
    auto page = std::make_shared<CrwlUrl>();
    page->setLinkURL(url);
    page->setStatus(status);
    page->setDistanceFromHome(distance);
    page->setIsInternal(true);
    return page;
}

/// Links `page` to `target` (an image when `image`, else a video) with `linkText`. Occurrences
/// hold their URLs weakly: the caller keeps the returned target alive.
[[nodiscard]] inline std::shared_ptr<CrwlUrl> linkMedia(
    const std::shared_ptr<CrwlUrl>& page, const QString& target, const QString& linkText, bool image = true)
{
    auto media = std::make_shared<CrwlUrl>();
    media->setLinkURL(target);
    if (image)
        media->setIsImage(true);
    else
        media->setIsVideo(true);
    auto occurrence = CrwlLinkInstance::make();
    occurrence->setParent(page);
    occurrence->setTarget(media);
    occurrence->setLinkText(linkText);
    page->addOutboundInstance(occurrence);
    media->addInboundInstance(occurrence);
    return media;
}

/// xmllint's verdict on `file` against the project's schema `schema` ("sitemap.xsd" or
/// "siteindex.xsd" in tests/fixtures/sitemap): empty when it validates, else its messages.
inline QString schemaErrors(const QString& file, const QString& schema)
{
    QProcess xmllint;
    xmllint.start(QStringLiteral("xmllint"),
        { QStringLiteral("--noout"), QStringLiteral("--schema"), fixturePath(QStringLiteral("sitemap/") + schema),
            file });
    if (!xmllint.waitForFinished(60000))
        return QStringLiteral("xmllint did not finish");
    return xmllint.exitCode() == 0 ? QString() : QString::fromUtf8(xmllint.readAllStandardError());
}

} // namespace crawlmere::test
