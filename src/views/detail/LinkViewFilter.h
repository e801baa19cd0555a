// The filter inputs the by-page, by-status and flat views share, and the cell texts they format
// alike.
#pragma once

#include "engine/CrwlLinkTextPool.h"

#include <QString>

#include <array>
#include <optional>

class CrwlDataObject;
class CrwlLinkInstance;
class CrwlUrl;
struct CrwlLabelColour;

namespace crawlmere::views {
class LinkViewOpener;
}

namespace crawlmere::views::detail {

/// The search text and the filter pop-up's tag as the window last gave them, with the
/// `badLinksOnly` default read at each test.
struct LinkViewFilter {
    QString searchText;
    int filterTag = 0;

    /// What one filter pass reads once: the `badLinksOnly` default and whether nothing filters
    /// (no search text, tag 0, bad links not asked for).
    struct Pass {
        bool badLinksOnly = false;
        bool showsEverything = true;
    };
    Pass pass() const;

    /// The `badLinksOnly` default (NO when unset).
    static bool badLinksOnly();
    /// The occurrence's link text is not empty and holds the search text, with case; never for
    /// an empty search text.
    bool linkTextHit(const CrwlLinkInstance& occurrence) const;
};

/// What the window sets on each of the three link views alike: the filter inputs, the opener
/// of inspectors and whether the view must filter again before it is next shown.
class LinkViewInputs {
public:
    void setSearchText(const QString& text) { filterState.searchText = text; }
    void setFilterTag(int tag) { filterState.filterTag = tag; }
    /// Inspect, locate and highlight go through it; none: they do nothing. Not owned: it must
    /// outlive the view or be unset first.
    void setOpener(LinkViewOpener* value) { opener = value; }
    LinkViewOpener* getOpener() const { return opener; }
    bool needsFiltering() const { return needsFilteringFlag; }
    void setNeedsFiltering(bool value) { needsFilteringFlag = value; }

protected:
    LinkViewFilter filterState;
    LinkViewOpener* opener = nullptr;
    bool needsFilteringFlag = false;
};

/// `linkTextHit` for the occurrences of one filter pass, each distinct text tested once:
/// occurrences that share their texts (as the hub's pool hands them out) share the answer. Texts
/// are told apart by the address of the block that holds them, so the occurrences must not
/// change while it lives (one pass); the filter it is made with must outlive it.
class LinkTextHits {
public:
    explicit LinkTextHits(const LinkViewFilter& rules)
        : filter(rules)
    {
    }
    bool operator()(const CrwlLinkInstance& occurrence);

private:
    struct Answer {
        const CrwlLinkTextPool::Texts* texts = nullptr;
        bool hit = false;
    };
    static constexpr int kAnswerBits = 12;
    const LinkViewFilter& filter;
    // The last answer for each slot of a text's address.
    std::array<Answer, size_t(1) << kAnswerBits> answers {};
};

/// The row as a link occurrence, or null. Cheap for the common case of an exact
/// `CrwlLinkInstance`; the link views call it once per row in their passes.
CrwlLinkInstance* asOccurrence(CrwlDataObject* row);
const CrwlLinkInstance* asOccurrence(const CrwlDataObject* row);

/// "YES" or "NO".
QString yesNo(bool flag);
/// The number as "%i"; the empty string for 0.
QString countOrEmpty(qint64 value);
/// A text through the application's string table (the text itself when it has no entry).
QString localized(const QString& text);
/// The label of a row object: a page or URL by its own class, an occurrence by its target's;
/// anything else, or labels switched off, none.
std::optional<CrwlLabelColour> labelForRowObject(const CrwlDataObject* row);
/// The colour class `labelForRowObject` paints by (0 when none).
int colourClassForRowObject(const CrwlDataObject* row);

} // namespace crawlmere::views::detail
