// The interning table of link occurrence texts (link text, rel, target, hreflang, connection
// type and colour): one shared block for each set of texts met.
#pragma once

#include <QString>
#include <QStringView>
#include <QtGlobal>

#include <atomic>
#include <cstddef>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

/// An interning table: `intern` answers the same block for the same four texts, so the link
/// text and attributes repeated on every page of a site (menus, footers, the links to one
/// page) are held once. The table keeps its blocks alive while it lives; occurrences keep the
/// blocks they hold alive after it. Past `maxEntries` distinct sets it hands out fresh blocks
/// without filing them.
///
/// Threads: one thread at a time (the hub uses it on the main thread).
class CrwlLinkTextPool {
public:
    class TextsPtr;

    /// The texts of one or more occurrences, held through `TextsPtr`: one allocation that holds
    /// the link text's characters itself, one byte each when every character fits in one (most
    /// texts), two otherwise. A block never changes once made: a holder that wants other texts
    /// makes a block of its own (`withChange`), so sharing is invisible to the holders. Null and
    /// empty strings stay distinct.
    class Texts {
    public:
        /// The attributes and connection texts, which most links lack: kept apart, so that a
        /// block of a link with a text alone holds its text and no attributes.
        struct Attributes {
            QString rel;
            QString targetAttr;
            QString hreflang;
            QString connectionType;
            QString connectionColour;
        };
        /// The texts of a block as plain values, to change and make a new block of.
        struct Values {
            QString linkText;
            std::optional<Attributes> attributes;
            /// The attributes to change, made when missing.
            Attributes& ownAttributes() { return attributes ? *attributes : attributes.emplace(); }
        };

        /// The longest link text a block keeps; a longer one (a gigabyte of text) is cut there.
        static constexpr qsizetype kMaxLength = (qsizetype(1) << 29) - 1;
        /// A new block of these texts, held once by the answer.
        static TextsPtr make(const QString& linkText, const Attributes* attributes);
        /// A new block of this one's texts with `change` applied to them.
        template <typename Change> TextsPtr withChange(Change change) const
        {
            const Attributes* held = attributes();
            Values values { linkText(), held ? std::optional<Attributes>(*held) : std::nullopt };
            change(values);
            return make(values.linkText, values.attributes ? &*values.attributes : nullptr);
        }

        /// The link text (a new string on each call; null when none).
        QString linkText() const;
        bool linkTextIsNull() const { return (flags & kNullText) != 0; }
        qsizetype linkTextSize() const { return qsizetype(length); }
        /// The link text's characters are those of `text` (a null text reads as empty).
        bool linkTextEquals(QStringView text) const;
        /// The link text contains `term` (with the case sensitivity given), without making a
        /// string of it. An empty term is contained in any text, as in QString::contains.
        bool linkTextContains(QStringView term, Qt::CaseSensitivity sensitivity) const;

        const QString& rel() const { return attributes() ? attributes()->rel : nullText(); }
        const QString& targetAttr() const { return attributes() ? attributes()->targetAttr : nullText(); }
        const QString& hreflang() const { return attributes() ? attributes()->hreflang : nullText(); }
        const QString& connectionType() const { return attributes() ? attributes()->connectionType : nullText(); }
        const QString& connectionColour() const
        {
            return attributes() ? attributes()->connectionColour : nullText();
        }
        /// The attributes; null when the block has none.
        const Attributes* attributes() const
        {
            return (flags & kAttributes) ? *reinterpret_cast<Attributes* const*>(bytes() + kAttributesAt) : nullptr;
        }

        /// Every block has a handle, a number that names it while it lives (0 names none), for
        /// holders that keep four bytes rather than a pointer: `keep` turns a hold into its
        /// handle, `at` reads the block, `drop` gives the hold up. Handles are read without a
        /// lock from any thread.
        using Handle = quint32;
        /// The handle of `texts`'s block, holding it as `texts` did; 0 for null.
        static Handle keep(TextsPtr texts);
        /// Gives up one hold on the block `handle` names (0 is ignored).
        static void drop(Handle handle) noexcept;
        /// The block `handle` names, while held; null for 0.
        static const Texts* at(Handle handle) noexcept;
        /// How many blocks live now.
        static std::size_t inUse();

    private:
        friend class CrwlLinkTextPool;
        friend class TextsPtr;
        enum Flag : quint8 { kNullText = 1, kWide = 2, kAttributes = 4 };
        // The attributes' pointer sits after the fields, aligned, and the characters after it;
        // without attributes the characters follow the fields.
        static constexpr std::size_t kAttributesAt = 16;
        Texts() = default;
        ~Texts();
        Texts(const Texts&) = delete;
        Texts& operator=(const Texts&) = delete;
        static const QString& nullText();
        const char* bytes() const { return reinterpret_cast<const char*>(this); }
        const char* characters() const
        {
            return bytes() + ((flags & kAttributes) ? kAttributesAt + sizeof(Attributes*) : sizeof(Texts));
        }
        const char* latin1() const { return characters(); }
        const char16_t* wide() const { return reinterpret_cast<const char16_t*>(characters()); }
        QStringView wideView() const { return { wide(), qsizetype(length) }; }
        void retain() const { refs.fetch_add(1, std::memory_order_relaxed); }
        void release() const;

        mutable std::atomic<quint32> refs { 1 };
        Handle handle = 0;
        quint32 length : 29 = 0; // in characters
        quint32 flags : 3 = 0;
        // Then, in the same allocation: the attributes' pointer (with kAttributes) and the
        // characters.
    };

    /// A counted hold on a block (null for none), as a shared pointer holds its object.
    class TextsPtr {
    public:
        TextsPtr() = default;
        TextsPtr(const TextsPtr& other) noexcept
            : block(other.block)
        {
            if (block)
                block->retain();
        }
        TextsPtr(TextsPtr&& other) noexcept
            : block(std::exchange(other.block, nullptr))
        {
        }
        TextsPtr& operator=(TextsPtr other) noexcept
        {
            std::swap(block, other.block);
            return *this;
        }
        ~TextsPtr()
        {
            if (block)
                block->release();
        }
        const Texts* data() const { return block; }
        const Texts* get() const { return block; }
        const Texts* operator->() const { return block; }
        const Texts& operator*() const { return *block; }
        explicit operator bool() const { return block != nullptr; }

    private:
        friend class CrwlLinkTextPool;
        friend class Texts;
        /// Takes over the count the block was made with.
        explicit TextsPtr(Texts* made)
            : block(made)
        {
        }
        Texts* block = nullptr;
    };

    static constexpr std::size_t maxEntries = 4'000'000;

    CrwlLinkTextPool() = default;
    ~CrwlLinkTextPool();
    CrwlLinkTextPool(const CrwlLinkTextPool&) = delete;
    CrwlLinkTextPool& operator=(const CrwlLinkTextPool&) = delete;
    CrwlLinkTextPool(CrwlLinkTextPool&& other) noexcept;
    CrwlLinkTextPool& operator=(CrwlLinkTextPool&& other) noexcept;

    /// The block with exactly these texts (no connection type or colour); null when all four
    /// are null.
    TextsPtr intern(const QString& linkText, const QString& rel, const QString& targetAttr, const QString& hreflang);
    /// Distinct sets filed.
    std::size_t size() const { return filed; }

private:
    /// Lets go of every block filed.
    void clear();
    void grow();
    /// The hash of a block's texts, the same as `hashOf` of the texts it was made of.
    static std::size_t hashOfBlock(const Texts& texts);
    /// The slot `hash` is filed in or goes to, for a table of `slots.size()` (a power of two).
    std::size_t slotFor(std::size_t hash, const QString& linkText, const QString& rel, const QString& targetAttr,
        const QString& hreflang) const;

    // Open addressing with linear probing, each block filed once by its handle (a count held by
    // the table); hashes are worked out again from the blocks as the table grows. Empty slots
    // are 0.
    std::vector<Texts::Handle> slots;
    std::size_t filed = 0;
};
