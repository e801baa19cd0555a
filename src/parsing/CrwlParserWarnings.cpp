// HTML-validation warnings of the body phase that compose several pieces, the end-of-page checks,
// and the page text with its word count.
#include "parsing/CrwlParser.h"

#include "parsing/detail/BodyState.h"
#include "parsing/detail/CharTables.h"
#include "parsing/detail/TextScan.h"

namespace detail = crawlmere::parsing::detail;
using detail::BodyState;

void CrwlParser::blockWithinInline(BodyState& state, const char* tagWord)
{
    if (!state.inA && !state.inSpan)
        return;
    const QString unterminated = state.inA ? QStringLiteral("an unterminated link or ") : QString();
    const QString within = state.inSpan ? QStringLiteral("a span") : QStringLiteral("a link");
    QString where;
    if (!state.inA)
        where = QStringLiteral("Line number %1.").arg(currentLine());
    else if (currentDictionary.lineNumber)
        where = QStringLiteral("Link tag is on or close to line number %1.").arg(*currentDictionary.lineNumber);
    addWarning(QStringLiteral("The page has %1 %2 (block level) within %3 (inline). %4")
                   .arg(unterminated, QLatin1StringView(tagWord), within, where));
    if (state.inA)
        closeLink(state);
}

void CrwlParser::endOfPageWarnings(BodyState& state)
{
    QString suffix;
    if (state.inScript) {
        addWarning(QStringLiteral("The page has an unclosed script tag. This may mask part or all of the page."));
        suffix = QStringLiteral("This may be because of the script tag left open.");
    }
    if (state.inComment)
        addWarning(QStringLiteral("The page has an unclosed html comment tag. This may mask part or all of the page."));
    if (state.divDepth == 1)
        addWarning(QStringLiteral("The page has an unclosed div tag."));
    else if (state.divDepth > 1)
        addWarning(QStringLiteral("The page has more than one unclosed div tag."));
    if (state.openP == 1)
        addWarning(QStringLiteral("The page has an unclosed p tag.  Closing p tags are necessary in xhtml, not always "
                                  "strictly necessary in html but good practice."));
    else if (state.openP > 1)
        addWarning(QStringLiteral("The page has more than one unclosed p tag. Closing p tags are necessary in xhtml, not "
                                  "always strictly necessary in html but good practice."));
    if (state.formDepth > 0) {
        addWarning(QStringLiteral("The page has an unclosed form tag."));
    } else if (state.formDepth < 0) {
        addWarning(QStringLiteral("The page has an extra closing form tag."));
    } else if (!state.pendingNestingWarnings.isEmpty()) {
        addWarnings(state.pendingNestingWarnings);
        state.pendingNestingWarnings.clear();
    }
    if (!m_doctypeSeen)
        addWarning(QStringLiteral("The page doesn't start with a !doctype declaration."));
    if (!m_htmlTagSeen)
        addWarning(QStringLiteral("The page doesn't contain an opening html tag."));
    if (!state.bodySeen)
        addWarning(QStringLiteral("The page doesn't contain an opening body tag."));
    const QString closingSuffix
        = state.inComment ? QStringLiteral("This may be because of the comment tag left open.") : suffix;
    if (!state.closingBodySeen)
        addWarning(QStringLiteral("The page doesn't contain a closing body tag. %1").arg(closingSuffix));
    if (!state.closingHtmlSeen)
        addWarning(QStringLiteral("The page doesn't contain a closing html tag. %1").arg(closingSuffix));
}

void CrwlParser::finishPage(BodyState& state)
{
    endOfPageWarnings(state);

    // Fold white space in place first: the decoding below then works on a text of single spaces.
    char* text = state.text.get();
    const size_t out = detail::foldWhiteBytes(text, state.textSize);
    textContent = pageTextFromFoldedBuffer(std::string_view(text, out), useEncoding);
    wordCount = countWords(textContent);
    characterCount = 0;
}

qint64 CrwlParser::countWords(const QString& text)
{
    if (text.isEmpty())
        return 0;
    return 1 + detail::countWhiteSpace(QStringView(text).utf16(), text.size());
}
