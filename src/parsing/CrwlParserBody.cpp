// The body phase of the page scan and the end of the page.
#include "parsing/CrwlParser.h"

#include "parsing/detail/ScanBuffers.h"

namespace detail = crawlmere::parsing::detail;

void CrwlParser::bodyPhase(detail::ScanBuffers&)
{
    // Reads from behind "<body" (or from where the frame rewound to) to the end of the data. The
    // body's matchers (anchors, images, frames, forms, headings, text) hook in here.
    while (getNextByte())
        countLine();
}

void CrwlParser::finishPage()
{
    textContent = QStringLiteral("");
    wordCount = 0;
    characterCount = 0;
}
