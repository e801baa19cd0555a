// Reads the HYPERLINK fields of an RTF document with the visible text of each field.
#pragma once

#include "parsing/CrwlParser.h"
#include "parsing/detail/DocumentText.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <limits>
#include <memory>
#include <optional>

/// An RTF parser collects every link while it is made and hands them out through `getNextHref`
/// / `getLinkText`. It keeps no page bytes (`getLength` is 0) and has no page facts.
class CrwlRTFParser : public CrwlParser {
public:
    /// Every HYPERLINK field of the text, in order, with the text of its result; a result that
    /// comes only after the next field's instruction is not the field's own. The bytes are read
    /// as UTF-8, else ISO 8859-1, else ASCII. A null `data`, or bytes that no encoding reads,
    /// answer nullptr.
    static std::unique_ptr<CrwlRTFParser> initWithData(const QByteArray& data);

    /// The next link; nullopt after the last.
    std::optional<QString> getNextHref() override;
    /// The text of the link last handed out; "" before the first.
    QString getLinkText() const override;
    /// The same as `getLinkText`.
    QString getData() const { return getLinkText(); }

    qsizetype linkCount() const { return linkCollection.size(); }

    /// Where a HYPERLINK field's URL lies in a text.
    struct FieldUrl {
        qsizetype opening = 0; ///< first character of the word HYPERLINK
        qsizetype urlStart = 0; ///< first character of the URL, just behind the opening quote
        qsizetype urlEnd = 0; ///< position of the closing quote
        qsizetype closingEnd = 0; ///< position just behind the closing quote
    };

    /// The first HYPERLINK field at or after `from`, letter case ignored: the word HYPERLINK, a
    /// space and a double quote, or a space and "&quot;", whichever comes first. The URL runs up
    /// to the next quote of the same form. nullopt when there is none or its closing quote is
    /// missing (then there is no further field).
    static std::optional<FieldUrl> firstHYPERLINK_OccurrenceInRTF(QStringView text, qsizetype from);

    /// The fields of one text one after another, as `firstHYPERLINK_OccurrenceInRTF` finds
    /// them, without searching any stretch of the text twice. `from` must not decrease.
    class FieldFinder {
    public:
        std::optional<FieldUrl> next(QStringView text, qsizetype from);

    private:
        crawlmere::parsing::detail::NextOccurrence m_quoteForm { QLatin1StringView("HYPERLINK \""),
            Qt::CaseInsensitive };
        crawlmere::parsing::detail::NextOccurrence m_entityForm { QLatin1StringView("HYPERLINK &quot;"),
            Qt::CaseInsensitive };
    };
    /// The visible text of the field whose URL ends at `from`: the text behind the next
    /// "\fldrslt" (letter case ignored) up to the first "}" behind it (or the end), cleaned by
    /// `extractTextFromRTFGuff`. "" when there is no "\fldrslt".
    static QString getSomeHYPERLINKtextFrom(QStringView text, qsizetype from);
    /// Splits at spaces (line breaks removed first, as RTF ignores them), drops empty words and
    /// words that begin with a backslash, a double quote, "{" or "}", and joins the rest with
    /// single spaces. Stops once the text is longer than `maxLength` (then it holds
    /// `maxLength` + 1 characters), so a long guff is read only as far as its text is kept.
    static QString extractTextFromRTFGuff(
        QStringView guff, qsizetype maxLength = std::numeric_limits<qsizetype>::max() - 1);

private:
    CrwlRTFParser() = default;
    /// Where the field results of one text begin and end, each stretch searched once per walk.
    struct ResultFinder {
        crawlmere::parsing::detail::NextOccurrence results { QLatin1StringView("\\fldrslt"), Qt::CaseInsensitive };
        crawlmere::parsing::detail::NextOccurrence groupEnds { QLatin1StringView("}"), Qt::CaseSensitive };
    };
    // The cleaned text behind the first "\fldrslt" at or after `from` and before `limit`, up to
    // the first "}" behind it, `limit` or the end; the empty string when there is none.
    static QString textOfFieldResult(QStringView text, qsizetype from, qsizetype limit, ResultFinder& finder);

    QStringList linkCollection;
    QStringList linkTextCollection;
    int posInLinkArray = 0;
};
