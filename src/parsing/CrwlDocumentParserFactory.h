// Picks and makes the parser for a fetched file that is not an HTML page: PDF, style sheet, DOCX
// or RTF, each only while its crawl setting is on.
#pragma once

#include "parsing/CrwlParser.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>

/// The link extraction of a scan asks `kindFor` with the fetched URL's type and the scan's
/// switches; with a kind it makes the parser with `make` and reads it through `getNextHref` /
/// `getLinkText` like an HTML parser. Without a kind the page goes to the HTML parser.
class CrwlDocumentParserFactory {
public:
    enum class Kind { PDF, CSS, DOCX, RTF };

    /// What the fetched URL is (`isPDF`, `isCSS`, `isDOCX`, `isRTF` of the URL record).
    struct FileTypes {
        bool isPDF = false;
        bool isCSS = false;
        bool isDOCX = false;
        bool isRTF = false;
    };

    /// The crawl settings that switch the parsers on (`shouldParsePDFs`, `shouldParseCSS`,
    /// `shouldParseDOCXs`, `shouldParseRTFs`), read by the caller with its settings coercions.
    struct Switches {
        bool shouldParsePDFs = false;
        bool shouldParseCSS = false;
        bool shouldParseDOCXs = false;
        bool shouldParseRTFs = false;
    };

    /// The first that applies, in this order: a PDF with `shouldParsePDFs`, a style sheet with
    /// `shouldParseCSS`, a DOCX with `shouldParseDOCXs`, an RTF with `shouldParseRTFs`. nullopt
    /// when none applies (the page is then read as HTML).
    static std::optional<Kind> kindFor(const FileTypes& types, const Switches& switches);

    /// The parser of that kind over `data`, or nullptr when it cannot be made (null data; for a
    /// DOCX also a broken archive; for an RTF undecodable text). The caller then logs "unable to
    /// create parser for %@" and reads no links from the page.
    static std::unique_ptr<CrwlParser> make(Kind kind, const QByteArray& data);

    /// The crawl-settings key that switches `kind` on, e.g. "shouldParsePDFs".
    static QString settingsKey(Kind kind);
};
