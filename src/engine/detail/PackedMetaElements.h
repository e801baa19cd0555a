// A page's meta elements packed into one string: a record keeps them for as long as the scan,
// and a list of attribute dictionaries costs several blocks per element.
#pragma once

#include "engine/detail/CompactText.h"

#include <QString>
#include <QStringView>
#include <QVariantList>

namespace crawlmere::engine::detail {

/// The meta elements of one page, each a dictionary of some of the attributes "content",
/// "name", "itemprop" and "property" with text values, kept in one string. An element's
/// content that equals the page's meta description is not stored twice: the caller hands the
/// description to `assign` and again to every reader.
///
/// Threads: a value; readers may run on any thread while nobody assigns.
class PackedMetaElements {
public:
    /// Packs `elements`. False (and empty) when one of them cannot be packed: a key other than
    /// the four, or a value that is not a non-null text; the caller keeps such a list as it is.
    bool assign(const QVariantList& elements, const QString& description);
    void clear() { m_packed = CompactText(); }
    bool isEmpty() const { return m_packed.isEmpty(); }

    /// The elements as `assign` was given them (dictionaries of texts).
    QVariantList elements(const QString& description) const;
    /// The "content" of the first element whose `attribute` is exactly `value`; a null string
    /// when none (an element without content never answers).
    QString contentWhere(QStringView attribute, QStringView value, const QString& description) const;

private:
    CompactText m_packed;
};

} // namespace crawlmere::engine::detail
