// The hub's test of a string against a whole rule list: which terms of the list it satisfies.
#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

/// Applies a term list to a string. Written for the crawl coordinator, which calls it for every
/// link against each of its rule lists. Stateless; safe to call from any thread.
class CrwlTermsMatcher {
public:
    CrwlTermsMatcher() = delete;

    /// string:containsOneOfTheseTerms:isRegex:caseInSensitive:literal: (and its two short forms
    /// string:containsOneOfTheseTerms: and string:containsOneOfTheseTerms:isRegex:).
    /// Without `isRegex`: the terms of at least 2 characters that `string` satisfies
    /// (CrwlPatternMatcher::stringMatchesPattern with wildcards on), in list order; shorter terms
    /// are skipped. With `isRegex`: only the first term is used, as a regular expression, and the
    /// result is its matches (CrwlPatternMatcher::applyRegex); the case and literal flags do not
    /// apply. An empty list means "nothing matched" (the callers' nil): a non-empty result
    /// always holds at least one element, though in regex mode an element may be empty.
    static QStringList stringContainsOneOfTheseTerms(QStringView string, const QStringList& terms, bool isRegex = false,
        bool caseInSensitive = true, bool literal = true);
};
