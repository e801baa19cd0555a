// The interning table of link occurrence texts.
#include "engine/CrwlLinkTextPool.h"

#include <QHashFunctions>

CrwlLinkTextPool::Key CrwlLinkTextPool::keyOf(const Texts& texts)
{
    return { texts.linkText, texts.rel, texts.targetAttr, texts.hreflang, texts.linkText.isNull(), texts.rel.isNull(),
        texts.targetAttr.isNull(), texts.hreflang.isNull() };
}

std::size_t CrwlLinkTextPool::Hash::operator()(const Key& key) const
{
    std::size_t seed = qHash(key.linkText);
    seed = qHashMulti(seed, key.rel, key.targetAttr, key.hreflang);
    return seed;
}

bool CrwlLinkTextPool::Equal::operator()(const Key& a, const Key& b) const
{
    return a.nullText == b.nullText && a.nullRel == b.nullRel && a.nullTarget == b.nullTarget
        && a.nullHreflang == b.nullHreflang && a.linkText == b.linkText && a.rel == b.rel
        && a.targetAttr == b.targetAttr && a.hreflang == b.hreflang;
}

CrwlLinkTextPool::TextsPtr CrwlLinkTextPool::intern(
    const QString& linkText, const QString& rel, const QString& targetAttr, const QString& hreflang)
{
    if (linkText.isNull() && rel.isNull() && targetAttr.isNull() && hreflang.isNull())
        return {};
    const Key key { linkText, rel, targetAttr, hreflang, linkText.isNull(), rel.isNull(), targetAttr.isNull(),
        hreflang.isNull() };
    if (const auto it = table.find(key); it != table.end())
        return *it;
    TextsPtr texts(new Texts);
    texts->linkText = linkText;
    texts->rel = rel;
    texts->targetAttr = targetAttr;
    texts->hreflang = hreflang;
    if (table.size() < maxEntries)
        table.insert(texts);
    return texts;
}
