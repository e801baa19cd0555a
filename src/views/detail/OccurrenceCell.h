// The cells of a link occurrence's own attributes, alike in every link view.
#pragma once

#include <QHash>
#include <QString>

#include <cstdint>
#include <optional>

class CrwlLinkInstance;

namespace crawlmere::views::detail {

/// An attribute that an occurrence carries itself (of its link element or its place on the
/// page), as opposed to its target's fields.
enum class OccurrenceAttribute : std::uint8_t {
    LinkText,
    Nofollow,
    Noreferrer,
    Noopener,
    Author,
    Alternate,
    Sponsored,
    Ugc,
    Internal,
    Rel,
    Hreflang,
    TargetAttr,
    RedirectCount,
    LineNumber,
};

/// The attribute a column shows under `identifier`: "linktext" (or "linkText"), "nofollow", "noreferrer",
/// "noopener", "author", "alternate", "sponsored", "ugc", "internal", "rel", "hreflang",
/// "targetattr", "redirectCount" or "lineNumber", exactly as written; none for any other.
std::optional<OccurrenceAttribute> occurrenceAttributeNamed(const QString& identifier);

/// How the "Internal"/"External" cell reads: as the occurrence gives it, or through the
/// application's string table.
enum class InternalText { AsIs, Localized };

/// The cell text of `attribute`: flags read "YES" or "NO", counts are empty at 0, texts are as
/// the occurrence's getters give them.
QString occurrenceAttributeCell(
    OccurrenceAttribute attribute, const CrwlLinkInstance& occurrence, InternalText internal = InternalText::Localized);

/// What a link view shows in a column: one of the occurrence's attributes (`Kind::Attribute`), or
/// else one of the view's own cell kinds (`Kind`). Found once per column identifier.
template <typename Kind> struct LinkViewCell {
    Kind kind;
    OccurrenceAttribute attribute = OccurrenceAttribute::LinkText;
};

/// The cell of the column `identifier`: the occurrence attribute it names, else the view's own
/// kind for it in `own`, else `otherwise`.
template <typename Kind>
LinkViewCell<Kind> linkViewCellFor(const QString& identifier, const QHash<QString, Kind>& own, Kind otherwise)
{
    if (const auto attribute = occurrenceAttributeNamed(identifier))
        return { Kind::Attribute, *attribute };
    return { own.value(identifier, otherwise) };
}

} // namespace crawlmere::views::detail
