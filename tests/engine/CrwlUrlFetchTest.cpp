// A URL record fetching itself from a server on 127.0.0.1: statuses, redirect chains and their
// limits, Refresh headers and authentication, with the hand-overs to the owner on the main thread.
#include "engine/CrawlSettingKeys.h"
#include "engine/CrwlUrlFetchTestSupport.h"
#include "platform/TextEncoding.h"

using namespace crawlmere::test::fetching;

TEST_F(CrwlUrlFetchTest, OkPageIsCountedExtractedAndFinishedOnTheMainThread)
{
    const auto record = makeRecord(server.url(QStringLiteral("/ok")));
    fetch(record);
    EXPECT_EQ(record->getStatus(), 200);
    EXPECT_EQ(owner->names(),
        (QStringList {
            QStringLiteral("incNumberDone"), QStringLiteral("extractLinks"), QStringLiteral("threadHasFinished") }));
    for (const auto& event : owner->eventList())
        EXPECT_TRUE(event.onMainThread) << event.name.toStdString();
    ASSERT_EQ(owner->extractedBodies.size(), 1u);
    EXPECT_EQ(owner->extractedBodies.front(), kPage.toUtf8());
    EXPECT_EQ(record->mimeType(), QStringLiteral("text/html"));
    EXPECT_TRUE(record->isHTML());
    EXPECT_EQ(record->getFilesizeinbytes(), kPage.toUtf8().size());
    EXPECT_FALSE(record->getContentLengthUnavailable());
    EXPECT_EQ(record->getMethodOfLastRequest(), 1);
    EXPECT_EQ(record->getTryCount(), 1);
    EXPECT_FALSE(record->hasCurrentSession());
    EXPECT_EQ(owner->soft404Checks.load(), 1);
}

// A loopback server answers within a millisecond: each fetch still has a response time of its
// own, measured finer than whole milliseconds (which read such an answer as no time at all).
TEST_F(CrwlUrlFetchTest, TheCharsetItsContentTypeNamesIsKeptWithTheBody)
{
    namespace Encoding = crawlmere::platform::Encoding;
    const struct {
        const char* type;
        crawlmere::platform::EncodingId expected;
    } rows[] = {
        { "text/html; charset=windows-1251", Encoding::WindowsCP1251 },
        { "text/html; charset=\"ISO-8859-15\"", Encoding::ISOLatin9 },
        { "text/html;charset=iso-8859-1", Encoding::WindowsCP1252 },
        { "text/html; Charset=KOI8-U", Encoding::KOI8U },
        { "text/html; charset=windows-31j", Encoding::ShiftJIS },
        { "text/html", Encoding::None },
        { "text/html; charset=x-unknown", Encoding::None },
    };
    int finishes = 0;
    for (const auto& row : rows) {
        const auto record = makeRecord(
            server.url(QStringLiteral("/typed?type=") + QString::fromLatin1(QUrl::toPercentEncoding(row.type))));
        fetch(record, ++finishes);
        EXPECT_EQ(record->getData(), kPage.toUtf8()) << row.type;
        EXPECT_EQ(record->declaredTextEncoding(), row.expected) << row.type;
    }
}

TEST_F(CrwlUrlFetchTest, EveryFetchHasItsOwnResponseTimeEvenWithinAMillisecond)
{
    constexpr int kFetches = 20;
    int wholeMilliseconds = 0;
    for (int i = 0; i < kFetches; ++i) {
        const auto record = makeRecord(server.url(QStringLiteral("/ok?n=%1").arg(i)));
        fetch(record, i + 1);
        const double seconds = record->getResponsetime();
        EXPECT_GT(seconds, 0.00001) << i;
        EXPECT_FALSE(record->getFieldByName(QStringLiteral("responsetime")).isEmpty()) << i;
        EXPECT_GE(record->getLoadTime(), 0.0) << i;
        const double milliseconds = seconds * 1000.0;
        if (std::abs(milliseconds - std::round(milliseconds)) < 1e-9)
            ++wholeMilliseconds;
    }
    EXPECT_LT(wholeMilliseconds, kFetches);
}

TEST_F(CrwlUrlFetchTest, ErrorStatusesAreKeptAndTheirBodiesNotRead)
{
    const auto missing = makeRecord(server.url(QStringLiteral("/missing")));
    fetch(missing);
    EXPECT_EQ(missing->getStatus(), 404);
    EXPECT_TRUE(missing->getData().isEmpty());

    const auto broken = makeRecord(server.url(QStringLiteral("/broken")));
    fetch(broken, 2);
    EXPECT_EQ(broken->getStatus(), 500);
    EXPECT_EQ(owner->count(QStringLiteral("incNumberDone")), 2);
    EXPECT_EQ(owner->count(QStringLiteral("extractLinks")), 0);
}

TEST_F(CrwlUrlFetchTest, APageIsReadOnTheMainThreadOnlyWhenNoOtherFetchIsUnderWay)
{
    // Alone in flight, the page is read where its answer arrived; beside another, on a worker.
    int finishes = 0;
    for (const qint64 inFlight : { 1, 2, 1 }) {
        owner->inFlight = inFlight;
        ++finishes;
        fetch(makeRecord(server.url(QStringLiteral("/ok?in-flight=%1&n=%2").arg(inFlight).arg(finishes))), finishes);
    }
    EXPECT_EQ(owner->soft404Checks.load(), 3);
    EXPECT_EQ(owner->soft404ChecksOnMainThread.load(), 2);
    EXPECT_EQ(owner->count(QStringLiteral("extractLinks")), 3);
}

TEST_F(CrwlUrlFetchTest, SoftFourOhFourAnswerChangesTheStatus)
{
    owner->soft404Answer = true;
    const auto record = makeRecord(server.url(QStringLiteral("/ok")));
    fetch(record);
    EXPECT_EQ(record->getStatus(), -10);
}

TEST_F(CrwlUrlFetchTest, RedirectChainIsRecordedHopByHop)
{
    const auto record = makeRecord(server.url(QStringLiteral("/r1")));
    fetch(record);
    EXPECT_EQ(record->getStatus(), 200);
    const QVariantList expected = {
        hop(server.url(QStringLiteral("/r2")), 301, 0),
        hop(server.url(QStringLiteral("/final")), 302, 0),
    };
    EXPECT_EQ(record->redirectArray(), expected);
    EXPECT_EQ(record->getRedir(), server.url(QStringLiteral("/final")));
    ASSERT_EQ(owner->extractedBodies.size(), 1u);
    EXPECT_EQ(owner->extractedBodies.front(), QByteArray("<html><body>final</body></html>"));
}

TEST_F(CrwlUrlFetchTest, ThirteenHopsAreARecurringRedirect)
{
    const auto record = makeRecord(server.url(QStringLiteral("/loop/0")));
    fetch(record);
    EXPECT_EQ(record->getStatus(), -14);
    EXPECT_EQ(record->descriptionForStatusCode(-14), QStringLiteral("Recurring redirect"));
    EXPECT_EQ(record->getRedirectCount(), 13);
    EXPECT_EQ(owner->count(QStringLiteral("incNumberDone")), 1);
}

TEST_F(CrwlUrlFetchTest, ALoopBackToThePageItselfIsARecurringRedirect)
{
    // /ping -> /pong -> /ping ...: the hops back to the record's own URL are not in the chain.
    const auto record = makeRecord(server.url(QStringLiteral("/ping")));
    fetch(record);
    EXPECT_EQ(record->getStatus(), -14);
    EXPECT_EQ(record->descriptionForStatusCode(-14), QStringLiteral("Recurring redirect"));
    EXPECT_TRUE(record->getStatusDescription().startsWith(QStringLiteral("Recurring redirect")));
    EXPECT_EQ(owner->count(QStringLiteral("incNumberDone")), 1);
}

TEST_F(CrwlUrlFetchTest, RedirectToNowhereAndToAMailLink)
{
    RawSocketServer raw([](RawConnection& connection) {
        connection.readRequest();
        connection.send("HTTP/1.1 302 Found\r\nLocation: \r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
        connection.close();
    });
    ASSERT_TRUE(raw.start());
    const auto nowhere = makeRecord(raw.url(QStringLiteral("/go")));
    fetch(nowhere);
    EXPECT_EQ(nowhere->getStatus(), -20);

    const auto mail = makeRecord(server.url(QStringLiteral("/to-mail")));
    fetch(mail, 2);
    EXPECT_EQ(mail->getStatus(), -4);
    EXPECT_EQ(owner->count(QStringLiteral("incNumberDone")), 2);
    EXPECT_EQ(owner->count(QStringLiteral("extractLinks")), 0);
}

TEST_F(CrwlUrlFetchTest, ARedirectToAUrlTheScanNeverRequestsIsNotFollowed)
{
    const auto record = makeRecord(server.url(QStringLiteral("/to-never")));
    fetch(record);
    EXPECT_EQ(neverAsked.load(), 0);
    EXPECT_EQ(record->getStatus(), 302);
    EXPECT_EQ(record->getRedir(), server.url(QStringLiteral("/never/r.html")));
    EXPECT_EQ(owner->count(QStringLiteral("incNumberDone")), 1);
    // Without a body of its own it is still handed on, for its target to be filed.
    EXPECT_EQ(owner->count(QStringLiteral("extractLinks")), 1);
}

namespace {

/// Every page is a meta refresh to a URL the scan never requests.
class MetaRefreshToNever : public FetchPageReader {
public:
    std::optional<QString> pageIsMetaRefresh(const QByteArray&) const override
    {
        return QStringLiteral("0; url=/never/m.html");
    }
    std::optional<LoginFormFields> readLoginForm(const QString&) const override { return std::nullopt; }
};

} // namespace

TEST_F(CrwlUrlFetchTest, ARefreshToAUrlTheScanNeverRequestsEndsAsARedirectThere)
{
    const auto header = makeRecord(server.url(QStringLiteral("/refresh-never")));
    fetch(header);
    EXPECT_EQ(header->finalURLString(), server.url(QStringLiteral("/never/r.html")));
    EXPECT_EQ(header->getStatus(), 200);

    FetchPageReader::install(std::make_shared<MetaRefreshToNever>());
    const auto meta = makeRecord(server.url(QStringLiteral("/meta-never")));
    fetch(meta, 2);
    FetchPageReader::install(nullptr);
    EXPECT_EQ(meta->finalURLString(), server.url(QStringLiteral("/never/m.html")));
    EXPECT_EQ(meta->getStatus(), 200);

    EXPECT_EQ(neverAsked.load(), 0);
    EXPECT_EQ(header->getTryCount() + meta->getTryCount(), 2);
    EXPECT_EQ(owner->count(QStringLiteral("extractLinks")), 2);
}

TEST_F(CrwlUrlFetchTest, InternalLinkRedirectingOffSiteBecomesExternalWithAWarning)
{
    const auto record = makeRecord(server.url(QStringLiteral("/r-off")));
    fetch(record);
    EXPECT_FALSE(record->isInternal());
    ASSERT_EQ(owner->warningRecords.size(), 1u);
    EXPECT_TRUE(owner->warningRecords.front().first.startsWith(
        QStringLiteral("This link url is internal but redirects to the external url http://localhost:")));
}

TEST_F(CrwlUrlFetchTest, RefreshHeaderWithADelayIsFollowedAndWithoutOneRecorded)
{
    const auto later = makeRecord(server.url(QStringLiteral("/refresh-later")));
    // The first fetch frees its slot at once and the record is queued again after the delay;
    // the second finishes it.
    fetch(later, 2);
    EXPECT_EQ(later->getStatus(), 200);
    EXPECT_EQ(later->redirectArray(), (QVariantList { hop(server.url(QStringLiteral("/final")), 200, 2) }));
    EXPECT_EQ(owner->names(),
        (QStringList { QStringLiteral("threadHasFinished"), QStringLiteral("addToCheckQueue"),
            QStringLiteral("incNumberDone"), QStringLiteral("extractLinks"), QStringLiteral("threadHasFinished") }));
    EXPECT_EQ(later->getTryCount(), 2);

    const auto now = makeRecord(server.url(QStringLiteral("/refresh-now")));
    fetch(now, 3);
    EXPECT_EQ(now->getStatus(), 200);
    EXPECT_EQ(now->redirectArray(), (QVariantList { hop(server.url(QStringLiteral("/final")), 200, 2) }));
    EXPECT_EQ(now->getTryCount(), 1);
    // Only the followed one landed elsewhere; the other's body is its own.
    EXPECT_EQ(later->finalURLString(), server.url(QStringLiteral("/final")));
    EXPECT_EQ(now->finalURLString(), now->absoluteString());
    EXPECT_EQ(now->followedRedirectCount(), 0);
}

TEST_F(CrwlUrlFetchTest, RefreshHeaderToThePageItselfIsNotFollowed)
{
    // Named relative and absolute: each page is requested once, keeps its status and is read.
    int finishes = 0;
    for (const char* path : { "/self/1.html", "/self/2.html" }) {
        SCOPED_TRACE(path);
        const auto self = makeRecord(server.url(QString::fromLatin1(path)));
        fetch(self, ++finishes);
        EXPECT_EQ(self->getStatus(), 200);
        EXPECT_EQ(self->getRedirectCount(), 0);
        EXPECT_EQ(self->finalURLString(), self->absoluteString());
    }
    EXPECT_EQ(selfAsked.load(), 2);
    EXPECT_EQ(owner->count(QStringLiteral("extractLinks")), 2);
    EXPECT_EQ(owner->count(QStringLiteral("addToCheckQueue")), 0);
}

TEST_F(CrwlUrlFetchTest, ARefreshToThePageItselfWrittenAnotherWayIsNotFollowed)
{
    // By header: with a fragment, with the scheme in capitals, as "#".
    int finishes = 0;
    for (const char* path : { "/self/3.html", "/self/4.html", "/self/5.html" }) {
        SCOPED_TRACE(path);
        const auto self = makeRecord(server.url(QString::fromLatin1(path)));
        fetch(self, ++finishes);
        EXPECT_EQ(self->getStatus(), 200);
        EXPECT_EQ(self->getRedirectCount(), 0);
        EXPECT_EQ(self->getTryCount(), 1);
    }
    EXPECT_EQ(selfAsked.load(), 3);
    // By meta tag: each page refreshes to itself in another spelling.
    class SelfRefresh : public FetchPageReader {
    public:
        std::optional<QString> pageIsMetaRefresh(const QByteArray&) const override { return content; }
        std::optional<LoginFormFields> readLoginForm(const QString&) const override { return std::nullopt; }
        QString content;
    };
    const auto reader = std::make_shared<SelfRefresh>();
    FetchPageReader::install(reader);
    const QString absolute = server.url(QStringLiteral("/ok?m=3"));
    for (const QString& form : { QStringLiteral("#"), QStringLiteral("ok?m=2#top"), QStringLiteral("HTTP") + absolute.mid(4) }) {
        SCOPED_TRACE(form.toStdString());
        reader->content = QStringLiteral("0; url=") + form;
        const auto self = makeRecord(server.url(QStringLiteral("/ok?m=%1").arg(finishes - 2)));
        fetch(self, ++finishes);
        EXPECT_EQ(self->getStatus(), 200);
        EXPECT_EQ(self->getRedirectCount(), 0);
        EXPECT_EQ(self->getTryCount(), 1);
    }
    FetchPageReader::install(nullptr);
    EXPECT_EQ(owner->count(QStringLiteral("extractLinks")), 6);
}

TEST_F(CrwlUrlFetchTest, ARedirectToABodyNotWantedIsStillHandedOnForItsTarget)
{
    // PDFs are not read: the body is not downloaded, yet the redirect leads to its target.
    const auto get = makeRecord(server.url(QStringLiteral("/getpdf")));
    fetch(get);
    EXPECT_EQ(get->getStatus(), 200);
    EXPECT_TRUE(get->getData().isEmpty());
    EXPECT_EQ(get->finalURLString(), server.url(QStringLiteral("/doc.pdf")));
    EXPECT_EQ(owner->count(QStringLiteral("extractLinks")), 1);
    // A page whose body is not wanted and that does not redirect is not.
    fetch(makeRecord(server.url(QStringLiteral("/doc.pdf"))), 2);
    EXPECT_EQ(owner->count(QStringLiteral("extractLinks")), 1);
}

TEST_F(CrwlUrlFetchTest, BasicAuthenticationWithAndWithoutCredentials)
{
    const auto withCredentials = makeRecord(server.url(QStringLiteral("/protected")),
        { { crawlKey::WebtallyAttemptAuthentication, true },
            { crawlKey::authenticationusername, QStringLiteral("ann") },
            { crawlKey::authenticationpassword, QStringLiteral("s3cret") } });
    fetch(withCredentials);
    EXPECT_EQ(withCredentials->getStatus(), 200);

    const auto without = makeRecord(server.url(QStringLiteral("/protected")));
    fetch(without, 2);
    EXPECT_EQ(without->getStatus(), -18);
    EXPECT_EQ(without->descriptionForStatusCode(-18), QStringLiteral("Unauthorized"));
    EXPECT_EQ(owner->count(QStringLiteral("incNumberDone")), 2);
    EXPECT_EQ(owner->count(QStringLiteral("extractLinks")), 1);
}
