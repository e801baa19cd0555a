// What the headless scan suites share: standard output and error captured to files, the CSV read
// back, and the fixture: a scripted loopback site, a private home and the program run in process.
#pragma once

#include "app/HeadlessScan.h"
#include "app/QuietHeadlessRun.h"

#include "engine/CrwlUrl.h"
#include "engine/EngineDefaults.h"
#include "platform/PropertyList.h"
#include "platform/LanguageNames.h"
#include "platform/UserDefaults.h"
#include "settings/ConfigManager.h"
#include "settings/SpellingLanguages.h"
#include "support/LoopbackServer.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <map>
#include <atomic>
#include <thread>

namespace crawlmere::test::headless {

using namespace crawlmere::app;
using crawlmere::test::LoopbackServer;


/// One CSV line of quoted fields ("" inside a field is one quote).
inline QStringList csvFields(const QString& line)
{
    QStringList fields;
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (quoted) {
            if (c == u'"' && i + 1 < line.size() && line.at(i + 1) == u'"') {
                field += u'"';
                ++i;
            } else if (c == u'"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == u'"') {
            quoted = true;
        } else if (c == u',') {
            fields.append(field);
            field.clear();
        } else {
            field += c;
        }
    }
    fields.append(field);
    return fields;
}

struct CsvTable {
    QStringList header;
    /// URL (first column) → the row's fields by column key.
    std::map<QString, std::map<QString, QString>> rows;
    int rowCount = 0;
};

inline CsvTable readCsv(const QString& path)
{
    CsvTable table;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return table;
    const QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
    if (lines.isEmpty())
        return table;
    table.header = csvFields(lines.first());
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QStringList fields = csvFields(lines.at(i));
        std::map<QString, QString> row;
        for (qsizetype c = 0; c < table.header.size() && c < fields.size(); ++c)
            row[table.header.at(c)] = fields.at(c);
        table.rows[fields.value(0)] = row;
        ++table.rowCount;
    }
    return table;
}

/// The value after "Key: " in the summary; empty when the line is missing.
inline QString summaryValue(const QString& summary, const QString& key)
{
    for (const QString& line : summary.split(u'\n')) {
        if (line.startsWith(key + QStringLiteral(": ")))
            return line.mid(key.size() + 2);
    }
    return QString();
}

inline QString page(const QString& title, const QString& body, const QString& head = QString())
{
    return QStringLiteral("<!DOCTYPE html><html><head><title>%1</title>%3</head><body>\n%2\n</body></html>")
        .arg(title, body, head);
}

inline void serveHtml(httplib::Server& server, const std::string& path, const QString& html)
{
    const std::string body = html.toStdString();
    server.Get(path, [body](const httplib::Request&, httplib::Response& response) {
        response.set_content(body, "text/html; charset=utf-8");
    });
}

inline void redirect(httplib::Server& server, const std::string& from, const std::string& to, int status)
{
    server.Get(from, [to, status](const httplib::Request&, httplib::Response& response) {
        response.status = status;
        response.set_header("Location", to);
    });
}

/// The scripted site: redirects, a 404, a redirect loop, robots.txt, nofollow, a base href,
/// "../" links, fragments, queries, mail and telephone links, an image without src, a
/// windows-1252 page and a page slower than the scan's time-out.
inline void buildSite(httplib::Server& server)
{
    server.Get("/robots.txt", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("User-agent: *\nDisallow: /private/\n", "text/plain");
    });
    serveHtml(server, "/", page(QStringLiteral("Home"), QStringLiteral(R"(<a href="/a.html">A</a>
<a href="b.html#part">B at a fragment</a>
<a href="/a.html#again">A again</a>
<a href="#top">top of this page</a>
<a href="/dir/c.html">C</a>
<a href="/moved">moved</a>
<a href="/missing.html">missing</a>
<a href="/loop1">loop</a>
<a href="/q.html?x=1">query one</a> <a href="/q.html?x=2">query two</a>
<a href="mailto:shop@example.invalid">mail</a> <a href="tel:+441234567">telephone</a>
<img alt="an image without a source">
<img src="/logo.png" alt="logo">
<a href="/private/secret.html">private</a>
<a href="/nf.html" rel="nofollow">nofollow</a>
<a href="/base/page.html">base</a>
<a href="/latin.html">latin</a>
<a href="/slow.html">slow</a>)")));
    serveHtml(server, "/a.html",
        page(QStringLiteral("Page A"), QStringLiteral(R"(<a href="/">home</a> <a href="b.html">B</a>)")));
    serveHtml(server, "/b.html", page(QStringLiteral("Page B"), QStringLiteral(R"(<p id="part">part</p>)")));
    serveHtml(server, "/dir/c.html",
        page(QStringLiteral("Page C"),
            QStringLiteral(R"(<a href="../a.html">up to A</a> <a href="../dir/d.html">D</a>)")));
    serveHtml(server, "/dir/d.html", page(QStringLiteral("Page D"), QString()));
    redirect(server, "/moved", "/target.html", 301);
    serveHtml(server, "/target.html", page(QStringLiteral("Target"), QString()));
    redirect(server, "/loop1", "/loop2", 302);
    redirect(server, "/loop2", "/loop1", 302);
    server.Get("/q.html", [](const httplib::Request& request, httplib::Response& response) {
        response.set_content(
            page(QStringLiteral("Query %1").arg(QString::fromStdString(request.get_param_value("x"))), QString())
                .toStdString(),
            "text/html");
    });
    server.Get("/logo.png", [](const httplib::Request&, httplib::Response& response) {
        response.set_content(std::string("\x89PNG\r\n\x1a\n", 8), "image/png");
    });
    serveHtml(server, "/private/secret.html", page(QStringLiteral("Secret"), QString()));
    serveHtml(
        server, "/nf.html", page(QStringLiteral("Nofollow"), QStringLiteral(R"(<a href="/nf-child.html">child</a>)")));
    serveHtml(server, "/nf-child.html", page(QStringLiteral("Nofollow child"), QString()));
    serveHtml(server, "/base/page.html",
        page(QStringLiteral("Base"), QStringLiteral(R"(<a href="x.html">x</a>)"),
            QStringLiteral(R"(<base href="/other/">)")));
    serveHtml(server, "/other/x.html", page(QStringLiteral("Other X"), QString()));
    server.Get("/latin.html", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("<html><head><meta charset=\"windows-1252\"><title>Caf\xe9 \x93menu\x94</title></head>"
                             "<body>cr\xe8me</body></html>",
            "text/html");
    });
    server.Get("/slow.html", [](const httplib::Request&, httplib::Response& response) {
        std::this_thread::sleep_for(std::chrono::milliseconds(4500));
        response.set_content(page(QStringLiteral("Slow"), QString()).toStdString(), "text/html");
    });
}

/// Starts `server` and waits until its thread listens: a server stopped before that would
/// never see the stop, and joining its thread would hang.
inline bool startListening(LoopbackServer& server)
{
    if (!server.start())
        return false;
    for (int i = 0; i < 5000 && !server.server().is_running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return server.server().is_running();
}

class HeadlessScanTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        crawlmere::engine::registerEngineDefaults(crawlmere::platform::UserDefaults::standard());
        // Each keep-alive connection holds a server thread: room for every fetch in flight.
        server.server().new_task_queue = [] { return new httplib::ThreadPool(40); };
        server.server().set_keep_alive_timeout(1);
        serveSite(server.server());
        ASSERT_TRUE(startListening(server));
    }

    /// The site the scans read: the scripted one, unless a suite serves its own.
    virtual void serveSite(httplib::Server& site) { buildSite(site); }

    /// Runs the program on `arguments` (the CSV option added) and keeps its output.
    int run(QStringList arguments, bool withCsv = true)
    {
        if (withCsv)
            arguments << QStringLiteral("--csv") << csvPath();
        HeadlessConsole console;
        console.out = out.get();
        console.err = err.get();
        console.errIsTerminal = false;
        return runHeadlessCommand(arguments, console, /*displayAvailable=*/false);
    }
    QString csvPath() const { return folder.filePath(QStringLiteral("scan.csv")); }
    QString url(const QString& path) const { return server.url(path); }

    QTemporaryDir folder;
    LoopbackServer server;
    CapturedFile out;
    CapturedFile err;
};

} // namespace crawlmere::test::headless
