// Name lookups ahead of transfers: the host a lookup is for, the machine resolver's test seam,
// and transfers that connect to an answer kept in the address book instead of looking up.
#include "platform/NameResolver.h"
#include "platform/UrlSession.h"
#include "support/LoopbackServer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>

using namespace crawlmere::platform;
using crawlmere::test::LoopbackServer;
using namespace std::chrono_literals;

namespace {

TEST(NameResolverTest, LookupHostIsTheLowerCaseAsciiNameAndNothingForAddresses)
{
    struct Case {
        const char* url;
        const char* host;
    };
    const Case cases[] = {
        { "http://Example.COM:8080/x?y", "example.com" },
        { "https://www.example.org/", "www.example.org" },
        { "http://b\xc3\xbc"
          "cher.example/",
            "xn--bcher-kva.example" },
        { "http://127.0.0.1:8080/", "" },
        { "http://[::1]:8080/", "" },
        { "http://[2001:db8::7]/", "" },
        { "file:///tmp/page.html", "" },
        { "", "" },
    };
    for (const Case& c : cases)
        EXPECT_EQ(HostAddressBook::lookupHost(QString::fromUtf8(c.url)), QString::fromUtf8(c.host)) << c.url;
}

TEST(NameResolverTest, AddressBookKeepsReplacesAndForgets)
{
    HostAddressBook::clear();
    EXPECT_FALSE(HostAddressBook::find(QStringLiteral("kept.test")));
    HostAddressBook::remember(QStringLiteral("kept.test"), { QStringLiteral("192.0.2.1") });
    HostAddressBook::remember(
        QStringLiteral("kept.test"), { QStringLiteral("192.0.2.2"), QStringLiteral("2001:db8::2") });
    EXPECT_EQ(HostAddressBook::find(QStringLiteral("kept.test")),
        (QStringList { QStringLiteral("192.0.2.2"), QStringLiteral("2001:db8::2") }));
    HostAddressBook::remember(QStringLiteral("kept.test"), {});
    EXPECT_FALSE(HostAddressBook::find(QStringLiteral("kept.test")));
    HostAddressBook::remember(QStringLiteral("other.test"), { QStringLiteral("192.0.2.3") });
    HostAddressBook::clear();
    EXPECT_FALSE(HostAddressBook::find(QStringLiteral("other.test")));
}

TEST(NameResolverTest, MachineResolverHonoursTheLookupFailureSeam)
{
    std::atomic<int> asked { 0 };
    UrlSession::setNameLookupFailure([&](const QString& host) {
        ++asked;
        return host.endsWith(QLatin1String(".invalid"));
    });
    std::promise<NameLookupResult> answer;
    NameResolver::system()->lookUp(
        QStringLiteral("nowhere.invalid"), [&answer](NameLookupResult result) { answer.set_value(std::move(result)); });
    auto future = answer.get_future();
    ASSERT_EQ(future.wait_for(5s), std::future_status::ready);
    const NameLookupResult result = future.get();
    UrlSession::setNameLookupFailure({});
    ASSERT_TRUE(result.error);
    EXPECT_EQ(result.error->code, UrlErrorCode::CannotFindHost);
    EXPECT_TRUE(result.addresses.isEmpty());
    EXPECT_EQ(asked.load(), 1);
}

TEST(NameResolverTest, TransferConnectsToTheAddressesKeptForItsHost)
{
    LoopbackServer server;
    server.server().Get("/", [](const httplib::Request& request, httplib::Response& response) {
        response.set_content("host " + request.get_header_value("Host"), "text/plain");
    });
    ASSERT_TRUE(server.start());
    // Any lookup of its own fails: only the kept answer can reach the server.
    UrlSession::setNameLookupFailure([](const QString& host) { return host != QLatin1String("127.0.0.1"); });
    const QString url = QStringLiteral("http://Pinned.invalid:%1/").arg(server.port());
    const UrlLoadResult before = UrlSession::loadSynchronously(UrlRequest(url), 10s);
    ASSERT_TRUE(before.error);
    EXPECT_EQ(before.error->code, UrlErrorCode::CannotFindHost);

    // An IPv6 address first (refused or unreachable here), then the one that answers.
    HostAddressBook::remember(
        QStringLiteral("pinned2.invalid"), { QStringLiteral("::1"), QStringLiteral("127.0.0.1") });
    const UrlLoadResult pinned = UrlSession::loadSynchronously(
        UrlRequest(QStringLiteral("http://pinned2.invalid:%1/").arg(server.port())), 10s);
    UrlSession::setNameLookupFailure({});
    HostAddressBook::clear();
    ASSERT_FALSE(pinned.error) << pinned.error->localizedDescription.toStdString();
    EXPECT_EQ(pinned.statusCode(), 200);
    // The request still names its host.
    EXPECT_EQ(pinned.body, QByteArray("host pinned2.invalid:") + QByteArray::number(server.port()));
}

} // namespace
