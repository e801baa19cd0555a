// One place where a link occurs: the page that holds it, the URL it points to, its text and
// its attributes, with the getters that make it a row of the link tables.
#pragma once

#include "engine/CrwlDataObject.h"
#include "engine/CrwlLinkTextPool.h"
#include "engine/detail/RecordReference.h"

#include <QString>
#include <QVariant>

#include <functional>
#include <limits>
#include <memory>
#include <optional>

class CrwlUrl;

/// A link occurrence. `parent` and `target` are held weakly: the records own their occurrence
/// lists (strongly), so an occurrence must not keep them alive, or page and link would keep each
/// other alive for ever. A getter whose page is gone answers as for a missing page ("" or 0).
///
/// The texts sit in one block that occurrences with the same texts share (the hub hands them
/// out from its `CrwlLinkTextPool`); a setter gives the occurrence a block of its own. An
/// occurrence holds no other heap object.
///
/// Threads: made and read on the main thread; nothing here locks.
class CrwlLinkInstance : public CrwlDataObject {
public:
    /// init: no parent, target, text or attributes, every rel flag NO, visible.
    CrwlLinkInstance();
    ~CrwlLinkInstance() override;
    /// A new occurrence, with its shared counts in one block of the occurrences' pool.
    static std::shared_ptr<CrwlLinkInstance> make();

    // ===== Fields ===========================================================================

    /// Stores the rel attribute unchanged after raising its flags (each only to YES):
    /// nofollow (`relContainsNofollow`), and "noreferrer", "noopener", "author", "alternate",
    /// "sponsored", "ugc", "dns-prefetch"/"preconnect" found anywhere in any letter case.
    void setRel(const QString& rel);
    /// Stored only when not empty.
    void setTargetAttr(const QString& value);
    /// Stored only when not empty.
    void setHreflang(const QString& value);
    /// Line numbers beyond ±2^31 are kept as the nearest that fits.
    void setLineNumber(std::optional<qint64> value);
    void setLinkText(const QString& value);
    void setParent(const std::shared_ptr<CrwlUrl>& page);
    void setTarget(const std::shared_ptr<CrwlUrl>& url);
    void setConnectionType(const QString& value);
    void setConnectionColour(const QString& value);
    /// Takes a shared block of texts as they are (link text, rel, target, hreflang, connection
    /// type and colour; null for none) and raises the rel flags of its rel as `setRel` does.
    void setTexts(CrwlLinkTextPool::TextsPtr value);

    const QString& rel() const { return heldTexts() ? heldTexts()->rel() : nullText(); }
    const QString& targetAttr() const { return heldTexts() ? heldTexts()->targetAttr() : nullText(); }
    const QString& hreflang() const { return heldTexts() ? heldTexts()->hreflang() : nullText(); }
    std::optional<qint64> lineNumber() const;
    /// The link text, made anew on each call (null when none); `linkTextContains` and
    /// `linkTextEquals` read it in place.
    QString linkText() const { return heldTexts() ? heldTexts()->linkText() : QString(); }
    bool linkTextContains(QStringView term, Qt::CaseSensitivity sensitivity) const
    {
        const CrwlLinkTextPool::Texts* held = heldTexts();
        return held ? held->linkTextContains(term, sensitivity) : QStringView().contains(term, sensitivity);
    }
    /// The link text is `text`, a null link text counting as empty.
    bool linkTextEquals(QStringView text) const
    {
        const CrwlLinkTextPool::Texts* held = heldTexts();
        return held ? held->linkTextEquals(text) : text.isEmpty();
    }
    /// The block of texts this occurrence reads (shared with the occurrences of the same
    /// texts); null when none. It stays while the occurrence holds it.
    const CrwlLinkTextPool::Texts* sharedTexts() const { return heldTexts(); }
    /// The page that holds the link; null when none or gone.
    std::shared_ptr<CrwlUrl> parent() const { return crawlmere::engine::detail::RecordReference::lock(parentPage); }
    /// The URL the link points to; null when none or gone.
    std::shared_ptr<CrwlUrl> target() const { return crawlmere::engine::detail::RecordReference::lock(targetRecord); }
    const QString& connectionType() const { return heldTexts() ? heldTexts()->connectionType() : nullText(); }
    const QString& connectionColour() const { return heldTexts() ? heldTexts()->connectionColour() : nullText(); }

    // The eight rel flags: nofollow, noreferrer, noopener, author, alternate, sponsored,
    // user-generated content, dns-prefetch or preconnect.
    bool nf() const { return nfFlag; }
    bool nr() const { return nrFlag; }
    bool nop() const { return nopFlag; }
    bool au() const { return auFlag; }
    bool alt() const { return altFlag; }
    bool sp() const { return spFlag; }
    bool ugc() const { return ugcFlag; }
    bool pc() const { return pcFlag; }
    void setNf(bool value) { nfFlag = value; }
    void setNr(bool value) { nrFlag = value; }
    void setNop(bool value) { nopFlag = value; }
    void setAu(bool value) { auFlag = value; }
    void setAlt(bool value) { altFlag = value; }
    void setSp(bool value) { spFlag = value; }
    void setUgc(bool value) { ugcFlag = value; }
    void setPc(bool value) { pcFlag = value; }

    /// A part of the rel (split at white space) contains "nofollow", in any case.
    static bool relContainsNofollow(const QString& rel);
    /// A part of the rel contains "external", in any case.
    static bool relContainsExternal(const QString& rel);

    // ===== Row getters ======================================================================
    // Target values: status -1, "" and 0 without a target. Parent values: "" and 0 without one.

    qint64 getStatus() const;
    QString getStatusDescription() const;
    /// The target's link URL as stored.
    QString getLinkUrl() const;
    QString absoluteString() const { return getLinkUrl(); }
    QString getAbsoluteStringDecoded() const;
    /// The link text; "" when none.
    QString getLinkText() const;
    QString getRedir() const;
    QString getRedirDecoded() const;
    /// The parent's decoded URL.
    QString getOnPageUrl() const;
    QString getOnpageurl() const { return getOnPageUrl(); }
    /// The parent's page title; for a parent that is only a redirect (a "[redirect]" way in),
    /// which holds no page, its decoded URL.
    QString getOnPageTitle() const;
    /// The parent's distance from the starting page.
    qint64 getDistance() const;
    qint64 getRedirectCount() const;
    /// The target's file size (`CrwlUrl::getFilesize`).
    qint64 getTargetsize() const;
    /// "Internal" or "External" by the target.
    QString getTargetInternal() const;
    QString getInternal() const { return getTargetInternal(); }
    bool getNofollow() const { return nfFlag; }
    bool getNoreferrer() const { return nrFlag; }
    bool getNoopener() const { return nopFlag; }
    bool getAuthor() const { return auFlag; }
    bool getAlternate() const { return altFlag; }
    bool getSponsored() const { return spFlag; }
    bool getUgc() const { return ugcFlag; }
    bool getPreConnect() const { return pcFlag; }
    /// The strings; "" when not set.
    QString getRel() const;
    QString getTargetAttr() const;
    QString getHreflang() const;
    /// The line number; 0 when none.
    qint64 getLineNumber() const { return lineNumber().value_or(0); }

    /// The value of the row getter "get" + key (first letter upper case; the key's case is
    /// otherwise ignored): numbers and flags as numbers, texts as text. Unknown keys: "".
    QVariant getSortValue(const QString& key) const override;

    /// The views' search: YES for an empty term; else YES when the term occurs, ignoring case,
    /// in the status text (unless the status is 0), the link URL, the page URL, the redirect
    /// target or the link text.
    bool contains(const QString& term) const;

private:
    static const QString& nullText();
    /// Gives the occurrence a block of its own with its texts changed by `change`.
    void changeTexts(const std::function<void(CrwlLinkTextPool::Texts::Values&)>& change);
    void raiseRelFlags(const QString& rel);

    const CrwlLinkTextPool::Texts* heldTexts() const { return CrwlLinkTextPool::Texts::at(textsHandle); }
    /// The texts held from now on (a hold taken over; null for none).
    void holdTexts(CrwlLinkTextPool::TextsPtr value);

    // The line number in two bytes: none, a line from 0 to kMaxLineCode - 1 as itself plus one,
    // or kOtherLineCode for any other line, kept in a table of those lines by occurrence.
    static constexpr quint16 kNoLineCode = 0;
    static constexpr quint16 kOtherLineCode = 0xFFFF;
    static constexpr quint16 kMaxLineCode = kOtherLineCode - 1;

    // The fields in 16 bytes, after the vtable's pointer and the base's byte.
    bool nfFlag : 1 = false;
    bool nrFlag : 1 = false;
    bool nopFlag : 1 = false;
    bool auFlag : 1 = false;
    bool altFlag : 1 = false;
    bool spFlag : 1 = false;
    bool ugcFlag : 1 = false;
    bool pcFlag : 1 = false;
    quint16 lineCode = kNoLineCode;
    CrwlLinkTextPool::Texts::Handle textsHandle = 0;
    // The page and the target through the weak references that all occurrences naming them
    // share, by their handles (see RecordReference); 0 for none. A quarter of the bytes of a
    // weak pointer of their own.
    crawlmere::engine::detail::RecordReference::Handle parentPage = 0;
    crawlmere::engine::detail::RecordReference::Handle targetRecord = 0;
};
