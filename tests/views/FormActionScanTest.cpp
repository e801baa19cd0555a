// A loopback page whose forms send to addresses that an ordinary link also names: whichever comes
// first in the page, the linked address is checked and an address known only as a form's action
// is never requested.
#include "SiteScanTestSupport.h"

#include "engine/CrwlStatusCodes.h"

#include <atomic>
#include <map>
#include <mutex>

using namespace crawlmere::test;

namespace {

class FormActionScanTest : public SiteScanTest {
protected:
    void SetUp() override
    {
        SiteScanTest::SetUp();
        server.server().Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
            {
                std::lock_guard lock(mutex);
                ++requests[request.path];
            }
            if (request.path != "/") {
                response.status = 404;
                return;
            }
            const std::string forms = R"(<form action="/find" method="get"><input name="q"></form>
<form action="/post-only" method="post"><input name="p"></form>)";
            const std::string link = R"(<a href="/find">search</a>)";
            response.set_content(
                "<html><body>" + (linkFirst ? link + forms : forms + link) + "</body></html>", "text/html");
        });
        ASSERT_TRUE(server.start());
    }

    std::shared_ptr<CrwlUrl> record(const char* path) const
    {
        return hub->weHaveThisOneAlready(server.url(QString::fromLatin1(path)), nullptr, true);
    }

    std::atomic<bool> linkFirst { false };
    std::mutex mutex;
    std::map<std::string, int> requests;
};

TEST_F(FormActionScanTest, ALinkedActionIsCheckedInBothOrdersAndAnActionAloneIsNeverRequested)
{
    for (const bool first : { false, true }) {
        SCOPED_TRACE(first ? "link before the forms" : "forms before the link");
        linkFirst = first;
        {
            std::lock_guard lock(mutex);
            requests.clear();
        }
        scan();
        const auto find = record("/find");
        const auto postOnly = record("/post-only");
        ASSERT_TRUE(find && postOnly);
        EXPECT_EQ(find->getStatus(), 404);
        EXPECT_EQ(postOnly->getStatus(), CrwlStatus::notChecked);
        EXPECT_EQ(hub->badLinkCount(), 1);
        EXPECT_EQ(hub->checkedLinkCount(), 2); // the action alone is not checked, nor counted
        std::lock_guard lock(mutex);
        EXPECT_EQ(requests["/find"], 1);
        EXPECT_EQ(requests["/post-only"], 0);
    }
}

} // namespace
