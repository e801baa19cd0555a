// The cells of a link occurrence's own attributes.
#include "views/detail/OccurrenceCell.h"

#include "engine/CrwlLinkInstance.h"
#include "views/detail/LinkViewFilter.h"

#include <QHash>

namespace crawlmere::views::detail {

std::optional<OccurrenceAttribute> occurrenceAttributeNamed(const QString& identifier)
{
    using A = OccurrenceAttribute;
    static const QHash<QString, A> attributes = {
        { QStringLiteral("linktext"), A::LinkText },
        { QStringLiteral("linkText"), A::LinkText },
        { QStringLiteral("nofollow"), A::Nofollow },
        { QStringLiteral("noreferrer"), A::Noreferrer },
        { QStringLiteral("noopener"), A::Noopener },
        { QStringLiteral("author"), A::Author },
        { QStringLiteral("alternate"), A::Alternate },
        { QStringLiteral("sponsored"), A::Sponsored },
        { QStringLiteral("ugc"), A::Ugc },
        { QStringLiteral("internal"), A::Internal },
        { QStringLiteral("rel"), A::Rel },
        { QStringLiteral("hreflang"), A::Hreflang },
        { QStringLiteral("targetattr"), A::TargetAttr },
        { QStringLiteral("redirectCount"), A::RedirectCount },
        { QStringLiteral("lineNumber"), A::LineNumber },
    };
    const auto it = attributes.constFind(identifier);
    if (it == attributes.cend())
        return std::nullopt;
    return it.value();
}

QString occurrenceAttributeCell(
    OccurrenceAttribute attribute, const CrwlLinkInstance& occurrence, InternalText internal)
{
    switch (attribute) {
    case OccurrenceAttribute::LinkText:
        return occurrence.getLinkText();
    case OccurrenceAttribute::Nofollow:
        return yesNo(occurrence.getNofollow());
    case OccurrenceAttribute::Noreferrer:
        return yesNo(occurrence.getNoreferrer());
    case OccurrenceAttribute::Noopener:
        return yesNo(occurrence.getNoopener());
    case OccurrenceAttribute::Author:
        return yesNo(occurrence.getAuthor());
    case OccurrenceAttribute::Alternate:
        return yesNo(occurrence.getAlternate());
    case OccurrenceAttribute::Sponsored:
        return yesNo(occurrence.getSponsored());
    case OccurrenceAttribute::Ugc:
        return yesNo(occurrence.getUgc());
    case OccurrenceAttribute::Internal:
        return internal == InternalText::Localized ? localized(occurrence.getTargetInternal())
                                                   : occurrence.getTargetInternal();
    case OccurrenceAttribute::Rel:
        return occurrence.getRel();
    case OccurrenceAttribute::Hreflang:
        return occurrence.getHreflang();
    case OccurrenceAttribute::TargetAttr:
        return occurrence.getTargetAttr();
    case OccurrenceAttribute::RedirectCount:
        return countOrEmpty(occurrence.getRedirectCount());
    case OccurrenceAttribute::LineNumber:
        return countOrEmpty(occurrence.getLineNumber());
    }
    return QStringLiteral("");
}

} // namespace crawlmere::views::detail
