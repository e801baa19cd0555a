// The interning table of link occurrence texts.
#include "engine/CrwlLinkTextPool.h"

using crawlmere::engine::detail::HashedString;

CrwlLinkTextPool::Texts::Texts(const Texts& other)
    : QSharedData(other)
    , linkText(other.linkText)
    , attributes(other.attributes ? std::make_unique<Attributes>(*other.attributes) : nullptr)
{
}

CrwlLinkTextPool::Texts::Attributes& CrwlLinkTextPool::Texts::ownAttributes()
{
    if (!attributes)
        attributes = std::make_unique<Attributes>();
    return *attributes;
}

const QString& CrwlLinkTextPool::Texts::nullText()
{
    static const QString none;
    return none;
}

QString CrwlLinkTextPool::attributeKey(
    const QString& linkText, const QString& rel, const QString& targetAttr, const QString& hreflang)
{
    QString key;
    key.reserve(linkText.size() + rel.size() + targetAttr.size() + hreflang.size() + 24);
    for (const QString* text : { &linkText, &rel, &targetAttr, &hreflang }) {
        // "-" for null, else the length, a colon and the text.
        if (text->isNull()) {
            key += QLatin1Char('-');
            continue;
        }
        key += QString::number(text->size());
        key += QLatin1Char(':');
        key += *text;
    }
    return key;
}

CrwlLinkTextPool::TextsPtr CrwlLinkTextPool::intern(
    const QString& linkText, const QString& rel, const QString& targetAttr, const QString& hreflang)
{
    if (linkText.isNull() && rel.isNull() && targetAttr.isNull() && hreflang.isNull())
        return {};
    // The usual link: a text (null counts as empty only when it is alone, which is answered
    // above) and no attributes.
    const bool textOnly = !linkText.isNull() && rel.isNull() && targetAttr.isNull() && hreflang.isNull();
    QHash<HashedString, TextsPtr>& table = textOnly ? byText : byAllTexts;
    HashedString key(textOnly ? linkText : attributeKey(linkText, rel, targetAttr, hreflang));
    if (const auto it = table.constFind(key); it != table.cend())
        return it.value();
    TextsPtr texts(new Texts);
    texts->linkText = linkText;
    if (!textOnly) {
        Texts::Attributes& attributes = texts->ownAttributes();
        attributes.rel = rel;
        attributes.targetAttr = targetAttr;
        attributes.hreflang = hreflang;
    }
    if (size() < maxEntries)
        table.insert(std::move(key), texts);
    return texts;
}
