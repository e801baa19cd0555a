// Rule terms: decides whether a URL or a page's text satisfies one term of a rule list, and
// applies a regular expression to a text.
#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

/// Stateless matcher for the terms of the crawl's rule lists. A term is searched as text:
/// - a leading "!" negates it (the string must not contain the rest); "!" alone matches anything;
/// - with wildcards allowed, "*" separates pieces that must occur in that order, pieces that are
///   empty or exactly "/" are skipped, and a trailing "$" anchors the last piece at the end of
///   the string ("$" is ordinary text in a term without "*");
/// - a term without "*" (or with wildcards off) that is not found is also tried on the
///   percent-decoded string.
/// Safe to call from any thread.
class CrwlPatternMatcher {
public:
    CrwlPatternMatcher() = delete;

    /// string:matchesPattern:allowWildcards:caseInSensitive:literal:
    /// A null `string` or an empty `pattern` counts as "not found" (so "!x" matches a null string).
    /// `caseInSensitive` compares character by character with simple case folding. With
    /// `literal` off, both sides are compared in canonical decomposition, so "é" written as one
    /// character finds "e" followed by a combining accent and the other way round.
    static bool stringMatchesPattern(QStringView string, QStringView pattern, bool allowWildcards = true,
        bool caseInSensitive = true, bool literal = true);

    /// applyRegex:toString:
    /// Every match of `pattern` (case-insensitive, "." matching line breaks, Unicode classes)
    /// over the whole of `string`, in order. A match gives its whole text when the pattern has
    /// no capture group, otherwise the texts of groups 1..n joined (a group that took no part
    /// adds nothing). Empty when nothing matched, when `string` is null, or when the pattern is
    /// invalid (then "error in regex: ..." is logged). At most `maxRegexResults` strings.
    static QStringList applyRegex(const QString& pattern, QStringView string);

    /// Cap on the strings `applyRegex` returns for one call; further matches are dropped.
    static constexpr qsizetype maxRegexResults = 100000;
};
