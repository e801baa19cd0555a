// The link occurrences of a URL record: inbound and outbound lists, the image, video and audio
// lists and link count cached on the outbound list, and the views' search.
#include "engine/CrwlUrl.h"

#include "engine/CrwlLinkInstance.h"
#include "engine/detail/CrwlUrlCaches.h"
#include "engine/SettingsValue.h"
#include "platform/Strings.h"

namespace strings = crawlmere::platform::strings;
using crawlmere::engine::integerValue;

namespace {

// Occurrence lists grow by a quarter rather than doubling: a scan holds hundreds of thousands of
// them and most stop growing soon, so doubling would leave a third of their room unused on
// average (a quarter leaves about a tenth; the moves are of pointers).
void appendGrowingByQuarter(CrwlUrl::OccurrenceList& list, const std::shared_ptr<CrwlLinkInstance>& instance)
{
    if (list.size() == list.capacity())
        list.reserve(list.size() + list.size() / 4 + 1);
    list.push_back(instance);
}

} // namespace

void CrwlUrl::addInboundInstance(const std::shared_ptr<CrwlLinkInstance>& instance)
{
    appendGrowingByQuarter(inboundInstanceArray, instance);
}

void CrwlUrl::addOutboundInstance(const std::shared_ptr<CrwlLinkInstance>& instance)
{
    appendGrowingByQuarter(outboundInstanceArray, instance);
    if (caches) {
        caches->linkedImages.reset();
        caches->linkedVideo.reset();
        caches->linkedAudio.reset();
    }
    linkCountCache = -1;
    const auto target = instance ? instance->target() : nullptr;
    if (target && target->isInternal())
        ++internalLinkCount;
    else
        ++externalLinkCount;
}

void CrwlUrl::setInboundInstanceArray(const InstanceList& value)
{
    inboundInstanceArray.clear();
    for (const auto& instance : value)
        inboundInstanceArray.push_back(instance);
}

void CrwlUrl::setOutboundInstanceArray(const InstanceList& value)
{
    outboundInstanceArray.clear();
    for (const auto& instance : value)
        outboundInstanceArray.push_back(instance);
}

std::shared_ptr<CrwlLinkInstance> CrwlUrl::lastInboundInstance() const
{
    return inboundInstanceArray.empty() ? nullptr : inboundInstanceArray.back();
}

CrwlUrl::InstanceList CrwlUrl::getWaysIn() const
{
    InstanceList ways = inboundInstanceArray.toVector();
    if (const auto recordOwner = owner.lock()) {
        for (auto& arrival : recordOwner->getRedirectArrivalsTo(*this))
            ways.push_back(std::move(arrival));
    }
    return ways;
}

qsizetype CrwlUrl::waysInCount() const
{
    qsizetype count = occurrencesCount();
    if (const auto recordOwner = owner.lock())
        count += qsizetype(recordOwner->getRedirectArrivalsTo(*this).size());
    return count;
}

QString CrwlUrl::getLinkText() const
{
    if (inboundInstanceArray.empty() || !inboundInstanceArray.front())
        return QStringLiteral("");
    return inboundInstanceArray.front()->getLinkText();
}

CrwlUrlCaches& CrwlUrl::cachesRef() const
{
    if (!caches)
        caches = std::make_unique<CrwlUrlCaches>();
    return *caches;
}

void CrwlUrl::invalidateLinkedImagesArray()
{
    if (caches)
        caches->linkedImages.reset();
}

void CrwlUrl::invalidateLinkedVideoArray()
{
    if (caches)
        caches->linkedVideo.reset();
}

void CrwlUrl::invalidateLinkedAudioArray()
{
    if (caches)
        caches->linkedAudio.reset();
}

const CrwlUrl::InstanceList& CrwlUrl::linkedInstances(
    std::optional<InstanceList>& cache, bool (CrwlUrl::*test)() const) const
{
    if (!cache) {
        InstanceList list;
        for (const auto& instance : outboundInstanceArray) {
            const auto target = instance ? instance->target() : nullptr;
            if (target && ((*target).*test)())
                list.push_back(instance);
        }
        cache = std::move(list);
    }
    return *cache;
}

const CrwlUrl::InstanceList& CrwlUrl::linkedImagesArray() const
{
    return linkedInstances(cachesRef().linkedImages, &CrwlUrl::isImage);
}

const CrwlUrl::InstanceList& CrwlUrl::linkedVideoArray() const
{
    return linkedInstances(cachesRef().linkedVideo, &CrwlUrl::isVideo);
}

const CrwlUrl::InstanceList& CrwlUrl::linkedAudioArray() const
{
    return linkedInstances(cachesRef().linkedAudio, &CrwlUrl::isAudio);
}

void CrwlUrl::setIsImage(bool value)
{
    isImageFlag = value;
    for (const auto& instance : inboundInstanceArray) {
        if (const auto page = instance ? instance->parent() : nullptr)
            page->invalidateLinkedImagesArray();
    }
}

void CrwlUrl::addToRetainArray(std::shared_ptr<void> object) { cachesRef().retainArray.push_back(std::move(object)); }

bool CrwlUrl::contains(const QString& text) const
{
    if (strings::containsCaseInsensitive(linkURL, text) || strings::containsCaseInsensitive(getRedir(), text))
        return true;
    const qint64 number = integerValue(text);
    return number != 0 && number == getStatus();
}
