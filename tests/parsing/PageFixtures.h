// Runs fixture pages of tests/fixtures/pages/<family> through the scanner and compares the results
// with each page's .expect file.
//
// Format of an .expect file, one item a line ("#" starts a comment; a value ending in "\s" ends in a
// space):
//   options: seo=1 encoding=0 linkedFiles=0 searchMeta=0 checkImages=0 allowNoLinks=1 validation=1
//            lazyload=0 collectNames=0 consolidate=0 onlyParas=0 includeAlt=0 ignoreNav=0 ignoreHeader=0
//   encoding: <number>             the encoding after the charset sniff
//   title: <text> | canonical: <text> | base: <text> (or "base: none") | noindex: 0/1 | nofollow: 0/1
//   text: <text content> | words: <word count>
//   meta: content=… | name=… | itemprop=… | property=…     (every meta tag, in order; "metas: none")
//   link: <url> <url> ("" for an empty one) | line=N | text=… | alt=… | rel=… | type=… | hreflang=… | target=…
//         (every record, in order, with exactly the fields it has; "links: none")
//   href: <url> | text=… | rel=… | type=… | hreflang=… | target=… | line=N
//         (every URL that getNextHref hands out with the getters' answers; "hrefs: none")
//   heading: <text>                  (every heading, in order, each tab written as "\t"; "headings: none")
//   name: <text>                     (every name and id, in order; "names: none")
//   warning: <text>                  (every warning, in order; "warnings: none")
#pragma once

#include <QString>

namespace crawlmere::test {

/// Checks every page of the family that has an .expect file; fails when there is none.
void checkPageFamily(const QString& family);

} // namespace crawlmere::test
