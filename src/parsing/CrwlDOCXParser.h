// Reads the hyperlinks of a Word (DOCX) document: hyperlink elements resolved through the
// document's relationships, then HYPERLINK field codes.
#pragma once

#include "parsing/CrwlParser.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <memory>
#include <optional>

/// A DOCX parser reads the archive in memory (nothing is unpacked to disk), collects every link
/// while it is made and hands them out through `getNextHref` / `getLinkText`. It has no page
/// facts.
class CrwlDOCXParser : public CrwlParser {
public:
    /// Most bytes read from one archive entry by default.
    static constexpr qint64 kMaxEntryBytes = 32 * 1024 * 1024;

    /// The hyperlink elements of "word/document.xml" whose relationship id names a target in
    /// "word/_rels/document.xml.rels", in document order, then its HYPERLINK field codes. Answers
    /// nullptr (with a log line) for a null `data`, bytes that are not a zip archive, a missing,
    /// oversized (more than `maxEntryBytes`) or undecodable document or relationships entry.
    static std::unique_ptr<CrwlDOCXParser> initWithData(const QByteArray& data, qint64 maxEntryBytes = kMaxEntryBytes);

    /// The next link; nullopt after the last.
    std::optional<QString> getNextHref() override;
    /// The text of the link last handed out; "" before the first.
    QString getLinkText() const override;
    /// The same as `getLinkText`.
    QString getData() const { return getLinkText(); }

    qsizetype linkCount() const { return linkCollection.size(); }

    /// The Target of the relationship whose Id equals `rId` (letter case ignored) in the
    /// relationships text, "&amp;" not yet replaced; nullopt when there is no such relationship
    /// or it has no Target.
    static std::optional<QString> urlFromRelFile(QStringView relationships, QStringView rId);
    /// The characters outside tags: those behind a ">" and before the next "<", in order; text
    /// before the first ">" is not taken. Character references are decoded. At most
    /// `maxCharacters` characters are gathered.
    static QString extractedTextFromXML(QStringView xml, qsizetype maxCharacters);

private:
    CrwlDOCXParser() = default;

    void addLink(QString url, QString text);
    void collectHyperlinkElements(QStringView document, QStringView relationships);
    void collectFieldCodes(QStringView document);

    QStringList linkCollection;
    QStringList linkTextCollection;
    int posInLinkArray = 0;
    bool capReached = false;
};
