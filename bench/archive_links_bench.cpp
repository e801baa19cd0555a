// The Process export against the number of links of one page: an archive of one page holding
// 10,000, 100,000 and 1,000,000 distinct links (one in a hundred to an archived page, each written
// with "&amp;"), of one style sheet holding as many "url(" values, of one tag of 100,000
// attributes that name a link, and of sites of 10,000 and 30,000 pages whose index lists them
// all, exported to a copy. The time must grow with the page's size: the page is rewritten in one
// pass, never searched once per link. The archive, the copy and the user defaults live in folders
// of their own.
#include "ArchiveBenchSupport.h"

#include "platform/UserDefaults.h"

namespace {

using crawlmere::archive::ArchiveWriter;
using crawlmere::bench::archivePage;
using crawlmere::bench::processExport;

constexpr qint64 kArchivedEvery = 100;

/// An archive of one file of `links` links (a page, or a style sheet) and the pages or images a
/// hundredth of them name; then its Process export, timed.
void exportOneFile(benchmark::State& state, bool sheet)
{
    const qint64 links = state.range(0);
    QTemporaryDir sandbox;
    ArchiveWriter writer(crawlmere::platform::UserDefaults::standard(), sandbox.filePath(QStringLiteral("archive")));
    QByteArray text(sheet ? "" : "<html><body>\n");
    text.reserve(links * 48);
    for (qint64 i = 0; i < links; ++i) {
        if (sheet)
            text += "p.c" + QByteArray::number(i) + "{background:url(i/" + QByteArray::number(i) + ".png?v=1)}\n";
        else
            text += "<a href=\"p/" + QByteArray::number(i) + ".html?a=1&amp;b=2\">" + QByteArray::number(i)
                + "</a><br/>\n";
    }
    if (!sheet)
        text += "</body></html>";
    archivePage(writer, sheet ? QStringLiteral("http://h.test/site.css") : QStringLiteral("http://h.test/index.html"),
        text, !sheet);
    for (qint64 i = 0; i < links; i += kArchivedEvery) {
        if (sheet)
            archivePage(writer, QStringLiteral("http://h.test/i/%1.png?v=1").arg(i), "PNG", false);
        else
            archivePage(writer, QStringLiteral("http://h.test/p/%1.html?a=1&b=2").arg(i), "<html>p</html>", true);
    }
    writer.saveArchive();
    qint64 written = 0;
    for (auto _ : state) {
        written = processExport(writer, sandbox.filePath(QStringLiteral("save"))).filesWritten;
    }
    state.counters["links"] = double(links);
    state.counters["MB"] = double(text.size()) / (1024.0 * 1024.0);
    state.counters["files"] = double(written);
}

/// One tag of `attributes` attributes, each a link to the one archived page: every value read
/// once, the page's one link resolved once.
void exportOneTag(benchmark::State& state)
{
    const qint64 attributes = state.range(0);
    QTemporaryDir sandbox;
    ArchiveWriter writer(crawlmere::platform::UserDefaults::standard(), sandbox.filePath(QStringLiteral("archive")));
    QByteArray page("<html><body><a");
    for (qint64 i = 0; i < attributes; ++i)
        page += " data-src" + QByteArray::number(i) + "=x data-src=\"/z.html\"";
    page += " href=\"/z.html\">z</a></body></html>";
    archivePage(writer, QStringLiteral("http://h.test/index.html"), page, true);
    archivePage(writer, QStringLiteral("http://h.test/z.html"), "<html>z</html>", true);
    writer.saveArchive();
    for (auto _ : state) {
        benchmark::DoNotOptimize(processExport(writer, sandbox.filePath(QStringLiteral("save"))).filesWritten);
    }
    state.counters["MB"] = double(page.size()) / (1024.0 * 1024.0);
}

/// A site of `pages` pages whose index lists every one, each page linking back: every file of the
/// copy archived, planned, written and its links rewritten.
void exportSite(benchmark::State& state)
{
    const qint64 pages = state.range(0);
    QTemporaryDir sandbox;
    ArchiveWriter writer(crawlmere::platform::UserDefaults::standard(), sandbox.filePath(QStringLiteral("archive")));
    QByteArray index("<html><body>\n");
    for (qint64 i = 0; i < pages; ++i) {
        index += "<a href=\"/docs/" + QByteArray::number(i) + "/\">" + QByteArray::number(i) + "</a>\n";
        archivePage(
            writer, QStringLiteral("http://h.test/docs/%1/").arg(i), "<html><a href=\"/\">home</a></html>", true);
    }
    archivePage(writer, QStringLiteral("http://h.test/"), index + "</body></html>", true);
    writer.saveArchive();
    qint64 written = 0;
    for (auto _ : state) {
        written = processExport(writer, sandbox.filePath(QStringLiteral("save"))).filesWritten;
    }
    state.counters["files"] = double(written);
}

void exportPage(benchmark::State& state) { exportOneFile(state, /*sheet=*/false); }
void exportStyleSheet(benchmark::State& state) { exportOneFile(state, /*sheet=*/true); }

BENCHMARK(exportPage)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(exportStyleSheet)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(exportOneTag)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(exportSite)->Arg(10000)->Arg(30000)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

int main(int argc, char** argv) { return crawlmere::bench::runArchiveBenchmarks(argc, argv); }
