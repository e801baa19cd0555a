// The sitemap manager's text reports: the sitemap table as CSV, the pages as flat or indented
// HTML lists of links, and the link graph between them as a Graphviz digraph.
#include "sitemap/SitemapManager.h"

#include "engine/CrwlLinkInstance.h"
#include "engine/CrwlUrl.h"
#include "engine/ExportText.h"
#include "platform/Dispatch.h"
#include "platform/Log.h"
#include "platform/SavePanel.h"
#include "platform/Strings.h"
#include "platform/AtomicFile.h"
#include "platform/UserDefaults.h"

#include <QSet>
#include <QUrl>

#include <algorithm>
#include <map>

namespace crawlmere::sitemap {

using platform::logLine;

namespace {

const QString kIndent = QStringLiteral("&nbsp;&nbsp;&nbsp;&nbsp;");

/// One link line of the HTML lists; URL and title escaped so a title cannot add markup.
QString linkLine(const CrwlUrl& page)
{
    return QStringLiteral("<a href = \"%1\">%2</a><br />\n")
        .arg(platform::strings::htmlEscaped(CrwlUrl::forceTrimHash(page.finalURLString())),
            platform::strings::htmlEscaped(page.getLinkpagetitle()));
}

QString htmlDocument(const QString& body)
{
    return engine::htmlExportHead() + body + engine::htmlExportFoot();
}

/// A node name inside double quotes of the dot language.
QString dotQuoted(QString name)
{
    name.replace(u'\\', QStringLiteral("\\\\"));
    name.replace(u'"', QStringLiteral("\\\""));
    return u'"' + name + u'"';
}

/// The edge colour of a parent at click distance `level`; empty past the list.
QString levelColour(qint64 level)
{
    static const QStringList colours { QStringLiteral("red"), QStringLiteral("orange"), QStringLiteral("yellow"),
        QStringLiteral("green"), QStringLiteral("blue"), QStringLiteral("indigo"), QStringLiteral("violet") };
    return level >= 0 && level < colours.size() ? colours.at(level) : QString();
}

/// A registered boolean that may be missing from the store: `fallback` then.
bool boolOr(const platform::UserDefaults& defaults, const QString& key, bool fallback)
{
    return defaults.objectForKey(key).isValid() ? defaults.boolForKey(key) : fallback;
}

} // namespace

QString SitemapManager::sitemapCsvText()
{
    const QList<TableColumn> columns = sitemapColumns();
    const qint64 option = m_defaults.objectForKey(defaultsKey::csvQuoteEscapeOption).isValid()
        ? m_defaults.value(defaultsKey::csvQuoteEscapeOption)
        : 1;
    QStringList titles;
    for (const TableColumn& column : columns)
        titles << u'"' + column.title + u'"';
    QString csv = titles.join(u',') + u'\n';
    for (const auto& page : getSitemapCollection()) {
        if (!page->getVisible())
            continue;
        QStringList fields;
        for (const TableColumn& column : columns) {
            const QString value = column.identifier == u"priority"
                ? priorityText(*page)
                : csvQuoteEscaped(page->getFieldByName(column.identifier), option);
            fields << u'"' + value + u'"';
        }
        csv += fields.join(u',') + u'\n';
    }
    return csv;
}

QString SitemapManager::sitemapHtmlText()
{
    // One pass: each page goes to the list of its level; a page without a distance comes last.
    std::map<qint64, QString> levels;
    QString withoutDistance;
    for (const auto& page : getSitemapCollection()) {
        const qint64 distance = page->getDistanceFromHome();
        (distance < 0 ? withoutDistance : levels[distance]) += linkLine(*page);
    }
    QString body;
    for (const auto& [level, lines] : levels)
        body += lines;
    return htmlDocument(body + withoutDistance);
}

QString SitemapManager::sitemapHierarchicalHtmlText()
{
    CrwlUrlList pages = getSitemapCollection();
    std::stable_sort(pages.begin(), pages.end(), [](const auto& a, const auto& b) {
        return a->finalURLString().compare(b->finalURLString(), Qt::CaseInsensitive) < 0;
    });
    QString body;
    for (const auto& page : pages) {
        const qint64 depth = page->getDirectoryDepth();
        if (depth > 0)
            body += kIndent.repeated(depth) + QStringLiteral("&bull;&nbsp;");
        body += linkLine(*page);
    }
    return htmlDocument(body);
}

void SitemapManager::saveReportOnMain(QString text, const QString& fileType)
{
    platform::Dispatch::toMain([this, alive = std::weak_ptr<char>(m_alive), text = std::move(text), fileType] {
        if (!alive.lock() || !m_savePanel)
            return;
        platform::SavePanelRequest request;
        request.allowedFileTypes = { fileType };
        request.kind = QStringLiteral("sitemap");
        const auto chosen = m_savePanel->runModal(request);
        if (!chosen)
            return;
        if (QString error; !platform::saveTextAtomically(*chosen, text, &error)) {
            logLine(0, QStringLiteral("Unsuccessful exporting data to %1: %2").arg(*chosen, error));
            m_savePanel->showSaveFailure(*chosen, error);
        } else {
            logLine(2, QStringLiteral("Successful saving data to %1\n").arg(*chosen));
        }
    });
}

void SitemapManager::exportSitemapAsCSV()
{
    if (getSitemapCollection().empty()) {
        if (m_observer.beep)
            m_observer.beep();
        return;
    }
    saveReportOnMain(sitemapCsvText(), QStringLiteral("csv"));
}

void SitemapManager::exportSitemapAsHTMLMenuItem()
{
    if (getSitemapCollection().empty()) {
        if (m_observer.beep)
            m_observer.beep();
        return;
    }
    if (m_defaults.value(defaultsKey::htmlExportOptions) == 1)
        exportSitemapAsHeirarcicalHTML();
    else
        exportSitemapAsHTML();
}

void SitemapManager::exportSitemapAsHTML()
{
    if (getSitemapCollection().empty()) {
        if (m_observer.beep)
            m_observer.beep();
        return;
    }
    saveReportOnMain(sitemapHtmlText(), QStringLiteral("html"));
}

void SitemapManager::exportSitemapAsHeirarcicalHTML()
{
    saveReportOnMain(sitemapHierarchicalHtmlText(), QStringLiteral("html"));
}

QString SitemapManager::stripHost(const QString& url)
{
    const QUrl parsed(url, QUrl::TolerantMode);
    if (!parsed.isValid() || parsed.scheme().isEmpty() || parsed.host().isEmpty())
        return url;
    // scheme "://" host, and ":port" when the URL names one, so a page is named by its path.
    qsizetype n = parsed.host().size() + parsed.scheme().size() + 3;
    if (parsed.port() != -1)
        n += 1 + QString::number(parsed.port()).size();
    return n < url.size() - 1 ? url.mid(n) : url;
}

namespace {

/// The page of `pages` a link to `target` leads to: the target itself, or for a redirect the
/// page it ends at (a way in to that page); null when it leads to none of them.
std::shared_ptr<CrwlUrl> pageReachedThrough(std::shared_ptr<CrwlUrl> target, const QSet<const CrwlUrl*>& pages)
{
    if (!target || pages.contains(target.get()))
        return target;
    const auto owner = target->getOwner();
    auto final = owner ? owner->getFinalRecordOf(*target) : nullptr;
    return final && pages.contains(final.get()) ? final : nullptr;
}

} // namespace

std::optional<QString> SitemapManager::getDotAsStringForExportng(bool /*exporting*/)
{
    const bool observeCanonical = boolOr(m_defaults, defaultsKey::observeCanonicalRuleForDotSitemap, true);
    const CrwlUrlList pages = observeCanonical ? getSitemapCollection() : getSitemapCollectionIncludingCanonicals();
    if (pages.empty()) {
        logLine(1, QStringLiteral("Attempt to generate dot file but no rows in sitemap"));
        return std::nullopt;
    }
    logLine(3, QStringLiteral("appropriate collection has %1").arg(pages.size()));
    const qint64 levelLimit = boolOr(m_defaults, defaultsKey::vizLimit, true)
        ? (m_defaults.objectForKey(defaultsKey::vizLevels).isValid()
                ? m_defaults.value(defaultsKey::vizLevels)
                : 3)
        : 1000;
    const bool clean = boolOr(m_defaults, defaultsKey::vizClean, true);
    const bool colour = boolOr(m_defaults, defaultsKey::vizColour, true);

    QSet<const CrwlUrl*> members;
    members.reserve(qsizetype(pages.size()));
    for (const auto& page : pages)
        members.insert(page.get());

    QString dot = QStringLiteral("digraph ") + dotQuoted(CrwlUrl::forceTrimHash(pages.front()->absoluteString()))
        + QStringLiteral(" {\r");
    if (m_observer.dotProgress)
        m_observer.dotProgress(0.0);
    const auto count = qint64(pages.size());
    qint64 shownPercent = 0;
    for (qint64 index = 0; index < count; ++index) {
        const CrwlUrl& parent = *pages.at(std::size_t(index));
        const qint64 p = parent.getDistanceFromHome();
        logLine(4, QStringLiteral("this parent is %1").arg(parent.absoluteString()));
        if (p < levelLimit) {
            const auto& links = parent.getOutboundInstances();
            logLine(3,
                QStringLiteral("parent %1 has %2 children")
                    .arg(parent.absoluteString(), QString::number(links.size())));
            const QString parentName = dotQuoted(stripHost(CrwlUrl::forceTrimHash(parent.absoluteString())));
            const QString attribute
                = colour && !levelColour(p).isEmpty() ? QStringLiteral(" [color=%1]").arg(levelColour(p)) : QString();
            for (const auto& link : links) {
                const auto child = pageReachedThrough(link ? link->target() : nullptr, members);
                if (!child) {
                    logLine(3,
                        QStringLiteral("pair not included because thisChild's target can't be found in "
                                       "appropriateSitemapCollection"));
                    continue;
                }
                logLine(3, QStringLiteral("child is %1").arg(child->absoluteString()));
                if (clean && child->getDistanceFromHome() <= p) {
                    logLine(3, QStringLiteral("pair not included because it goes downstream"));
                    continue;
                }
                const QString childName = dotQuoted(stripHost(CrwlUrl::forceTrimHash(child->absoluteString())));
                logLine(3,
                    QStringLiteral("made link with level %1: parent: %2 -> child: %3")
                        .arg(QString::number(p), parentName, childName));
                dot += parentName + QStringLiteral(" -> ") + childName + attribute + QStringLiteral(";\r");
            }
        }
        const qint64 percent = (index + 1) * 100 / count;
        if (percent != shownPercent && m_observer.dotProgress) {
            shownPercent = percent;
            m_observer.dotProgress(double(index + 1) / double(count));
        }
    }
    dot += u'}';
    if (m_observer.hideVizWindow)
        m_observer.hideVizWindow();
    return dot;
}

void SitemapManager::exportAsDotMenuItem()
{
    if (getSitemapCollection().empty()) {
        if (m_observer.beep)
            m_observer.beep();
        return;
    }
    if (m_observer.dotProgress)
        m_observer.dotProgress(0.0);
    if (m_observer.showVizWindow)
        m_observer.showVizWindow();
}

void SitemapManager::exportAsDot()
{
    if (auto dot = getDotAsStringForExportng(true))
        saveReportOnMain(std::move(*dot), QStringLiteral("dot"));
}

} // namespace crawlmere::sitemap
