#include "support/LoopbackSite.h"

#include "support/Fixtures.h"
#include "support/TsvTable.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

namespace crawlmere::test {

namespace {

struct Route {
    int status = 200;
    std::string body;
    std::string contentType;
    std::string location;
    std::chrono::milliseconds wait { 0 };
};

void answer(const Route& route, const httplib::Request& request, httplib::Response& response)
{
    if (route.wait.count() > 0)
        std::this_thread::sleep_for(route.wait);
    response.status = route.status;
    if (!route.location.empty())
        response.set_header("Location", route.location);
    if (route.body.empty() && route.contentType.empty())
        return;
    std::string body = route.body;
    if (const size_t at = body.find("{x}"); at != std::string::npos)
        body.replace(at, 3, request.get_param_value("x"));
    response.set_content(body, route.contentType);
}

} // namespace

void serveLoopbackSite(httplib::Server& server, const QString& siteFolder)
{
    const QString folder = siteFolder + QLatin1Char('/');
    for (const TsvRow& row : readTsvTable(folder + QStringLiteral("routes.tsv"))) {
        ASSERT_EQ(row.cells.size(), 6) << "routes.tsv line " << row.line;
        Route route;
        route.status = row.cell(1).toInt();
        if (!row.cell(2).isEmpty())
            route.body = readFixture(folder + QStringLiteral("site/") + row.cell(2)).toStdString();
        route.contentType = row.cell(3).toStdString();
        route.location = row.cell(4).toStdString();
        route.wait = std::chrono::milliseconds(row.cell(5).toInt());
        server.Get(row.cell(0).toStdString(), [route](const httplib::Request& request, httplib::Response& response) {
            answer(route, request, response);
        });
    }
}

} // namespace crawlmere::test
