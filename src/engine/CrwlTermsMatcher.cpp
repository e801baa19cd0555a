// Rule-list matching over CrwlPatternMatcher.
#include "engine/CrwlTermsMatcher.h"

#include "engine/CrwlPatternMatcher.h"

QStringList CrwlTermsMatcher::stringContainsOneOfTheseTerms(
    QStringView string, const QStringList& terms, bool isRegex, bool caseInSensitive, bool literal)
{
    if (terms.isEmpty())
        return {};
    if (isRegex)
        return CrwlPatternMatcher::applyRegex(terms.first(), string);

    QStringList matching;
    for (const QString& term : terms) {
        if (term.size() < 2)
            continue;
        if (CrwlPatternMatcher::stringMatchesPattern(string, term, /*allowWildcards=*/true, caseInSensitive, literal))
            matching.append(term);
    }
    return matching;
}
