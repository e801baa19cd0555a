// The interning table of link occurrence texts.
#include "engine/CrwlLinkTextPool.h"

#include <QHashFunctions>
#include <QLatin1StringView>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

static_assert(sizeof(CrwlLinkTextPool::Texts) <= 24 && sizeof(void*) <= 8, "the attributes' pointer sits at 24");

namespace {

// ===== Handles ================================================================================
// One table for the process, in chunks that are never moved or freed, so that a handle is read
// without a lock; making and freeing handles take one.

using Handle = CrwlLinkTextPool::Texts::Handle;
constexpr unsigned kSlotBits = 12;
constexpr Handle kSlotsPerChunk = Handle(1) << kSlotBits;
constexpr std::size_t kChunks = (std::size_t(1) << 32) >> kSlotBits;

// Zero until a chunk is made; static zero storage costs no memory until written.
constinit std::atomic<const CrwlLinkTextPool::Texts**> g_chunks[kChunks] {};

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

/// The hash of four texts, in which a null text and an empty one differ.
quint32 hashOf(const QString& linkText, const QString& rel, const QString& targetAttr, const QString& hreflang)
{
    std::size_t hash = 0;
    for (const QString* text : { &linkText, &rel, &targetAttr, &hreflang })
        hash = qHash(QStringView(*text), hash * 31 + (text->isNull() ? 1 : 2));
    return quint32(hash ^ (quint64(hash) >> 32));
}

} // namespace

// ===== Texts ==================================================================================

CrwlLinkTextPool::TextsPtr CrwlLinkTextPool::Texts::make(const QString& linkText, const Attributes* attributes)
{
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
    texts->length = quint32(linkText.size());
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
    for (Texts* texts : slots) {
        if (texts)
            texts->release();
    }
    slots.clear();
    slots.shrink_to_fit();
    filed = 0;
}

std::size_t CrwlLinkTextPool::slotFor(quint32 hash, const QString& linkText, const QString& rel,
    const QString& targetAttr, const QString& hreflang) const
{
    const std::size_t mask = slots.size() - 1;
    for (std::size_t slot = hash & mask;; slot = (slot + 1) & mask) {
        const Texts* texts = slots[slot];
        if (!texts)
            return slot;
        if (texts->hash == hash && texts->linkTextIsNull() == linkText.isNull()
            && texts->linkTextEquals(linkText) && sameText(texts->rel(), rel)
            && sameText(texts->targetAttr(), targetAttr) && sameText(texts->hreflang(), hreflang))
            return slot;
    }
}

void CrwlLinkTextPool::grow()
{
    std::vector<Texts*> former = std::move(slots);
    slots.assign(std::max<std::size_t>(1024, 2 * former.size()), nullptr);
    const std::size_t mask = slots.size() - 1;
    for (Texts* texts : former) {
        if (!texts)
            continue;
        std::size_t slot = texts->hash & mask;
        while (slots[slot])
            slot = (slot + 1) & mask;
        slots[slot] = texts;
    }
}

CrwlLinkTextPool::TextsPtr CrwlLinkTextPool::intern(
    const QString& linkText, const QString& rel, const QString& targetAttr, const QString& hreflang)
{
    if (linkText.isNull() && rel.isNull() && targetAttr.isNull() && hreflang.isNull())
        return {};
    const quint32 hash = hashOf(linkText, rel, targetAttr, hreflang);
    if (!slots.empty()) {
        if (Texts* found = slots[slotFor(hash, linkText, rel, targetAttr, hreflang)]) {
            found->retain();
            return TextsPtr(found);
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
    if (4 * (filed + 1) > 3 * slots.size())
        grow();
    made.block->hash = hash;
    made.block->retain();
    slots[slotFor(hash, linkText, rel, targetAttr, hreflang)] = made.block;
    ++filed;
    return made;
}
