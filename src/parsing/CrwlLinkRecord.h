// One link record of a scanned page: the URLs of one tag or element and the attributes they share.
#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <optional>

/// Built by the page scanner and read by link iteration. Every field is optional; a record is kept
/// only when it received at least one URL. A record with several URLs (an image's srcset, the
/// sources of a video) answers the same attributes for each of them.
struct CrwlLinkRecord {
    QStringList urlArray; ///< in the order met
    std::optional<int> lineNumber; ///< line of the last single URL or URL list added
    std::optional<QString> linkText; ///< the link's text or a marker such as "[linked file]"
    std::optional<QString> altText; ///< alt text of an image inside the link; "[alt]:" when it had none
    std::optional<QString> rel;
    std::optional<QString> type;
    std::optional<QString> hreflang;
    std::optional<QString> target;

    bool hasUrls() const { return !urlArray.isEmpty(); }
};

// Its members hold no pointers into themselves, so a list of records grows by moving bytes.
Q_DECLARE_TYPEINFO(CrwlLinkRecord, Q_RELOCATABLE_TYPE);
