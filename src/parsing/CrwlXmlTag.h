// One tag read from a sitemap: its text between "<" and ">" and whether it closes an element.
#pragma once

#include <QString>

/// Made by `CrwlParser::getTag`. `data` has no leading and no trailing "/".
class CrwlXmlTag {
public:
    CrwlXmlTag() = default;
    CrwlXmlTag(QString tagData, bool closing)
        : m_data(std::move(tagData))
        , m_closing(closing)
    {
    }

    const QString& getData() const { return m_data; }
    void setData(const QString& tagData) { m_data = tagData; }
    /// A "/" stood anywhere in the tag.
    bool isClosing() const { return m_closing; }
    void setClosing(bool closing) { m_closing = closing; }

private:
    QString m_data;
    bool m_closing = false;
};
