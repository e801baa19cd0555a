// The interface through which a URL record reports to its owner: the hub during a scan, or a
// single-page fetcher such as the link highlighter.
#pragma once

#include <QString>
#include <QtGlobal>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <vector>

class CrwlUrl;
class CrwlLinkInstance;
class LinkExtractionParser;

namespace crawlmere::platform {
class Url;
} // namespace crawlmere::platform

/// Records in page-title order or grouped by a text (title, meta description).
using CrwlUrlList = std::vector<std::shared_ptr<CrwlUrl>>;
using CrwlUrlGroups = std::map<QString, CrwlUrlList>;

/// Every call a `CrwlUrl` makes on its owner. Each member has a neutral answer here (NO, 0,
/// empty, nothing done), so an owner that fetches one page overrides only what it needs; the
/// hub overrides all of them.
///
/// Records hold their owner weakly (`std::weak_ptr`), so an owner must be made with
/// `std::make_shared` and a record whose owner is gone simply stops reporting.
///
/// Threads: unless marked otherwise, a member is called on the main thread. Members marked
/// [any thread] are called from a fetch's session queue as well and must be safe there.
class CrwlURLDelegate {
public:
    virtual ~CrwlURLDelegate();

    // --- Scan state -------------------------------------------------------------------------

    /// The scan is paused. [any thread]
    virtual bool stopPressed() const { return false; }
    /// The queue holds an unpopped URL or a fetch is in flight.
    virtual bool isScanning() const { return false; }
    /// Fetches in flight.
    virtual qint64 inProgressCount() const { return 0; }
    /// The detected page encoding (the platform's encoding number; 0 none). [any thread]
    virtual quint32 getDetectedEncoding() const { return 0; }

    // --- Queue, counters and hand-offs ------------------------------------------------------

    /// Queues the record (again) for fetching.
    virtual void addToCheckQueue(const std::shared_ptr<CrwlUrl>& /*record*/) { }
    /// YES while the record waits in the queue or is being fetched.
    virtual bool isQueuedOrInProgress(const CrwlUrl& /*record*/) const { return false; }
    /// Starts fetches up to the limit; YES when at least one started.
    virtual bool getNextUrlToCrawl(const std::shared_ptr<CrwlUrl>& /*record*/) { return false; }
    /// The record's fetch is complete: count it.
    virtual void incNumberDone(const std::shared_ptr<CrwlUrl>& /*record*/) { }
    /// Takes a record back out of the counts before it is checked again.
    virtual void decNumberDone(const std::shared_ptr<CrwlUrl>& /*record*/) { }
    /// Counts the record among the bad links (once).
    virtual void incBadLinkCount(const std::shared_ptr<CrwlUrl>& /*record*/) { }
    /// The record's status changed outside a fetch; its bad-link mark is brought up to date.
    virtual void statusHasChangedFordO(const std::shared_ptr<CrwlUrl>& /*record*/) { }
    /// Reads the links of a fetched page.
    virtual void extractLinks(const std::shared_ptr<CrwlUrl>& /*record*/) { }
    /// Reads the links of a page whose body was loaded again: its earlier link occurrences give
    /// way to those of the new body, made as a first reading makes them, and records that no
    /// occurrence links any more leave the scan. Answers the page's targets to fetch again: the
    /// new ones and the bad ones.
    virtual std::vector<std::shared_ptr<CrwlUrl>> readLinksAgain(const std::shared_ptr<CrwlUrl>& /*page*/)
    {
        return {};
    }
    /// A scan of a fetched page's bytes, made on the main thread and run on any thread; it reads
    /// nothing but what it holds. Null from it means nothing could be read.
    using PageReading = std::function<std::unique_ptr<LinkExtractionParser>()>;
    /// The reading `extractLinks` starts with for the record's page as it is now, for a fetch to
    /// run off the main thread before handing the result to `extractLinksFromReading`; empty when
    /// the page is read inside `extractLinks` itself (the default). Main thread.
    virtual PageReading preparePageReading(const std::shared_ptr<CrwlUrl>& /*record*/) { return {}; }
    /// `extractLinks` with the result of the reading `preparePageReading` gave (null: the page is
    /// read as usual). The default drops it and calls `extractLinks`. Main thread.
    virtual void extractLinksFromReading(
        const std::shared_ptr<CrwlUrl>& record, std::unique_ptr<LinkExtractionParser> reading);
    /// The record's fetch and link extraction are over; frees its slot.
    virtual void threadHasFinished(const std::shared_ptr<CrwlUrl>& /*record*/) { }
    /// The record's answer asked for its Refresh target after `delay` (status `refreshHeader`);
    /// its fetch is over. Its slot is freed now, so other pages are fetched while it waits; once
    /// the delay has passed it is queued again (`addToCheckQueue`, status `notYetChecked`), unless
    /// the scan was stopped or the record's status changed meanwhile. Main thread.
    virtual void refreshAfter(const std::shared_ptr<CrwlUrl>& record, std::chrono::seconds delay);

    // --- Lookup and collections -------------------------------------------------------------

    /// Files `record` under its key. The owner forms the key with the record's
    /// `prepareUrlForLookup(key)`; an empty key is ignored.
    virtual void addToLookup(const std::shared_ptr<CrwlUrl>& /*record*/, const QString& /*key*/) { }
    /// Files `record` as one that redirects to the URL of the prepared lookup `key`.
    virtual void addToRedirLookup(const std::shared_ptr<CrwlUrl>& /*record*/, const QString& /*key*/) { }
    /// How many redirects lead to the record.
    virtual qint64 getNumberOfRedirectsTo(const CrwlUrl& /*record*/) const { return 0; }
    /// The records that redirect to the record's address (by the server, a Refresh header or a
    /// meta refresh), in the order of their addresses; empty when none.
    virtual CrwlUrlList getRedirectsTo(const CrwlUrl& /*record*/) const { return {}; }
    /// The record of the address where a record that is only a redirect ends; null when the
    /// record is read as a page of its own or its final address has no record.
    virtual std::shared_ptr<CrwlUrl> getFinalRecordOf(const CrwlUrl& /*record*/) const { return nullptr; }
    /// The occurrences that stand for the ways in to the record through the redirects that lead
    /// to it (the text "[redirect]", on the redirecting record), in the order of the redirects'
    /// addresses; empty when none.
    virtual std::vector<std::shared_ptr<CrwlLinkInstance>> getRedirectArrivalsTo(const CrwlUrl& /*record*/) const
    {
        return {};
    }
    /// Takes a record out of the scan's collections (it stays alive for open views).
    virtual void removeThisCrwlUrlFromCollection(const std::shared_ptr<CrwlUrl>& /*record*/) { }
    /// Takes a link occurrence out of the scan's collections.
    virtual void removeThisCrwlLinkInstanceFromCollection(const std::shared_ptr<CrwlLinkInstance>& /*instance*/) { }
    /// Collects a warning of `record` for the warnings table.
    virtual void sendWarningToWarningsManager(const QString& /*warning*/, const std::shared_ptr<CrwlUrl>& /*record*/) {
    }

    // --- Scope decisions asked during a fetch -----------------------------------------------

    /// The href is a mail, telephone, script or similar link that is not fetched. [any thread]
    virtual bool isMailtoEtc(const QString& /*href*/) const { return false; }
    /// The page the scan starts from: the starting point, or the final address's record of a
    /// starting point that redirects. [any thread]
    virtual bool isStartingPage(const CrwlUrl& record) const;
    /// The URL's host is not one of the scan's domains. [any thread]
    virtual bool redirectUrlIsExternal(const crawlmere::platform::Url& /*url*/) const { return false; }
    /// A link to the URL would never be requested: a "Do not check" term matches it, or
    /// robots.txt disallows it while the scan leaves disallowed URLs alone. A redirect there is
    /// not followed either. [any thread]
    virtual bool isNeverRequested(const QString& /*url*/) const { return false; }
    /// Adds the host of the record's redirect target (or link URL) to the scan's domains.
    /// [any thread]
    virtual void resetDomain(const CrwlUrl& /*record*/) { }

    // --- Completion services ----------------------------------------------------------------

    /// YES when the fetched page counts as a possible soft 404; may add a warning to the page.
    /// [any thread]
    virtual bool performSoft404CheckOnThisUrl(const std::shared_ptr<CrwlUrl>& /*record*/) { return false; }
    /// Writes the fetched page into the page archive (a redirect only notes where it leads).
    /// [any thread; several at once]
    virtual void archivePage(const std::shared_ptr<CrwlUrl>& /*record*/) { }
    // --- Duplicates -------------------------------------------------------------------------

    /// Pages sharing the record's title, the record itself left out.
    virtual CrwlUrlList getDuplicatesForCrwlUrl(const CrwlUrl& /*record*/) const { return {}; }
    /// Pages grouped by a shared title / meta description.
    virtual CrwlUrlGroups getDuplicates() const { return {}; }
    virtual CrwlUrlGroups getDuplicateTitles() const { return {}; }
    virtual CrwlUrlGroups getDuplicateDescriptions() const { return {}; }
    /// Changes whenever the groups above may have changed; a record drops its cached lists of
    /// duplicates when it differs from the value they were built at.
    virtual quint64 duplicateGroupsGeneration() const { return 0; }

    // --- Request diagnosis ------------------------------------------------------------------

    /// The starting page's text. [any thread]
    virtual void sendHTMLStringToDiagnostic(const QString& /*html*/) { }
    /// The starting request's header fields. [any thread]
    virtual void addRequestFieldsToDiagnostic(const QString& /*fields*/) { }
    /// The starting response's status and header fields. [any thread]
    virtual void addResponseFieldsToDiagnostic(const QString& /*fields*/) { }
    /// One line of the starting request's trace. [any thread]
    virtual void addStringToDiagnosticTrace(const QString& /*line*/) { }

protected:
    CrwlURLDelegate() = default;
    CrwlURLDelegate(const CrwlURLDelegate&) = default;
    CrwlURLDelegate& operator=(const CrwlURLDelegate&) = default;
};
