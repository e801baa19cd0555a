// The interning table of link occurrence texts.
#include "engine/CrwlLinkTextPool.h"

#include <QHashFunctions>
#include <QLatin1StringView>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

static_assert(sizeof(CrwlLinkTextPool::Texts) <= 16 && sizeof(void*) <= 8, "the attributes' pointer sits at 16");

namespace {

// ===== Handles ================================================================================
// One table for the process, in chunks that are never moved or freed, so that a handle is read
// without a lock; making and freeing handles take one.

using Handle = CrwlLinkTextPool::Texts::Handle;
constexpr unsigned kSlotBits = 12;
constexpr Handle kSlotsPerChunk = Handle(1) << kSlotBits;
constexpr std::size_t kChunks = (std::size_t(1) << 32) >> kSlotBits;

// Zero until a chunk is made; static zero storage costs no memory until written. Initialised as
// constants all the same (the constructor is constexpr); a constinit here makes the compiler
// evaluate a million constructors, past clang's step limit.
std::atomic<const CrwlLinkTextPool::Texts**> g_chunks[kChunks];

struct HandleAllocation {
    std::mutex lock;
    std::vector<Handle> freed;
    Handle next = 1; // 0 names none
    std::size_t inUse = 0;
};

HandleAllocation& handleAllocation()
{
    // Never destroyed, so that a block let go while the program exits still finds it.
    static HandleAllocation* const state = new HandleAllocation;
    return *state;
}

const CrwlLinkTextPool::Texts*& slotOf(Handle handle)
{
    return g_chunks[handle >> kSlotBits].load(std::memory_order_acquire)[handle & (kSlotsPerChunk - 1)];
}

/// A free handle naming `texts`.
Handle newHandle(const CrwlLinkTextPool::Texts* texts)
{
    HandleAllocation& state = handleAllocation();
    const std::lock_guard guard(state.lock);
    Handle handle = 0;
    if (!state.freed.empty()) {
        handle = state.freed.back();
        state.freed.pop_back();
    } else {
        if (state.next == 0) // every handle is in use
            throw std::bad_alloc();
        // Room for every handle made to come back, so that freeing one never allocates.
        if (state.freed.capacity() < state.next)
            state.freed.reserve(std::max<std::size_t>(2 * state.freed.capacity(), 1024));
        handle = state.next++;
        std::atomic<const CrwlLinkTextPool::Texts**>& chunk = g_chunks[handle >> kSlotBits];
        if (!chunk.load(std::memory_order_relaxed))
            chunk.store(new const CrwlLinkTextPool::Texts* [kSlotsPerChunk] {}, std::memory_order_release);
    }
    ++state.inUse;
    slotOf(handle) = texts;
    return handle;
}

void freeHandle(Handle handle) noexcept
{
    HandleAllocation& state = handleAllocation();
    const std::lock_guard guard(state.lock);
    slotOf(handle) = nullptr;
    --state.inUse;
    state.freed.push_back(handle); // within the room reserved as it was made
}

bool fitsLatin1(QStringView text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x100; });
}

/// The same texts, nulls told from empty ones.
bool sameText(const QString& a, const QString& b) { return a.isNull() == b.isNull() && a == b; }

/// A hash of a text's characters (FNV-1a over its UTF-16 units), worked out alike from a
/// string and from a block's one-byte or two-byte characters.
template <typename Unit> std::size_t hashOfUnits(const Unit* units, qsizetype length, bool isNull)
{
    quint64 hash = isNull ? 0x84222325cbf29ce4ull : 0xcbf29ce484222325ull;
    for (qsizetype i = 0; i < length; ++i)
        hash = (hash ^ quint16(units[i])) * 0x100000001b3ull;
    return std::size_t(hash);
}

/// The hash of a link text's hash and its attributes, in which a null text and an empty one
/// differ.
std::size_t withAttributes(std::size_t hash, const QString& rel, const QString& targetAttr, const QString& hreflang)
{
    for (const QString* text : { &rel, &targetAttr, &hreflang })
        hash = qHash(QStringView(*text), hash * 31 + (text->isNull() ? 1 : 2));
    // Every bit mixed into the low ones, which pick the slot.
    quint64 mixed = hash;
    mixed = (mixed ^ (mixed >> 33)) * 0xff51afd7ed558ccdull;
    mixed = (mixed ^ (mixed >> 33)) * 0xc4ceb9fe1a85ec53ull;
    return std::size_t(mixed ^ (mixed >> 33));
}

std::size_t hashOf(const QString& linkText, const QString& rel, const QString& targetAttr, const QString& hreflang)
{
    return withAttributes(hashOfUnits(reinterpret_cast<const char16_t*>(linkText.constData()), linkText.size(),
                              linkText.isNull()),
        rel, targetAttr, hreflang);
}

} // namespace

// ===== Texts ==================================================================================

CrwlLinkTextPool::TextsPtr CrwlLinkTextPool::Texts::make(const QString& wholeText, const Attributes* attributes)
{
    const QString linkText = wholeText.size() > kMaxLength ? wholeText.left(kMaxLength) : wholeText;
    const bool wide = !fitsLatin1(linkText);
    const std::size_t characterBytes = std::size_t(linkText.size()) * (wide ? sizeof(char16_t) : 1);
    const std::size_t fieldBytes = attributes ? kAttributesAt + sizeof(Attributes*) : sizeof(Texts);
    void* memory = ::operator new(fieldBytes + characterBytes);
    auto* texts = new (memory) Texts;
    try {
        texts->handle = newHandle(texts);
    } catch (...) {
        texts->~Texts();
        ::operator delete(memory);
        throw;
    }
    texts->length = quint32(linkText.size()) & kMaxLength;
    texts->flags = (linkText.isNull() ? quint32(kNullText) : 0u) | (wide ? quint32(kWide) : 0u)
        | (attributes ? quint32(kAttributes) : 0u);
    if (attributes)
        new (static_cast<char*>(memory) + kAttributesAt) Attributes*(new Attributes(*attributes));
    char* characters = const_cast<char*>(texts->characters());
    if (wide) {
        std::memcpy(characters, linkText.constData(), characterBytes);
    } else {
        const QChar* from = linkText.constData();
        for (qsizetype i = 0; i < linkText.size(); ++i)
            characters[i] = char(from[i].unicode());
    }
    return TextsPtr(texts);
}

CrwlLinkTextPool::Texts::~Texts() { delete attributes(); }

void CrwlLinkTextPool::Texts::release() const
{
    if (refs.fetch_sub(1, std::memory_order_acq_rel) != 1)
        return;
    auto* texts = const_cast<Texts*>(this);
    freeHandle(handle);
    texts->~Texts();
    ::operator delete(static_cast<void*>(texts));
}

QString CrwlLinkTextPool::Texts::linkText() const
{
    if (flags & kNullText)
        return QString();
    if (length == 0)
        return QStringLiteral("");
    if (flags & kWide)
        return wideView().toString();
    return QString::fromLatin1(latin1(), qsizetype(length));
}

bool CrwlLinkTextPool::Texts::linkTextEquals(QStringView text) const
{
    if (text.size() != qsizetype(length))
        return false;
    if (flags & kWide)
        return text == wideView();
    return text.compare(QLatin1StringView(latin1(), qsizetype(length))) == 0;
}

bool CrwlLinkTextPool::Texts::linkTextContains(QStringView term, Qt::CaseSensitivity sensitivity) const
{
    if (flags & kWide)
        return wideView().contains(term, sensitivity);
    return QLatin1StringView(latin1(), qsizetype(length)).contains(term, sensitivity);
}

CrwlLinkTextPool::Texts::Handle CrwlLinkTextPool::Texts::keep(TextsPtr texts)
{
    return texts ? std::exchange(texts.block, nullptr)->handle : 0;
}

void CrwlLinkTextPool::Texts::drop(Handle handle) noexcept
{
    if (handle != 0)
        slotOf(handle)->release();
}

const CrwlLinkTextPool::Texts* CrwlLinkTextPool::Texts::at(Handle handle) noexcept
{
    return handle == 0 ? nullptr : slotOf(handle);
}

std::size_t CrwlLinkTextPool::Texts::inUse()
{
    HandleAllocation& state = handleAllocation();
    const std::lock_guard guard(state.lock);
    return state.inUse;
}

const QString& CrwlLinkTextPool::Texts::nullText()
{
    static const QString none;
    return none;
}

// ===== The table ==============================================================================

CrwlLinkTextPool::~CrwlLinkTextPool() { clear(); }

CrwlLinkTextPool::CrwlLinkTextPool(CrwlLinkTextPool&& other) noexcept
    : slots(std::move(other.slots))
    , filed(std::exchange(other.filed, 0))
{
    other.slots.clear();
}

CrwlLinkTextPool& CrwlLinkTextPool::operator=(CrwlLinkTextPool&& other) noexcept
{
    if (this != &other) {
        clear();
        slots = std::move(other.slots);
        filed = std::exchange(other.filed, 0);
        other.slots.clear();
    }
    return *this;
}

void CrwlLinkTextPool::clear()
{
    for (const Texts::Handle handle : slots)
        Texts::drop(handle);
    slots.clear();
    slots.shrink_to_fit();
    filed = 0;
}

std::size_t CrwlLinkTextPool::hashOfBlock(const Texts& texts)
{
    const std::size_t hash = (texts.flags & Texts::kWide)
        ? hashOfUnits(texts.wide(), texts.linkTextSize(), texts.linkTextIsNull())
        : hashOfUnits(reinterpret_cast<const uchar*>(texts.latin1()), texts.linkTextSize(), texts.linkTextIsNull());
    return withAttributes(hash, texts.rel(), texts.targetAttr(), texts.hreflang());
}

std::size_t CrwlLinkTextPool::slotFor(std::size_t hash, const QString& linkText, const QString& rel,
    const QString& targetAttr, const QString& hreflang) const
{
    const std::size_t mask = slots.size() - 1;
    for (std::size_t slot = hash & mask;; slot = (slot + 1) & mask) {
        if (slots[slot] == 0)
            return slot;
        const Texts* texts = Texts::at(slots[slot]);
        if (texts->linkTextIsNull() == linkText.isNull()
            && texts->linkTextEquals(linkText) && sameText(texts->rel(), rel)
            && sameText(texts->targetAttr(), targetAttr) && sameText(texts->hreflang(), hreflang))
            return slot;
    }
}

void CrwlLinkTextPool::grow()
{
    std::vector<Texts::Handle> former = std::move(slots);
    slots.assign(std::max<std::size_t>(1024, 2 * former.size()), 0);
    const std::size_t mask = slots.size() - 1;
    for (const Texts::Handle handle : former) {
        if (handle == 0)
            continue;
        std::size_t slot = hashOfBlock(*Texts::at(handle)) & mask;
        while (slots[slot] != 0)
            slot = (slot + 1) & mask;
        slots[slot] = handle;
    }
}

CrwlLinkTextPool::TextsPtr CrwlLinkTextPool::intern(
    const QString& linkText, const QString& rel, const QString& targetAttr, const QString& hreflang)
{
    if (linkText.isNull() && rel.isNull() && targetAttr.isNull() && hreflang.isNull())
        return {};
    const std::size_t hash = hashOf(linkText, rel, targetAttr, hreflang);
    std::size_t slot = 0; // where the probe ended: the set's slot, else the free one it goes to
    if (!slots.empty()) {
        slot = slotFor(hash, linkText, rel, targetAttr, hreflang);
        if (const Texts::Handle found = slots[slot]) {
            auto* texts = const_cast<Texts*>(Texts::at(found));
            texts->retain();
            return TextsPtr(texts);
        }
    }
    // The usual link: a text (null counts as empty only when it is alone, which is answered
    // above) and no attributes; any other set keeps its attributes, nulls among them.
    const bool textOnly = !linkText.isNull() && rel.isNull() && targetAttr.isNull() && hreflang.isNull();
    Texts::Attributes attributes;
    if (!textOnly) {
        attributes.rel = rel;
        attributes.targetAttr = targetAttr;
        attributes.hreflang = hreflang;
    }
    TextsPtr made = Texts::make(linkText, textOnly ? nullptr : &attributes);
    if (filed >= maxEntries)
        return made;
    // At most three quarters full.
    if (4 * (filed + 1) > 3 * slots.size()) {
        grow();
        slot = slotFor(hash, linkText, rel, targetAttr, hreflang);
    }
    made.block->retain();
    slots[slot] = made.block->handle;
    ++filed;
    return made;
}
