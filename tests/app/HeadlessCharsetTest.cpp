// A headless scan of a loopback site whose pages are written in the charsets the web labels most
// often, each named once by its server's Content-Type header and once by its own meta tag, with
// pages labelled ISO 8859-1 or naming nothing holding windows-1252's bytes 0x80 to 0x9F: the
// CSV holds every title as a browser shows it.
#include "HeadlessScanTestSupport.h"

using namespace crawlmere::test::headless;

namespace {

struct Sample {
    const char* label;
    const char* title; ///< bytes in the charset the label names
    const char* shown; ///< the title as browsers show it (UTF-8)
};

const Sample kSamples[] = {
    { "ISO-8859-15", "Prix 5\xA4 \xA6", "Prix 5\u20AC \u0160" },
    { "iso-8859-9", "\xDDzmir \xFE\x80", "\u0130zmir \u015F\u20AC" },
    { "iso-8859-13", "\xD0iauliai \xEB", "\u0160iauliai \u0117" },
    { "iso-8859-16", "Bra\xBAov \xDE\xE3", "Bra\u0219ov \u021A\u0103" },
    { "windows-1255", "\xF9\xEC\xE5\xED", "\u05E9\u05DC\u05D5\u05DD" },
    { "windows-1256", "\xD3\xE1\xC7\xE3", "\u0633\u0644\u0627\u0645" },
    { "KOI8-U", "\xEB\xC9\xA7\xD7 \xAE", "\u041A\u0438\u0457\u0432 \u045E" },
    { "windows-31j", "\x87\x40\x93\xFA\x96\x7B", "\u2460\u65E5\u672C" },
    { "iso-8859-1", "\x93" "Caf\xE9\x94 \x96 5\x80", "\u201C" "Caf\u00E9\u201D \u2013 5\u20AC" },
};

std::string pagePath(const Sample& sample, bool inHeader)
{
    return std::string(inHeader ? "/header/" : "/meta/") + sample.label + ".html";
}

class HeadlessCharsetTest : public HeadlessScanTest {
protected:
    void serveSite(httplib::Server& site) override
    {
        std::string links = "<a href=\"/undeclared.html\">u</a>";
        for (const Sample& sample : kSamples) {
            for (const bool inHeader : { true, false }) {
                const std::string path = pagePath(sample, inHeader);
                links += "<a href=\"" + path + "\">p</a>";
                const std::string meta = inHeader ? "" : std::string("<meta charset=\"") + sample.label + "\">";
                const std::string body = "<html><head>" + meta + "<title>" + sample.title + "</title></head></html>";
                const std::string type = inHeader ? std::string("text/html; charset=") + sample.label : "text/html";
                site.Get(path, [body, type](const httplib::Request&, httplib::Response& response) {
                    response.set_content(body, type);
                });
            }
        }
        site.Get("/undeclared.html", [](const httplib::Request&, httplib::Response& response) {
            response.set_content("<html><head><title>\x93Prix\x94 5\x80</title></head></html>", "text/html");
        });
        site.Get("/", [links](const httplib::Request&, httplib::Response& response) {
            response.set_content("<html><head><title>Home</title></head><body>" + links + "</body></html>", "text/html");
        });
    }
};

TEST_F(HeadlessCharsetTest, EveryTitleIsInTheCsvAsABrowserShowsIt)
{
    ASSERT_EQ(run({ QStringLiteral("--columns"), QStringLiteral("url,linkpagetitle"), url(QStringLiteral("/")) }),
        kExitFinished)
        << qPrintable(err.text());
    const CsvTable csv = readCsv(csvPath());
    std::map<QString, QString> expected { { url(QStringLiteral("/undeclared.html")), QStringLiteral(u"“Prix” 5€") } };
    for (const Sample& sample : kSamples) {
        for (const bool inHeader : { true, false })
            expected[url(QString::fromStdString(pagePath(sample, inHeader)))] = QString::fromUtf8(sample.shown);
    }
    for (const auto& [address, title] : expected) {
        const auto row = csv.rows.find(address);
        ASSERT_NE(row, csv.rows.end()) << qPrintable(address);
        EXPECT_EQ(row->second.at(QStringLiteral("linkpagetitle")), title) << qPrintable(address);
    }
}

} // namespace
