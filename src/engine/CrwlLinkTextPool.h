// The interning table of link occurrence texts (link text, rel, target, hreflang, connection
// type and colour): one shared block for each set of texts met.
#pragma once

#include "engine/detail/HashedString.h"

#include <QHash>
#include <QSharedData>
#include <QString>

#include <cstddef>
#include <memory>

/// An interning table: `intern` answers the same block for the same four texts, so the link
/// text and attributes repeated on every page of a site (menus, footers, the links to one
/// page) are held once. The table keeps its blocks alive while it lives; occurrences keep the
/// blocks they hold alive after it. Past `maxEntries` distinct sets it hands out fresh blocks
/// without filing them.
///
/// Threads: one thread at a time (the hub uses it on the main thread).
class CrwlLinkTextPool {
public:
    /// The texts of one or more occurrences, held through `TextsPtr`. A block reached from more
    /// than one holder is never changed in place (holders `detach` first), so sharing is
    /// invisible to them. Null and empty strings stay distinct.
    struct Texts : QSharedData {
        /// The attributes and connection texts, which most links lack: kept apart, so that a
        /// block of a link with a text alone holds that text and a null pointer.
        struct Attributes {
            QString rel;
            QString targetAttr;
            QString hreflang;
            QString connectionType;
            QString connectionColour;
        };

        Texts() = default;
        Texts(const Texts& other);
        Texts& operator=(const Texts&) = delete;

        const QString& rel() const { return attributes ? attributes->rel : nullText(); }
        const QString& targetAttr() const { return attributes ? attributes->targetAttr : nullText(); }
        const QString& hreflang() const { return attributes ? attributes->hreflang : nullText(); }
        const QString& connectionType() const { return attributes ? attributes->connectionType : nullText(); }
        const QString& connectionColour() const { return attributes ? attributes->connectionColour : nullText(); }
        /// The attributes to change, made when missing.
        Attributes& ownAttributes();

        QString linkText;
        std::unique_ptr<Attributes> attributes;

    private:
        static const QString& nullText();
    };
    using TextsPtr = QExplicitlySharedDataPointer<Texts>;

    static constexpr std::size_t maxEntries = 4'000'000;

    /// The block with exactly these texts (no connection type or colour); null when all four
    /// are null.
    TextsPtr intern(const QString& linkText, const QString& rel, const QString& targetAttr, const QString& hreflang);
    /// Distinct sets filed.
    std::size_t size() const { return std::size_t(byText.size() + byAllTexts.size()); }

private:
    /// Sets with no attribute, by link text; the others by `attributeKey`.
    QHash<crawlmere::engine::detail::HashedString, TextsPtr> byText;
    QHash<crawlmere::engine::detail::HashedString, TextsPtr> byAllTexts;
    /// The four texts in one key that tells null from empty and cannot run two texts into one.
    static QString attributeKey(
        const QString& linkText, const QString& rel, const QString& targetAttr, const QString& hreflang);
};
