// Filter inputs and shared cell texts of the link views.
#include "views/detail/LinkViewFilter.h"

#include "engine/CrwlLabelColour.h"
#include "engine/CrwlLinkInstance.h"
#include "engine/CrwlUrl.h"
#include "platform/UserDefaults.h"

#include <QCoreApplication>

#include <typeinfo>

namespace crawlmere::views::detail {

bool LinkViewFilter::badLinksOnly()
{
    return platform::UserDefaults::standard().value(defaultsKey::badLinksOnly);
}

LinkViewFilter::Pass LinkViewFilter::pass() const
{
    const bool badOnly = badLinksOnly();
    return { badOnly, searchText.isEmpty() && filterTag == 0 && !badOnly };
}

bool LinkViewFilter::linkTextHit(const CrwlLinkInstance& occurrence) const
{
    if (searchText.isEmpty())
        return false;
    return !occurrence.linkTextEquals(u"") && occurrence.linkTextContains(searchText, Qt::CaseSensitive);
}

bool LinkTextHits::operator()(const CrwlLinkInstance& occurrence)
{
    if (filter.searchText.isEmpty())
        return false;
    const CrwlLinkTextPool::Texts* texts = occurrence.sharedTexts();
    if (!texts || texts->linkTextSize() == 0)
        return false;
    const auto address = reinterpret_cast<quintptr>(texts);
    Answer& answer = answers[size_t((quint64(address) * 0x9E3779B97F4A7C15ull) >> (64 - kAnswerBits))];
    if (answer.texts != texts)
        answer = { texts, texts->linkTextContains(filter.searchText, Qt::CaseSensitive) };
    return answer.hit;
}

CrwlLinkInstance* asOccurrence(CrwlDataObject* row)
{
    if (!row)
        return nullptr;
    if (typeid(*row) == typeid(CrwlLinkInstance))
        return static_cast<CrwlLinkInstance*>(row);
    return dynamic_cast<CrwlLinkInstance*>(row);
}

const CrwlLinkInstance* asOccurrence(const CrwlDataObject* row)
{
    return asOccurrence(const_cast<CrwlDataObject*>(row));
}

QString yesNo(bool flag) { return flag ? QStringLiteral("YES") : QStringLiteral("NO"); }

QString countOrEmpty(qint64 value) { return value == 0 ? QStringLiteral("") : QString::number(value); }

QString localized(const QString& text) { return QCoreApplication::translate("Crawlmere", text.toUtf8().constData()); }

namespace {

const CrwlUrl* colouredRecord(const CrwlDataObject* row, std::shared_ptr<CrwlUrl>& keep)
{
    if (const auto* record = dynamic_cast<const CrwlUrl*>(row))
        return record;
    if (const auto* occurrence = asOccurrence(row)) {
        keep = occurrence->target();
        return keep.get();
    }
    return nullptr;
}

} // namespace

std::optional<CrwlLabelColour> labelForRowObject(const CrwlDataObject* row)
{
    std::shared_ptr<CrwlUrl> keep;
    return CrwlLabelColour::forRow(colouredRecord(row, keep));
}

int colourClassForRowObject(const CrwlDataObject* row)
{
    std::shared_ptr<CrwlUrl> keep;
    const CrwlUrl* record = colouredRecord(row, keep);
    if (!record || !CrwlLabelColour::forRow(record))
        return 0;
    return record->colourForCrwlUrl();
}

} // namespace crawlmere::views::detail
