// What the crawl asks of the crawl-time SEO register: the pages it collects during a scan, the
// duplicate test of the follow decision, the misspelled words, and the groups and summaries that
// views and exports read back through the hub.
#pragma once

#include "engine/CrwlURLDelegate.h"

#include <QString>
#include <QStringList>

#include <map>
#include <memory>

class CrwlUrl;

/// The crawl-time SEO register as the engine uses it; the reports provide it (with its tallies and
/// duplicate groups). The hub holds one instance for the whole run (`engineSEODataSource`).
///
/// Threads: every member is called on the main thread only; implementations take no locks.
class EngineSEOService {
public:
    /// Lower-case word → the pages on which it was found, in the order the pages were handed in
    /// (a page appears once per occurrence of the word in its list).
    using MisspelledWordDictionary = std::map<QString, CrwlUrlList>;

    virtual ~EngineSEOService();

    EngineSEOService(const EngineSEOService&) = delete;
    EngineSEOService& operator=(const EngineSEOService&) = delete;

    /// Forgets the previous scan: pages, duplicate table, groups, summary and misspelled words.
    /// The hub calls it at the start of every scan.
    virtual void clear() = 0;

    /// Hands in a page that the sitemap-collection test admitted. A page whose final URL
    /// (fragment cut) is already recorded is not recorded again. Never fails; a null page is
    /// ignored.
    virtual void add(const std::shared_ptr<CrwlUrl>& page) = 0;

    /// Takes a page that left the scan out of the pages (its tallies and words stay). A page
    /// not recorded is ignored.
    virtual void remove(const CrwlUrl& page) = 0;

    /// addWords:forLCurl: files `page` under the lower-case form of each word, in list order.
    /// A null page is ignored.
    virtual void addWords(const QStringList& words, const std::shared_ptr<CrwlUrl>& page) = 0;

    /// YES when another page than `page` with the same final URL, fragment cut, is already
    /// recorded (`page` itself recorded is no duplicate of it). No side effect.
    virtual bool duplicateCheck(const CrwlUrl& page) const = 0;

    /// getDuplicates: page title → the recorded pages (canonical absent or equal to their own
    /// URL) that share it; built on request and kept until the pages change. The reference stays
    /// valid until the next `add` or `clear`.
    virtual const CrwlUrlGroups& getDuplicates() = 0;
    /// getDuplicateTitles: / getDuplicateDescriptions: the title and description groups.
    virtual const CrwlUrlGroups& getDuplicateTitles() = 0;
    virtual const CrwlUrlGroups& getDuplicateDescriptions() = 0;
    /// Changes whenever the groups may change (an accepted `add`, a `clear`), so that lists
    /// derived from them can tell they are stale.
    virtual quint64 groupsGeneration() const = 0;

    /// The tallies as text lines "%i %@\n".
    virtual QString getShortSummary() const = 0;
    /// The tallies as CSV: "count,test\n" then "%i,%@\n" lines.
    virtual QString getShortSummaryAsCSV() const = 0;

    /// The register's image collection, as stored.
    virtual const CrwlUrlList& getImageCollection() const = 0;
    /// The misspelled-word table itself; null until the first `addWords` after `clear`.
    virtual const MisspelledWordDictionary* getMisspelledWordDictionary() const = 0;
    /// The recorded pages in the order `add` accepted them.
    virtual const CrwlUrlList& internalPagesCollection() const = 0;

protected:
    EngineSEOService() = default;
};
