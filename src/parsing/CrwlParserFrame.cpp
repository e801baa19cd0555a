// The frame of the one-pass page scan: phases, line counting and the rewind of a page that has no
// body tag.
#include "parsing/CrwlParser.h"

#include "parsing/detail/ScanBuffers.h"
#include "parsing/detail/TextScan.h"

namespace detail = crawlmere::parsing::detail;

int CrwlParser::currentLine() const
{
    // A CR, an LF or a CR LF pair ends a line; the count goes up at the first byte after the end.
    if (counter < linesCountedTo) {
        linesCountedTo = 0;
        countedLine = 1;
    }
    if (counter > linesCountedTo) {
        const auto* page = reinterpret_cast<const uint8_t*>(bytes.data());
        const uint8_t before = linesCountedTo > 0 ? page[linesCountedTo - 1] : 0;
        countedLine += static_cast<int>(detail::countLineStarts(page, static_cast<size_t>(linesCountedTo),
            static_cast<size_t>(counter), before));
        linesCountedTo = counter;
    }
    return countedLine;
}

void CrwlParser::rewindTo(qint64 position)
{
    position = qBound<qint64>(0, position, l);
    counter = position;
    aBuffer = position >= 1 ? static_cast<uint8_t>(bytes[static_cast<size_t>(position - 1)]) : 0;
    previousaBuffer = position >= 2 ? static_cast<uint8_t>(bytes[static_cast<size_t>(position - 2)]) : 0;
    countedLine = 1;
    linesCountedTo = 0;
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
    countedLine = 1;
    linesCountedTo = 0;
    counter = 0;
    aBuffer = previousaBuffer = 0;

    detail::ScanBuffers buffers;
    headPhase(buffers);
    bodyPhase(buffers); // ends with the end-of-page checks, the page text and the word count
}
