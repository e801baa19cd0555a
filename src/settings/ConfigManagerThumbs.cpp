// The site store's thumbnails: where each site's picture lives, reading it for the site list,
// and starting a getter when a site's picture should be made again.
#include "settings/ConfigManager.h"

#include "engine/CrawlSettingKeys.h"

#include "platform/Log.h"
#include "platform/Paths.h"
#include "platform/UserDefaults.h"
#include "settings/ThumbGetter.h"
#include "settings/ThumbGetterFactory.h"
#include "settings/detail/SiteListKeys.h"

#include <QCryptographicHash>
#include <QFileInfo>
#include <QImageReader>
#include <QPainter>

#include <algorithm>

namespace crawlmere::settings {

using platform::logLine;

namespace {

const QString kThumbsFolder = QStringLiteral("thumbs");
/// Getters kept before the finished ones are dropped.
constexpr std::size_t kRetainedGetters = 64;
/// Decoded thumbnails kept between rebuilds of the list.
constexpr qsizetype kCachedThumbs = 512;

bool isSafeFileName(const QString& name)
{
    if (name.isEmpty() || name == u"." || name == u".." || name.toUtf8().size() > 255)
        return false;
    return std::none_of(name.begin(), name.end(), [](QChar c) {
        return c == u'/' || c == u'\\' || c.unicode() < 0x20 || c.unicode() == 0x7f
            || c.category() == QChar::Other_Control;
    });
}

} // namespace

ThumbGetter::~ThumbGetter() = default;
ThumbGetterFactory::~ThumbGetterFactory() = default;

void ConfigManager::setThumbGetterFactory(std::shared_ptr<ThumbGetterFactory> factory)
{
    m_thumbFactory = std::move(factory);
}

qint64 ConfigManager::sitesTableIconSize() const
{
    const QString key = defaultsKey::sitesTableIconSize;
    return m_defaults.objectForKey(key).isValid() ? m_defaults.integerForKey(key) : 1;
}

QString ConfigManager::thumbFileName(const QString& siteID)
{
    if (isSafeFileName(siteID))
        return siteID;
    return QString::fromLatin1(QCryptographicHash::hash(siteID.toUtf8(), QCryptographicHash::Sha256).toHex());
}

QString ConfigManager::thumbPathForSiteID(const QString& siteID)
{
    return platform::Paths::applicationSupportFolder() + QLatin1Char('/') + kThumbsFolder + QLatin1Char('/')
        + thumbFileName(siteID);
}

QImage ConfigManager::resizedImageFromImage(const QImage& image)
{
    QImage resized(kThumbDisplaySize, QImage::Format_ARGB32_Premultiplied);
    resized.fill(Qt::transparent);
    QPainter painter(&resized);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.drawImage(QRect(QPoint(0, 0), kThumbDisplaySize), image);
    return resized;
}

QImage ConfigManager::placeholderThumb()
{
    static const QImage placeholder = resizedImageFromImage(QImage(QStringLiteral(":/defaultWebIcon.png")));
    return placeholder;
}

QImage ConfigManager::getThumbForWebsiteWithoutFetching(const QVariantMap& site) const
{
    const QString path = thumbPathForSiteID(site.value(detail::kId).toString());
    const QFileInfo info(path);
    if (!info.isFile()) {
        m_thumbCache.remove(path);
        return {};
    }
    const QDateTime stamp = info.lastModified();
    const auto cached = m_thumbCache.constFind(path);
    if (cached != m_thumbCache.constEnd() && cached->first == stamp && cached->second.first == info.size())
        return cached->second.second;
    QImageReader reader(path);
    const QImage stored = reader.read();
    const QImage shown = stored.isNull() ? QImage() : resizedImageFromImage(stored);
    if (m_thumbCache.size() >= kCachedThumbs)
        m_thumbCache.clear();
    m_thumbCache.insert(path, { stamp, { info.size(), shown } });
    return shown;
}

QImage ConfigManager::getThumbForWebsite(const QVariantMap& site, bool forceRefresh)
{
    if (!forceRefresh || !m_thumbFactory)
        return getThumbForWebsiteWithoutFetching(site);
    if (platform::Paths::applicationSupportSubfolder(kThumbsFolder).isEmpty()) {
        logLine(0, QStringLiteral("unable to make the thumbnail folder"));
        return placeholderThumb();
    }
    const QString startingUrl = site.value(crawlKey::startingUrl).toString();
    const QString location = thumbPathForSiteID(site.value(detail::kId).toString());
    // A site selected again while its thumbnail is being made gets no second getter; one still
    // making it from a starting URL the site has left is dropped for the new one.
    const auto atWork = std::find_if(m_retainArray.begin(), m_retainArray.end(),
        [&location](const RetainedGetter& kept) { return kept.location == location && !kept.getter->isFinished(); });
    if (atWork != m_retainArray.end()) {
        if (atWork->startingUrl == startingUrl)
            return placeholderThumb();
        m_retainArray.erase(atWork);
    }
    if (m_retainArray.size() >= kRetainedGetters)
        std::erase_if(m_retainArray, [](const RetainedGetter& kept) { return kept.getter->isFinished(); });
    auto getter = m_thumbFactory->makeGetter(startingUrl, location, [this](ThumbGetter& done) { WTGCallback(done); });
    if (!getter)
        return placeholderThumb();
    m_retainArray.push_back({ startingUrl, location, std::move(getter) });
    m_retainArray.back().getter->getImage();
    return placeholderThumb();
}

void ConfigManager::WTGCallback(ThumbGetter& getter)
{
    if (sitesTableIconSize() == 0)
        return;
    const QString url = getter.getPassedUrl();
    const auto row = std::find_if(m_rows.begin(), m_rows.end(),
        [&url](const WebtallyWebsiteNavigationItem& item) { return !item.isHeader() && item.startingUrl == url; });
    if (row == m_rows.end())
        return;
    const auto site = settingsForID(row->ID);
    if (!site)
        return;
    const QImage thumb = getThumbForWebsiteWithoutFetching(*site);
    if (thumb.isNull())
        return;
    row->image = thumb;
    if (m_view)
        m_view->reloadSiteList();
    selectCurrentSettingsInInterfaceIfPossible();
}

} // namespace crawlmere::settings
