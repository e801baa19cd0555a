// Text helpers shared by the parsers of PDF, RTF, DOCX and CSS files: decoding with fallbacks,
// caps and the error log.
#pragma once

#include "platform/TextEncoding.h"

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <initializer_list>
#include <optional>

namespace crawlmere::parsing::detail {

/// Most links one document parser keeps; links past it are dropped.
inline constexpr qsizetype kMaxDocumentLinks = 200000;
/// Most characters of one link text; a longer text is cut.
inline constexpr qsizetype kMaxDocumentLinkText = 998;

/// `bytes` decoded in the first of `encodings` that reads them without error; nullopt when none
/// does.
std::optional<QString> decodeWithFallbacks(
    const QByteArray& bytes, std::initializer_list<crawlmere::platform::EncodingId> encodings);

/// `text` cut to `kMaxDocumentLinkText` characters, never inside a surrogate pair.
QString capLinkText(QString text);

/// The next occurrence of a fixed text at or after a position that only moves forward. An
/// answer is kept until the position passes it, so a walk over a text searches each stretch
/// once even when the needle is rare or missing.
class NextOccurrence {
public:
    NextOccurrence(QLatin1StringView needle, Qt::CaseSensitivity sensitivity)
        : m_needle(needle)
        , m_sensitivity(sensitivity)
    {
    }
    /// Position of the needle at or after `from` in `text`, or -1. `text` must be the same for
    /// every call; a `from` before an earlier one searches only the stretch not searched yet.
    qsizetype in(QStringView text, qsizetype from);

private:
    QLatin1StringView m_needle;
    Qt::CaseSensitivity m_sensitivity;
    qsizetype m_searchedFrom = -1; // no search yet
    qsizetype m_found = -1;
};

/// Writes "<parser>: <message>" to standard error whatever the verbosity: for input that the
/// parser refuses or cannot read.
void documentParserError(const char* parser, const QString& message);

} // namespace crawlmere::parsing::detail
