// Naming the archive's files and the Process copy's against the length of an address and the
// number of names that clash: pages archived under addresses of 6,000 and 60,000 characters, and
// the Process export of such an archive (each name cut to what a file system takes); and Process
// exports of 600 and 6,000 pages whose names share their first 300 bytes, so that every page but
// one takes a suffix. Each time must grow with its size (ten times the size, about ten times the
// time), never with its square. The archive, the copy and the user defaults live in folders of
// their own.
#include "ArchiveBenchSupport.h"

#include "platform/UserDefaults.h"

namespace {

using crawlmere::archive::ArchiveWriter;
using crawlmere::bench::archivePage;
using crawlmere::bench::processExport;

constexpr int kLongAddresses = 40;

/// The address of page `i`: `length` characters, most of them one long path segment.
QString longAddress(int i, qint64 length)
{
    const QString head = QStringLiteral("http://h.test/%1/").arg(i);
    return head + QString(length - head.size() - 5, u'p') + QStringLiteral(".html");
}

/// Archives 40 pages whose addresses are `length` characters long.
void archiveLongAddresses(benchmark::State& state)
{
    const qint64 length = state.range(0);
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir sandbox;
        ArchiveWriter writer(
            crawlmere::platform::UserDefaults::standard(), sandbox.filePath(QStringLiteral("archive")));
        state.ResumeTiming();
        for (int i = 0; i < kLongAddresses; ++i)
            archivePage(writer, longAddress(i, length), "<html><body>long</body></html>");
        benchmark::DoNotOptimize(writer.archiveIndex().size());
    }
    state.counters["pages"] = kLongAddresses;
}

/// The Process export of an archive of two pages with addresses `length` characters long, one
/// linking the other.
void exportLongAddresses(benchmark::State& state)
{
    const qint64 length = state.range(0);
    QTemporaryDir sandbox;
    ArchiveWriter writer(crawlmere::platform::UserDefaults::standard(), sandbox.filePath(QStringLiteral("archive")));
    archivePage(writer, longAddress(0, length),
        "<html><body><a href=\"" + longAddress(1, length).toUtf8() + "\">1</a></body></html>");
    archivePage(writer, longAddress(1, length), "<html><body>one</body></html>");
    writer.saveArchive();
    qint64 written = 0;
    for (auto _ : state)
        written = processExport(writer, sandbox.filePath(QStringLiteral("save"))).filesWritten;
    state.counters["files"] = double(written);
}

/// The Process export of `pages` pages whose names share their first 300 bytes.
void exportClashingNames(benchmark::State& state)
{
    const qint64 pages = state.range(0);
    QTemporaryDir sandbox;
    ArchiveWriter writer(crawlmere::platform::UserDefaults::standard(), sandbox.filePath(QStringLiteral("archive")));
    const QString shared = QString(300, u'n');
    for (qint64 i = 0; i < pages; ++i)
        archivePage(writer, QStringLiteral("http://h.test/%1-%2.html").arg(shared).arg(i),
            "<html><body>page " + QByteArray::number(i) + "</body></html>"); // bytes of its own: a file of its own
    writer.saveArchive();
    qint64 written = 0;
    for (auto _ : state)
        written = processExport(writer, sandbox.filePath(QStringLiteral("save"))).filesWritten;
    state.counters["files"] = double(written);
}

BENCHMARK(archiveLongAddresses)->Arg(6000)->Arg(60000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(exportLongAddresses)->Arg(6000)->Arg(60000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(exportClashingNames)->Arg(600)->Arg(6000)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

int main(int argc, char** argv) { return crawlmere::bench::runArchiveBenchmarks(argc, argv); }
