// Packing and reading a page's meta elements.
#include "engine/detail/PackedMetaElements.h"

#include "engine/detail/PackedTexts.h"

#include <QVariantMap>

#include <array>
#include <optional>

namespace crawlmere::engine::detail {

namespace {

// An element is a header unit followed by its texts in key order (packed::append). The header's
// low bits say which keys the element has; one more bit says that its content is the
// description, which is then not written.
constexpr std::array<QStringView, 4> kKeys = { u"content", u"name", u"itemprop", u"property" };
constexpr char16_t kContentIsDescription = 1u << kKeys.size();

std::optional<size_t> keyIndex(QStringView key)
{
    for (size_t i = 0; i < kKeys.size(); ++i) {
        if (key == kKeys[i])
            return i;
    }
    return std::nullopt;
}

/// One element read back: its texts by key index (null views for keys it lacks).
struct Element {
    std::array<QStringView, kKeys.size()> texts;
    std::array<bool, kKeys.size()> present {};
    bool contentIsDescription = false;
};

/// Reads the element at `at` and moves `at` past it.
Element readElement(const QString& from, qsizetype& at, const QString& description)
{
    Element element;
    const char16_t header = from.at(at++).unicode();
    for (size_t key = 0; key < kKeys.size(); ++key) {
        if (!(header & (1u << key)))
            continue;
        element.present[key] = true;
        if (key == 0 && (header & kContentIsDescription)) {
            element.texts[key] = description;
            element.contentIsDescription = true;
            continue;
        }
        element.texts[key] = packed::read(from, at);
    }
    return element;
}

} // namespace

bool PackedMetaElements::assign(const QVariantList& elements, const QString& description)
{
    m_packed = CompactText();
    QString out;
    for (const QVariant& value : elements) {
        if (value.typeId() != QMetaType::QVariantMap)
            return false;
        const QVariantMap attributes = value.toMap();
        std::array<QString, kKeys.size()> texts;
        std::array<bool, kKeys.size()> present {};
        for (auto it = attributes.cbegin(); it != attributes.cend(); ++it) {
            const auto key = keyIndex(it.key());
            if (!key || it.value().typeId() != QMetaType::QString)
                return false;
            texts[*key] = it.value().toString();
            if (texts[*key].isNull())
                return false;
            present[*key] = true;
        }
        char16_t header = 0;
        for (size_t key = 0; key < kKeys.size(); ++key) {
            if (present[key])
                header |= char16_t(1u << key);
        }
        const bool contentIsDescription = present[0] && !description.isNull() && texts[0] == description;
        if (contentIsDescription)
            header |= kContentIsDescription;
        out.append(QChar(header));
        for (size_t key = 0; key < kKeys.size(); ++key) {
            if (!present[key] || (key == 0 && contentIsDescription))
                continue;
            packed::append(out, texts[key]);
        }
    }
    if (!out.isEmpty())
        m_packed = CompactText(out);
    return true;
}

QVariantList PackedMetaElements::elements(const QString& description) const
{
    QVariantList result;
    const QString packed = m_packed.toString();
    for (qsizetype at = 0; at < packed.size();) {
        const Element element = readElement(packed, at, description);
        QVariantMap attributes;
        for (size_t key = 0; key < kKeys.size(); ++key) {
            if (!element.present[key])
                continue;
            const bool shared = key == 0 && element.contentIsDescription;
            attributes.insert(kKeys[key].toString(), shared ? description : element.texts[key].toString());
        }
        result.append(attributes);
    }
    return result;
}

QString PackedMetaElements::contentWhere(QStringView attribute, QStringView value, const QString& description) const
{
    const auto key = keyIndex(attribute);
    if (!key)
        return QString();
    const QString packed = m_packed.toString();
    for (qsizetype at = 0; at < packed.size();) {
        const Element element = readElement(packed, at, description);
        if (element.present[0] && element.present[*key] && element.texts[*key] == value)
            return element.contentIsDescription ? description : element.texts[0].toString();
    }
    return QString();
}

} // namespace crawlmere::engine::detail
