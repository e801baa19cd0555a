// Reads the URI links of a PDF document, with the text under each link's rectangle.
#pragma once

#include "parsing/CrwlParser.h"
#include "platform/Url.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <chrono>
#include <memory>

/// A PDF parser collects every link while it is made and then hands them out one at a time
/// through `getNextHref` / `getLinkText`, like the page scanner. Its page facts are empty: no
/// title, canonical, headings or words.
class CrwlPDFParser : public CrwlParser {
public:
    /// How much of one document is read. A document past a limit keeps the links read so far
    /// and logs that it was cut.
    struct Limits {
        /// Pages looked at; later pages are not read.
        int maxPages = 10000;
        /// What the document's compressed streams may decode to for the texts under the links to
        /// be read: laying out text takes some 25-50 times its page description in memory. Past
        /// it the links are still read, without their texts.
        qint64 maxDecodedBytes = qint64(16) * 1024 * 1024;
        /// Time spent on the document; links past it are not read. A page's text is laid out
        /// once within it before the texts under its links are asked for, so no single page
        /// runs far past it.
        std::chrono::milliseconds maxTime { 10000 };
    };

    /// Every link annotation with a URI action, page by page in annotation order, each with the
    /// text inside its rectangle grown by one point on every side. A null `data` answers nullptr
    /// ("data is invalid" at verbosity 1 or more); a document that cannot be opened, or has no
    /// pages, gives a parser without links (and a log line).
    static std::unique_ptr<CrwlPDFParser> initWithData(const QByteArray& data) { return initWithData(data, Limits()); }
    static std::unique_ptr<CrwlPDFParser> initWithData(const QByteArray& data, const Limits& limits);

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
