// Reads the URI links of a PDF document, with the text under each link's rectangle.
#pragma once

#include "parsing/CrwlParser.h"
#include "platform/Url.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

/// A PDF parser collects every link while it is made and then hands them out one at a time
/// through `getNextHref` / `getLinkText`, like the page scanner. Its page facts are empty: no
/// title, canonical, headings or words.
class CrwlPDFParser : public CrwlParser {
public:
    /// Every link annotation with a URI action, page by page in annotation order, each with the
    /// text inside its rectangle grown by one point on every side. A null `data` answers nullptr
    /// ("data is invalid" at verbosity 1 or more); a document that cannot be opened, or has no
    /// pages, gives a parser without links (and a log line).
    static std::unique_ptr<CrwlPDFParser> initWithData(const QByteArray& data);

    /// The absolute string of the next link's URL; nullopt after the last.
    std::optional<QString> getNextHref() override;
    /// The text of the link last handed out; "" before the first.
    QString getLinkText() const override;

    /// Number of links collected.
    qsizetype linkCount() const { return linkCollection.size(); }

private:
    CrwlPDFParser() = default;

    QList<crawlmere::platform::Url> linkCollection;
    QStringList linkTextCollection;
    int posInLinkArray = 0;
};
