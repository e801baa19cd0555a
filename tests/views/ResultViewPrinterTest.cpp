// Printing result views to PDF files, read back as text: every row on some page, outlines as
// expanded, the page width kept and logged.
#include "views/ResultViewPrinter.h"

#include "ViewsTestSupport.h"
#include "platform/UserDefaults.h"
#include "views/ResultItemModel.h"
#include "views/crawlmereTableView.h"
#include "views/qfOutlineView.h"

#include <QPageLayout>
#include <QPageSize>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using crawlmere::views::ResultViewPrinter;
using namespace crawlmere::test;

namespace {

/// The text of a PDF file as `pdftotext` reads it, pages separated by form feeds; empty when the
/// tool failed.
QString pdfText(const QString& path)
{
    QProcess tool;
    tool.start(QStringLiteral("pdftotext"), { QStringLiteral("-layout"), path, QStringLiteral("-") });
    if (!tool.waitForFinished(30000) || tool.exitCode() != 0)
        return QString();
    return QString::fromUtf8(tool.readAllStandardOutput());
}

class PrinterTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
            << "pdftotext (poppler-utils, scripts/setup) is needed";
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(folder.filePath(QStringLiteral("print.pdf")));
        printer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(36, 36, 36, 36)));
    }
    void TearDown() override { crawlmere::platform::UserDefaults::standard().removeObjectForKey("verbosity"); }

    /// The table `view` shows `count` records in a URL and a Status column of these widths.
    void showRecords(int count, int urlWidth, int statusWidth)
    {
        source.setCollection(makeRecords(count));
        view.setTableColumns(urlAndStatusColumns());
        view.setDataSource(&source);
        view.setColumnWidth(0, urlWidth);
        view.setColumnWidth(1, statusWidth);
    }

    QTemporaryDir folder;
    QPrinter printer { QPrinter::HighResolution };
    qfDataSource source;
    crawlmereTableView view;
};

} // namespace

TEST_F(PrinterTest, ATableOf200RowsPrintsEveryRowDownThePages)
{
    showRecords(200, 260, 80);

    // A4 less half-inch margins leaves 770 points: 44 rows under each page's header.
    const int pages = ResultViewPrinter::print(view, printer, ResultViewPrinter::Kind::Table);
    EXPECT_EQ(pages, 5);
    const QString text = pdfText(printer.outputFileName());
    ASSERT_FALSE(text.isEmpty());
    EXPECT_EQ(text.count(u'\f'), 5);
    for (const char* url : { "https://example.test/page-0 ", "https://example.test/page-43",
             "https://example.test/page-44", "https://example.test/page-199" })
        EXPECT_TRUE(text.contains(QLatin1String(url))) << url;
    EXPECT_EQ(text.count(QStringLiteral("https://example.test/page-")), 200);
    // Each page starts with the header row.
    EXPECT_EQ(text.count(QStringLiteral("URL")), 5);
    EXPECT_TRUE(text.contains(QStringLiteral("404")));
}

TEST_F(PrinterTest, AWideTableGoesOnAcrossPagesBrokenWhereProposedAndLogged)
{
    // 600 + 200 view pixels: two pages across a 523-point wide page.
    showRecords(3, 600, 200);

    struct Case {
        ResultViewPrinter::Kind kind;
        int verbosity;
        bool logged;
    };
    for (const Case& c : { Case { ResultViewPrinter::Kind::Table, 1, false },
             Case { ResultViewPrinter::Kind::Table, 2, true }, Case { ResultViewPrinter::Kind::Outline, 1, true } }) {
        SCOPED_TRACE(c.verbosity);
        crawlmere::platform::UserDefaults::standard().setInteger(c.verbosity, "verbosity");
        testing::internal::CaptureStderr();
        EXPECT_EQ(ResultViewPrinter::print(view, printer, c.kind), 2);
        const QString log = QString::fromStdString(testing::internal::GetCapturedStderr());
        // Each break stays at the page's right edge (about 523 points on), not at the left edge of
        // the column it cuts (the limit).
        EXPECT_EQ(
            log.contains(QRegularExpression(QStringLiteral("proposed right:523\\.[0-9]+, limit:0\\.000000\n"
                                                           "proposed right:1046\\.[0-9]+, limit:600\\.000000\n"))),
            c.logged)
            << qPrintable(log);
        const QStringList pages = pdfText(printer.outputFileName()).split(u'\f', Qt::SkipEmptyParts);
        ASSERT_EQ(pages.size(), 2);
        EXPECT_TRUE(pages.at(0).contains(QStringLiteral("https://example.test/page-2")));
        EXPECT_FALSE(pages.at(0).contains(QStringLiteral("200")));
        EXPECT_TRUE(pages.at(1).contains(QStringLiteral("Status")));
        EXPECT_TRUE(pages.at(1).contains(QStringLiteral("200")));
    }
}

TEST_F(PrinterTest, AnOutlinePrintsItsOpenRowsOnly)
{
    PagesOutline outline(6);
    qfOutlineView outlineView;
    outlineView.setTableColumns(urlAndStatusColumns());
    outlineView.setOutlineDataSource(&outline);
    outlineView.setColumnWidth(0, 300);
    outlineView.expandItem(outlineView.itemModel().index(2, 0));

    const QList<ResultViewPrinter::Row> rows = ResultViewPrinter::rowsOf(outlineView);
    ASSERT_EQ(rows.size(), 8);
    EXPECT_EQ(rows.at(3).depth, 1);
    EXPECT_EQ(rows.at(3).cells.first(), "https://example.test/p2/l0");
    EXPECT_EQ(ResultViewPrinter::print(outlineView, printer, ResultViewPrinter::Kind::Outline), 1);
    const QString text = pdfText(printer.outputFileName());
    EXPECT_TRUE(text.contains(QStringLiteral("https://example.test/p2/l1")));
    EXPECT_FALSE(text.contains(QStringLiteral("https://example.test/p4/l0")));
    EXPECT_TRUE(text.contains(QStringLiteral("https://example.test/p5")));
}

TEST_F(PrinterTest, AddressesPrintLetterForLetterWithoutLigatures)
{
    source.setCollection({ makeRecord(QStringLiteral("https://example.test/flour/office/ffi.html"), 200) });
    view.setTableColumns(urlAndStatusColumns());
    view.setDataSource(&source);
    view.setColumnWidth(0, 300);
    ASSERT_EQ(ResultViewPrinter::print(view, printer, ResultViewPrinter::Kind::Table), 1);
    const QString text = pdfText(printer.outputFileName());
    EXPECT_TRUE(text.contains(QStringLiteral("https://example.test/flour/office/ffi.html"))) << qPrintable(text);
}
