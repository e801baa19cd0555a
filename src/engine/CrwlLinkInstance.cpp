// Link occurrences: rel flags, attribute setters and the row getters of the link tables.
#include "engine/CrwlLinkInstance.h"

#include "engine/CrwlUrl.h"
#include "engine/detail/BlockPool.h"
#include "engine/detail/RecordReference.h"
#include "engine/detail/RedirectOnly.h"
#include "platform/Strings.h"

#include <QHash>

#include <algorithm>
#include <functional>
#include <mutex>
#include <unordered_map>

namespace strings = crawlmere::platform::strings;
using crawlmere::engine::detail::RecordReference;

// A scan holds millions of occurrences: each costs these bytes.
static_assert(sizeof(void*) != 8 || sizeof(CrwlLinkInstance) == 24, "an occurrence grew past 24 bytes");

namespace {

/// The line numbers that do not fit an occurrence's two bytes, by occurrence: a page of more
/// than 65,533 lines. Read from any thread.
struct OtherLines {
    std::mutex lock;
    std::unordered_map<const CrwlLinkInstance*, qint32> lines;
};

OtherLines& otherLines()
{
    // Never destroyed: an occurrence let go while the program exits still finds it.
    static OtherLines* const table = new OtherLines;
    return *table;
}

} // namespace

CrwlLinkInstance::CrwlLinkInstance() { setVisible(true); }

std::shared_ptr<CrwlLinkInstance> CrwlLinkInstance::make()
{
    return std::allocate_shared<CrwlLinkInstance>(crawlmere::engine::detail::PooledAllocator<CrwlLinkInstance>());
}

CrwlLinkInstance::~CrwlLinkInstance()
{
    RecordReference::release(parentPage);
    RecordReference::release(targetRecord);
    CrwlLinkTextPool::Texts::drop(textsHandle);
    if (lineCode == kOtherLineCode) {
        OtherLines& table = otherLines();
        const std::lock_guard guard(table.lock);
        table.lines.erase(this);
    }
}

// ===== Fields =================================================================================

void CrwlLinkInstance::setParent(const std::shared_ptr<CrwlUrl>& page)
{
    const RecordReference::Handle next = RecordReference::acquire(page);
    RecordReference::release(parentPage);
    parentPage = next;
}

void CrwlLinkInstance::setTarget(const std::shared_ptr<CrwlUrl>& url)
{
    const RecordReference::Handle next = RecordReference::acquire(url);
    RecordReference::release(targetRecord);
    targetRecord = next;
}

namespace {

/// One of the white-space separated parts of `rel` contains `word`, ignoring case. A word
/// without white space can only be found inside one part, so a search of the whole text gives
/// the same answer.
bool relPartContains(const QString& rel, QStringView word) { return strings::containsCaseInsensitive(rel, word); }

} // namespace

bool CrwlLinkInstance::relContainsNofollow(const QString& rel) { return relPartContains(rel, u"nofollow"); }

bool CrwlLinkInstance::relContainsExternal(const QString& rel) { return relPartContains(rel, u"external"); }

void CrwlLinkInstance::setRel(const QString& rel)
{
    raiseRelFlags(rel);
    changeTexts([&rel](CrwlLinkTextPool::Texts::Values& values) { values.ownAttributes().rel = rel; });
}

void CrwlLinkInstance::raiseRelFlags(const QString& rel)
{
    if (rel.isEmpty())
        return;
    if (relContainsNofollow(rel))
        nfFlag = true;
    if (strings::containsCaseInsensitive(rel, u"noreferrer"))
        nrFlag = true;
    if (strings::containsCaseInsensitive(rel, u"noopener"))
        nopFlag = true;
    if (strings::containsCaseInsensitive(rel, u"author"))
        auFlag = true;
    if (strings::containsCaseInsensitive(rel, u"alternate"))
        altFlag = true;
    if (strings::containsCaseInsensitive(rel, u"sponsored"))
        spFlag = true;
    if (strings::containsCaseInsensitive(rel, u"ugc"))
        ugcFlag = true;
    if (strings::containsCaseInsensitive(rel, u"dns-prefetch") || strings::containsCaseInsensitive(rel, u"preconnect"))
        pcFlag = true;
}

void CrwlLinkInstance::setTargetAttr(const QString& value)
{
    if (!value.isEmpty())
        changeTexts([&value](CrwlLinkTextPool::Texts::Values& values) { values.ownAttributes().targetAttr = value; });
}

void CrwlLinkInstance::setHreflang(const QString& value)
{
    if (!value.isEmpty())
        changeTexts([&value](CrwlLinkTextPool::Texts::Values& values) { values.ownAttributes().hreflang = value; });
}

void CrwlLinkInstance::setLinkText(const QString& value)
{
    if (value.isNull() && !textsHandle)
        return;
    changeTexts([&value](CrwlLinkTextPool::Texts::Values& values) { values.linkText = value; });
}

void CrwlLinkInstance::setConnectionType(const QString& value)
{
    if (value.isNull() && !textsHandle)
        return;
    changeTexts([&value](CrwlLinkTextPool::Texts::Values& values) { values.ownAttributes().connectionType = value; });
}

void CrwlLinkInstance::setConnectionColour(const QString& value)
{
    if (value.isNull() && !textsHandle)
        return;
    changeTexts(
        [&value](CrwlLinkTextPool::Texts::Values& values) { values.ownAttributes().connectionColour = value; });
}

void CrwlLinkInstance::setTexts(CrwlLinkTextPool::TextsPtr value)
{
    holdTexts(std::move(value));
    if (const CrwlLinkTextPool::Texts* held = heldTexts())
        raiseRelFlags(held->rel());
}

void CrwlLinkInstance::setLineNumber(std::optional<qint64> value)
{
    const bool wasOther = lineCode == kOtherLineCode;
    std::optional<qint32> other;
    if (!value) {
        lineCode = kNoLineCode;
    } else if (*value >= 0 && *value <= qint64(kMaxLineCode) - 1) {
        lineCode = quint16(*value + 1);
    } else {
        other = qint32(std::clamp<qint64>(*value, qint64(std::numeric_limits<qint32>::min()) + 1,
            std::numeric_limits<qint32>::max()));
        lineCode = kOtherLineCode;
    }
    if (!wasOther && !other)
        return;
    OtherLines& table = otherLines();
    const std::lock_guard guard(table.lock);
    if (other)
        table.lines[this] = *other;
    else
        table.lines.erase(this);
}

std::optional<qint64> CrwlLinkInstance::lineNumber() const
{
    if (lineCode == kNoLineCode)
        return std::nullopt;
    if (lineCode != kOtherLineCode)
        return qint64(lineCode) - 1;
    OtherLines& table = otherLines();
    const std::lock_guard guard(table.lock);
    const auto it = table.lines.find(this);
    return it == table.lines.end() ? std::nullopt : std::optional<qint64>(it->second);
}

const QString& CrwlLinkInstance::nullText()
{
    static const QString none;
    return none;
}

void CrwlLinkInstance::changeTexts(const std::function<void(CrwlLinkTextPool::Texts::Values&)>& change)
{
    const CrwlLinkTextPool::Texts* held = heldTexts();
    if (!held) {
        CrwlLinkTextPool::Texts::Values values;
        change(values);
        holdTexts(CrwlLinkTextPool::Texts::make(values.linkText, values.attributes ? &*values.attributes : nullptr));
        return;
    }
    holdTexts(held->withChange(change));
}

void CrwlLinkInstance::holdTexts(CrwlLinkTextPool::TextsPtr value)
{
    const CrwlLinkTextPool::Texts::Handle former = textsHandle;
    textsHandle = CrwlLinkTextPool::Texts::keep(std::move(value));
    CrwlLinkTextPool::Texts::drop(former);
}

// ===== Row getters ============================================================================

namespace {

QString orEmpty(const QString& text) { return text.isNull() ? QStringLiteral("") : text; }

} // namespace

qint64 CrwlLinkInstance::getStatus() const
{
    const auto url = target();
    return url ? url->getStatus() : -1;
}

QString CrwlLinkInstance::getStatusDescription() const
{
    const auto url = target();
    return url ? url->getStatusDescription() : QStringLiteral("");
}

QString CrwlLinkInstance::getLinkUrl() const
{
    const auto url = target();
    return url ? orEmpty(url->absoluteString()) : QStringLiteral("");
}

QString CrwlLinkInstance::getAbsoluteStringDecoded() const
{
    const auto url = target();
    return url ? url->getAbsoluteStringDecoded() : QStringLiteral("");
}

QString CrwlLinkInstance::getLinkText() const { return orEmpty(linkText()); }

QString CrwlLinkInstance::getRedir() const
{
    const auto url = target();
    return url ? url->getRedir() : QStringLiteral("");
}

QString CrwlLinkInstance::getRedirDecoded() const
{
    const auto url = target();
    return url ? url->getRedirDecoded() : QStringLiteral("");
}

QString CrwlLinkInstance::getOnPageUrl() const
{
    const auto page = parent();
    return page ? page->getAbsoluteStringDecoded() : QStringLiteral("");
}

QString CrwlLinkInstance::getOnPageTitle() const
{
    const auto page = parent();
    if (!page)
        return QStringLiteral("");
    // A redirect holds no page and so no title of its own: its address names the way in.
    if (crawlmere::engine::detail::isOnlyARedirect(*page))
        return page->getAbsoluteStringDecoded();
    return page->getLinkpagetitle();
}

qint64 CrwlLinkInstance::getDistance() const
{
    const auto page = parent();
    return page ? page->getDistanceFromHome() : 0;
}

qint64 CrwlLinkInstance::getRedirectCount() const
{
    const auto url = target();
    return url ? url->getRedirectCount() : 0;
}

qint64 CrwlLinkInstance::getTargetsize() const
{
    const auto url = target();
    return url ? url->getFilesize() : 0;
}

QString CrwlLinkInstance::getTargetInternal() const
{
    const auto url = target();
    if (!url)
        return QStringLiteral("");
    return url->isInternal() ? QStringLiteral("Internal") : QStringLiteral("External");
}

QString CrwlLinkInstance::getRel() const { return orEmpty(rel()); }

QString CrwlLinkInstance::getTargetAttr() const { return orEmpty(targetAttr()); }

QString CrwlLinkInstance::getHreflang() const { return orEmpty(hreflang()); }

QVariant CrwlLinkInstance::getSortValue(const QString& key) const
{
    using Getter = std::function<QVariant(const CrwlLinkInstance&)>;
    // Keyed by the getter name after "get", lower-cased: the names differ by more than case.
    static const QHash<QString, Getter> getters = {
        { QStringLiteral("status"), [](const CrwlLinkInstance& i) { return QVariant(i.getStatus()); } },
        { QStringLiteral("statusdescription"),
            [](const CrwlLinkInstance& i) { return QVariant(i.getStatusDescription()); } },
        { QStringLiteral("linkurl"), [](const CrwlLinkInstance& i) { return QVariant(i.getLinkUrl()); } },
        { QStringLiteral("absolutestringdecoded"),
            [](const CrwlLinkInstance& i) { return QVariant(i.getAbsoluteStringDecoded()); } },
        { QStringLiteral("linktext"), [](const CrwlLinkInstance& i) { return QVariant(i.getLinkText()); } },
        { QStringLiteral("redir"), [](const CrwlLinkInstance& i) { return QVariant(i.getRedir()); } },
        { QStringLiteral("redirdecoded"), [](const CrwlLinkInstance& i) { return QVariant(i.getRedirDecoded()); } },
        { QStringLiteral("onpageurl"), [](const CrwlLinkInstance& i) { return QVariant(i.getOnPageUrl()); } },
        { QStringLiteral("onpagetitle"), [](const CrwlLinkInstance& i) { return QVariant(i.getOnPageTitle()); } },
        { QStringLiteral("distance"), [](const CrwlLinkInstance& i) { return QVariant(i.getDistance()); } },
        { QStringLiteral("redirectcount"), [](const CrwlLinkInstance& i) { return QVariant(i.getRedirectCount()); } },
        { QStringLiteral("targetsize"), [](const CrwlLinkInstance& i) { return QVariant(i.getTargetsize()); } },
        { QStringLiteral("targetinternal"), [](const CrwlLinkInstance& i) { return QVariant(i.getTargetInternal()); } },
        { QStringLiteral("internal"), [](const CrwlLinkInstance& i) { return QVariant(i.getInternal()); } },
        { QStringLiteral("nofollow"), [](const CrwlLinkInstance& i) { return QVariant(i.getNofollow()); } },
        { QStringLiteral("noreferrer"), [](const CrwlLinkInstance& i) { return QVariant(i.getNoreferrer()); } },
        { QStringLiteral("noopener"), [](const CrwlLinkInstance& i) { return QVariant(i.getNoopener()); } },
        { QStringLiteral("author"), [](const CrwlLinkInstance& i) { return QVariant(i.getAuthor()); } },
        { QStringLiteral("alternate"), [](const CrwlLinkInstance& i) { return QVariant(i.getAlternate()); } },
        { QStringLiteral("sponsored"), [](const CrwlLinkInstance& i) { return QVariant(i.getSponsored()); } },
        { QStringLiteral("ugc"), [](const CrwlLinkInstance& i) { return QVariant(i.getUgc()); } },
        { QStringLiteral("preconnect"), [](const CrwlLinkInstance& i) { return QVariant(i.getPreConnect()); } },
        { QStringLiteral("rel"), [](const CrwlLinkInstance& i) { return QVariant(i.getRel()); } },
        { QStringLiteral("targetattr"), [](const CrwlLinkInstance& i) { return QVariant(i.getTargetAttr()); } },
        { QStringLiteral("hreflang"), [](const CrwlLinkInstance& i) { return QVariant(i.getHreflang()); } },
        { QStringLiteral("linenumber"), [](const CrwlLinkInstance& i) { return QVariant(i.getLineNumber()); } },
    };
    const auto it = getters.constFind(key.toLower());
    if (it != getters.cend())
        return it.value()(*this);
    return CrwlDataObject::getSortValue(key);
}

bool CrwlLinkInstance::contains(const QString& term) const
{
    if (term.isEmpty())
        return true;
    if (getStatus() != 0 && strings::containsCaseInsensitive(getStatusDescription(), term))
        return true;
    return strings::containsCaseInsensitive(getLinkUrl(), term)
        || strings::containsCaseInsensitive(getOnPageUrl(), term) || strings::containsCaseInsensitive(getRedir(), term)
        || strings::containsCaseInsensitive(getLinkText(), term);
}
