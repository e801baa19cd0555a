// Addresses of one page compared as URLs: fragment, scheme and host case, default port, empty path.
#include "engine/detail/SamePage.h"

#include <gtest/gtest.h>

using crawlmere::engine::detail::namesSamePage;
using crawlmere::platform::Url;

TEST(SamePage, SpellingsOfOnePageAreOneAndOtherPagesAreNot)
{
    const struct {
        const char* target;
        const char* page;
        bool same;
    } rows[] = {
        { "http://h.test/a.html#x", "http://h.test/a.html", true },
        { "http://h.test/a.html#", "http://h.test/a.html", true },
        { "HTTP://H.Test/a.html", "http://h.test/a.html", true },
        { "http://h.test:80/a.html", "http://h.test/a.html", true },
        { "https://h.test:443/", "https://h.test", true },
        { "http://h.test:8080/a.html", "http://h.test/a.html", false },
        { "https://h.test/a.html", "http://h.test/a.html", false },
        { "http://h.test/A.html", "http://h.test/a.html", false },
        { "http://h.test/a.html?q=1", "http://h.test/a.html", false },
        { "http://h.test/a.html?", "http://h.test/a.html", false },
    };
    for (const auto& row : rows) {
        const auto target = Url::fromString(QString::fromLatin1(row.target));
        ASSERT_TRUE(target) << row.target;
        EXPECT_EQ(namesSamePage(*target, { QStringLiteral("other"), QString::fromLatin1(row.page) }), row.same)
            << row.target << " / " << row.page;
    }
}
