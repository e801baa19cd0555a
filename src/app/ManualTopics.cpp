// The help topics' titles and texts and the settings controls that carry a help button.
#include "app/ManualTopics.h"

#include "engine/CrawlSettingTable.h"

#include <QCoreApplication>

namespace crawlmere::app {

namespace {

using K = ManualTopicKind;

#define HELP(text) QT_TRANSLATE_NOOP("Manual", text)

ManualTopic text(const char* action, const char* title, const char* body)
{
    return { action, K::Text, title, body, true };
}

ManualTopic none(const char* action) { return { action, K::Nothing, "", "", true }; }

std::vector<ManualTopic> buildTopics()
{
    return {
        text("aboveDomain:", "AboveDomain",
            HELP("A relative link such as \"../\" that would lead above the domain's root is technically an "
                 "error. Browsers quietly assume the root instead. With this setting on, the scan ignores the "
                 "error and assumes the root of the domain too.")),
        { "authentication:", K::Article, "", "", true },
        text("anchor:", "Anchor",
            HELP("With this option on, link URLs that differ only in their # fragment are treated as unique "
                 "links. After the page's status has been tested, the target page is searched for an element "
                 "whose name or id matches the fragment, and a warning is added when none is found (shown in "
                 "orange; the details are in the link inspector's Warnings tab). Anchors are case-sensitive. "
                 "This cannot be used while query strings are ignored.")),
        text("archive:", "Archive",
            HELP("The site can be archived while it is scanned and saved when the scan ends. Choose "
                 "'Preserve' to keep the files exactly as they were received, or 'Process' to make a copy "
                 "that can be browsed locally.")),
        text("autosave:", "Autosave",
            HELP("The data of the latest scan of each site is saved automatically (mind the disc space). "
                 "Scan data can also be saved and opened by hand.")),
        text("allowCrawlingUpwards:", "crawlUpwards",
            HELP("A scan normally goes down from the starting URL but not up above it. This option lets it "
                 "go above, for example when the login URL is deep inside the site but the whole site is to "
                 "be scanned.")),
        text("managesaved:", "Autosave manage",
            HELP("In the list of saved scan data, click a column header to sort by date, site name or size. "
                 "The trash button moves a file to the trash; hold the Alt key while clicking it to delete "
                 "the file at once.")),
        text("blacklisting:", "Blacklisting",
            HELP("Rules tell the scan to ignore URLs, not to check them or not to follow them. A rule for "
                 "the starting directory is not needed. In a rule, \"*\" stands for any characters and \"$\" "
                 "for the end of the URL, as in /*.php$")),
        text("cookie:", "Cookies",
            HELP("Cookies are needed for authentication and for sites that keep the visitor's language in "
                 "a cookie. While the scan handles cookies, it is best not to be logged into the same site "
                 "elsewhere.")),
        text("customheaders:", "Custom header fields",
            HELP("These field names and values are included in the server request header sent to all urls.")),
        text("customposts:", "Custom post fields",
            HELP("These apply if authentication is switched on and can help with authentication. These "
                 "custom field names and values are sent by POST request to the starting url only.")),
        text("deletegoodlinks:", "No Good Links",
            HELP("This has no effect during the scan. When the scan ends, the good links (and with them the "
                 "pages and the SEO data) are cleared. Use it for large sites on a computer with little "
                 "memory.")),
        { "downloadTime:", K::Text, "Download Time",
            "This number shows the download time of the page or file, not including any resources.", false },
        text("finishctions:", "Finish actions",
            HELP("These actions are taken when a scan finishes: when you press 'Perform actions' afterwards, "
                 "automatically when the scan was started with 'Scan with actions', and after a scheduled "
                 "scan.")),
        text("formactions:", "Form actions",
            HELP("The submission URL (the action) of each form is reported and tested without sending any "
                 "fields, so the form's validation may answer with an error.")),
        none("gettingstarted:"),
        text("sessid:", "Session id",
            HELP("Ignores a session id in the query string (such as ?sid=12345) but keeps the rest of the "
                 "query string, for sites where query strings cannot be ignored as a whole.")),
        none("index:"),
        text("images:", "Checking images",
            HELP("Images are checked as well as links, and their alt text stands in for the link text. This "
                 "is required, and switched on, when images are included in the sitemap or an image sitemap "
                 "is made.")),
        text("lazyLoading:", "Lazy loading",
            HELP("Finds images that are loaded lazily, for the common ways of doing it only. Running the "
                 "page's JavaScript is the fallback; use it only when necessary.")),
        text("loadImages:", "Loading images",
            HELP("With this option on, images are downloaded and their real size is shown. Otherwise the "
                 "size comes from the Content-Length field of the response, which may be the compressed size "
                 "or missing. Only available while images are checked.")),
        text("renderjs:", "Javascript",
            HELP("Each page is rendered, running its JavaScript, before its links are extracted. This is "
                 "costly and slow. Only script that runs while the page loads is run; script code is not "
                 "searched for URLs, and script started by the user (onClick) is not run.")),
        text("linksinpdfs:", "Links in pdfs",
            HELP("Links inside these documents are reported, checked and followed like those of web pages, "
                 "at a cost in time and resources.")),
        text("keywords:", "Keywords",
            HELP("Some keyword analysis is done during the scan, so that the SEO keyword search can report "
                 "where typed keywords occur and which pages are stuffed with keywords.")),
        text("lastmod:", "Lastmod",
            HELP("Note that, at present, if you change the lastmod or pdf setting, you'll need to re-scan")),
        text("linkedfiles:", "Linked files",
            HELP("Linked resources such as css and javascript (<link rel=..) will also be checked and reported "
                 "with the links reports.")),
        text("searchMetaTags:", "Search Meta Tags",
            HELP("Certain meta tags (such as those for social media, og:url) are searched for URLs. These are "
                 "link-tested and checked for mixed or insecure content.")),
        text("internal:", "Internal links only",
            HELP("This setting makes the scan more efficient if you're only interested in internal links; "
                 "generating a sitemap, for example.")),
        none("local:"),
        none("list:"),
        text("linkslimit:", "Links limits",
            HELP("The scan stops when it reaches this number of links: a safety valve. The setting belongs "
                 "to the site; new sites start with the default limit.")),
        text("levelslimit:", "Levels limits",
            HELP("Also called depth: limits the scan to pages this many clicks away from the starting page. "
                 "The setting belongs to the site; new sites start with the default limit.")),
        text("localdefault:", "Local default filename",
            HELP("When a site is scanned from local files, a link to a directory names no file, so one must "
                 "be assumed. This is usually index.html.")),
        text("missing:", "Missing link url",
            HELP("With this setting on, empty link targets and placeholders such as # are reported like bad "
                 "links. Otherwise they are ignored.")),
        text("noresults:", "No results",
            HELP("No links were found on the starting page. The server may answer robots differently: "
                 "try another user-agent string in the site's settings. If that does not help, contact "
                 "support.")),
        text("occurrenceslimit:", "Occurrences limits",
            HELP("Storing every occurrence of a link that appears on many pages takes space; this limit saves "
                 "memory and time. The setting belongs to the site; new sites start with the default.")),
        text("orphanIgnoreList:", "orphan Ignore List",
            HELP("One directory or file name per line, such as /engineering/. File extensions work too "
                 "(.awf). There is no pattern matching.")),
        text("orphanStartingFile:", "orphan starting file",
            HELP("This starting file should correspond with the home page / starting url for this site")),
        text("nofollow:", "Nofollow",
            HELP("This concerns the rel=\"nofollow\" attribute of a link, not the robots meta tag. With the "
                 "setting on, nofollow links are listed and checked but not followed.")),
        text("querystring:", "Querystring",
            HELP("The query string is the part of a URL after the '?'. Ignore query strings when a page is "
                 "the same with or without them (a session id, say), not when they decide which page is "
                 "shown (a page id).")),
        text("redirectcolour:", "Redirects",
            HELP("This colour is used for a redirect even when it leads to a good link. Set it to transparent, "
                 "or choose not to report redirects at all, only their final status.")),
        text("robots:", "Robots",
            HELP("The robots.txt file at the site's root says which directories or URLs robots may not "
                 "fetch. The scan can observe it, following the instructions for Googlebot, or else those "
                 "for '*'.")),
        text("robotsSitemap:", "Robots- Sitemap",
            HELP("These settings do not affect the scan, only whether pages go into the sitemap. The scan's "
                 "own robots.txt rule is in the site's settings. The robots.txt file at the site's root says "
                 "which directories or URLs robots may not fetch; the instructions for Googlebot are used, or "
                 "else those for '*'.")),
        text("sitemapFilenameOption:", "Robots- Sitemap",
            HELP("The file will be XML either way but google expects the sitemap to be named sitemap.txt")),
        none("seo:"),
        text("searchbodytext:", "search-body-text",
            HELP("Body text means the page's main body, with or without its header, footer and navigation "
                 "parts as the text content settings decide. If in doubt, search the entire source.")),
        none("settings:"),
        text("schedule:", "Schedule",
            HELP("Scans can run on a schedule as systemd user timers. The application need not be running: "
                 "the timer starts it at the set time with the site's settings file, and it scans and takes "
                 "the chosen finish actions.")),
        text("schedule_overview:", "Schedule Overview",
            HELP("Lists the systemd user timers (in ~/.config/systemd/user) that run scheduled scans, with "
                 "the site and the time of each. Timers are made, changed and removed with systemd's own "
                 "tools; the list is read again each time it is shown.")),
        none("sitemap:"),
        text("soft404:", "Soft404",
            HELP("A soft 404 is an error page answered with status 200, or a redirect to a default page. "
                 "With this option on, target pages are fetched and searched for terms such as 'page not "
                 "found'. A text that appears only on the site's own soft-404 page can be added to the "
                 "terms.")),
        text("spellcheck:", "Spellcheck",
            HELP("The spelling and grammar of page content are checked during the scan (grammar is costly). "
                 "The languages offered are those of the installed hunspell dictionaries; words you have "
                 "learned are accepted too.")),
        text("subdomain:", "Subdomain setting",
            HELP("With this setting on, subdomains of the starting host count as part of the site, and a "
                 "host name with and without a leading www counts as the same site.")),
        text("threads:", "Threads / timeout / delay",
            HELP("More threads may scan faster but load the computer, the connection and above all the server "
                 "(time-outs, server errors). Fewer threads leave the computer usable. Experiment.")),
        text("tolerance:", "tolerance",
            HELP("How tolerant the parser is of ambiguous markup such as mismatched quotes or unsafe "
                 "characters in URLs: off for strict compliance, on to accept whatever works in a browser.")),
        text("trustinvalid:", "Trust invalid server cert",
            HELP("Trusts every expired or invalid certificate of a secure URL instead of reporting an "
                 "invalid-certificate status.")),
        text("trailingSlash:", "Trailing slash",
            HELP("With this setting on, an address with and without a trailing slash counts as the same. Keep "
                 "it on unless the server answers the two differently.")),
        text("useragent:", "Useragent String",
            HELP("The user-agent string can be changed so that the scan appears to the server as a browser. "
                 "Choose a browser from the menu or paste your own.")),
        text("acceptlanguage:", "Accept-Language",
            HELP("The contents of this box are sent as the Accept-Language request header. * is usually "
                 "best; a site may choose its language by it.")),
        text("verbosity:", "Verbosity",
            HELP("Any setting but 'silent' writes lines to standard error (the console), which costs time. "
                 "Keep it low unless you are tracking down a problem.")),
        none("validation:"),
        text("visualisation:", "visualisation", HELP("Changes will take effect next time the chart is refreshed")),
        text("warningLimitExceeded:", "warningLimitExceeded",
            HELP("The number of warnings passed the maximum that is set. Many may be template issues that "
                 "occur on every page, so fix those first and scan again.")),
        text("wordpressthing:", "File extension",
            HELP("For content-management sites whose starting URL names a page without an extension (such "
                 "as /mypage/), the scan cannot know whether it is a directory (the scan stays inside it) or "
                 "a page (the scan covers the site). This is detected and asked automatically, and can be "
                 "changed here.")),
    };
}

#undef HELP

} // namespace

const std::vector<ManualTopic>& manualTopics()
{
    static const std::vector<ManualTopic> topics = buildTopics();
    return topics;
}

const ManualTopic* manualTopic(QStringView action)
{
    for (const ManualTopic& topic : manualTopics()) {
        if (action == QLatin1String(topic.action))
            return &topic;
    }
    return nullptr;
}

QString manualTopicText(const ManualTopic& topic)
{
    if (!topic.localised)
        return QString::fromUtf8(topic.text);
    return QCoreApplication::translate("Manual", topic.text);
}

const std::vector<SettingsHelpAnchor>& settingsHelpAnchors()
{
    // Each setting's anchor stands in its row of the crawl-settings table. Spelling, PDF reading
    // and JavaScript are built hidden: the installer gives hidden controls no button, so their
    // anchors stand there for the day they are shown.
    static const std::vector<SettingsHelpAnchor> anchors = [] {
        std::vector<SettingsHelpAnchor> list;
        for (const engine::CrawlSetting& setting : engine::crawlSettingTable()) {
            if (setting.pane.helpAnchor)
                list.push_back({ setting.key, setting.pane.helpAnchor });
        }
        list.push_back({ QStringLiteral("deleteBlacklistRuleButton"), "blacklisting:" });
        return list;
    }();
    return anchors;
}

} // namespace crawlmere::app
