// The frame of the one-pass page scan: phases, line counting and the rewind of a page that has no
// body tag.
#include "parsing/CrwlParser.h"

#include "parsing/detail/ScanBuffers.h"

namespace detail = crawlmere::parsing::detail;

void CrwlParser::countLine()
{
    // A CR, an LF or a CR LF pair ends a line; the count goes up at the first byte after the end.
    if ((previousaBuffer == '\r' || previousaBuffer == '\n') && !(aBuffer == '\n' && previousaBuffer == '\r'))
        ++lineNumber;
}

void CrwlParser::rewindTo(qint64 position)
{
    position = qBound<qint64>(0, position, l);
    counter = 0;
    aBuffer = previousaBuffer = 0;
    lineNumber = 1;
    // Replays the reader up to `position` so the line counter and the last two bytes match the page.
    while (counter < position && getNextByte())
        countLine();
}

void CrwlParser::bigKahunaPass()
{
    if (m_fileType != HTML)
        return;
    isScriptOrComment = false;
    headContainsNoIndex = false;
    headContainsNoFollow = false;
    metaTags = QVariantList();
    metaTags.reserve(6);
    lineNumber = 1;
    counter = 0;
    aBuffer = previousaBuffer = 0;

    detail::ScanBuffers buffers;
    headPhase(buffers);
    bodyPhase(buffers); // ends with the end-of-page checks, the page text and the word count
}
