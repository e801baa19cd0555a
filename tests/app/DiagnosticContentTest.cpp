#include "app/DiagnosticContent.h"

#include <gtest/gtest.h>

using crawlmere::app::DiagnosticContent;

// Before any scan, and after a clear, the window says why it is empty and how to fill it; the
// first thing a scan's starting request gives takes the notice away.
TEST(DiagnosticContent, AnEmptyWindowSaysThatAScanFillsIt)
{
    DiagnosticContent content;
    EXPECT_TRUE(content.shown().notice.contains(QLatin1String("Press Go")));
    const struct {
        const char* what;
        void (*fill)(DiagnosticContent&);
    } fills[] = {
        { "trace", [](DiagnosticContent& c) { c.addToTrace(QStringLiteral("request sent")); } },
        { "request", [](DiagnosticContent& c) { c.setRequest(QStringLiteral("GET / HTTP/1.1")); } },
        { "response", [](DiagnosticContent& c) { c.addToResponse(QStringLiteral("HTTP/1.1 200 OK")); } },
        { "source", [](DiagnosticContent& c) { c.setHTMLString(QStringLiteral("")); } },
    };
    for (const auto& fill : fills) {
        fill.fill(content);
        EXPECT_TRUE(content.shown().notice.isEmpty()) << fill.what;
        content.clear();
        EXPECT_FALSE(content.shown().notice.isEmpty()) << fill.what << " cleared";
    }
}
