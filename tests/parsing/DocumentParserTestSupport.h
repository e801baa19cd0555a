// What the document parser suites share: the links a parser hands out, with their texts.
#pragma once

#include "parsing/CrwlParser.h"

#include <QString>

#include <utility>
#include <vector>

namespace crawlmere::test::parsing {

/// Each URL with the link text answered right after it.
using Links = std::vector<std::pair<QString, QString>>;

/// Every link the parser has left to hand out, through the base class.
inline Links drain(CrwlParser& parser)
{
    Links links;
    while (const std::optional<QString> href = parser.getNextHref())
        links.emplace_back(*href, parser.getLinkText());
    return links;
}

} // namespace crawlmere::test::parsing
