// A loopback site in windows-1251 and KOI8-R, its charset named by the HTTP header or by a meta
// tag: every page's title and link texts are read in its own encoding.
#include "SiteScanTestSupport.h"

#include "engine/CrwlLinkInstance.h"
#include "platform/TextEncoding.h"

using namespace crawlmere::test;
using crawlmere::platform::TextEncoding;

namespace {

const QString kWord = QStringLiteral("\u0414\u043e\u043a\u0443\u043c\u0435\u043d\u0442\u0430\u0446\u0438\u044f");

struct Row {
    const char* path;
    const char* charset;
    bool inHeader;
};
const Row kRows[] = {
    { "/", "windows-1251", true },
    { "/meta-1251.html", "windows-1251", false },
    { "/koi.html", "KOI8-R", true },
    { "/meta-koi.html", "koi8-r", false },
};

class CharsetScanTest : public SiteScanTest {
protected:
    void SetUp() override
    {
        SiteScanTest::SetUp();
        for (const Row& row : kRows) {
            const auto encoding = TextEncoding::encodingForLabel(QString::fromLatin1(row.charset));
            const QByteArray word = TextEncoding::encode(kWord, encoding).value_or(QByteArray());
            QByteArray body = "<html><head>";
            if (!row.inHeader)
                body += QByteArray("<meta charset=\"") + row.charset + "\">";
            body += "<title>" + word + "</title></head><body>";
            if (std::string_view(row.path) == "/") {
                for (const Row& other : kRows)
                    body += QByteArray("<a href=\"") + other.path + "\">" + word + "</a>";
            }
            body += "</body></html>";
            const std::string type = row.inHeader ? std::string("text/html; charset=") + row.charset : "text/html";
            server.server().Get(
                row.path, [body = body.toStdString(), type](const httplib::Request&, httplib::Response& response) {
                    response.set_content(body, type);
                });
        }
        ASSERT_TRUE(server.start());
    }
};

TEST_F(CharsetScanTest, EachPageIsReadInTheCharsetItsHeaderOrMetaTagNames)
{
    scan();
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.path);
        const auto page = hub->weHaveThisOneAlready(server.url(QString::fromLatin1(row.path)), nullptr, true);
        ASSERT_TRUE(page);
        EXPECT_EQ(page->getLinkpagetitle(), kWord);
        for (const auto& occurrence : page->getInboundInstances())
            EXPECT_EQ(occurrence->linkText(), kWord);
    }
}

} // namespace
