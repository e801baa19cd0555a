#include "views/LinkInspectorContent.h"

#include "engine/CrwlUrl.h"
#include "support/RecordingPasteboard.h"
#include "views/CrwlLinkInspectorWindowController.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>

#include <gtest/gtest.h>

using crawlmere::views::LinkInspectorContent;

TEST(LinkInspectorContent, RedirectRows)
{
    CrwlUrl direct;
    direct.setLinkURL(QStringLiteral("https://site.test/a"));
    direct.setStatus(200);
    EXPECT_TRUE(LinkInspectorContent::redirectRows(direct).isEmpty());
    EXPECT_EQ(LinkInspectorContent::redirectTableText({}), "");

    CrwlUrl moved;
    moved.setLinkURL(QStringLiteral("https://site.test/old%20page"));
    moved.addRedir(QStringLiteral("https://site.test/step"), 301, 0);
    moved.addRedir(QStringLiteral("https://site.test/f%C3%BCnf"), 302, 1);
    moved.setStatus(200);
    const QList<QStringList> rows = LinkInspectorContent::redirectRows(moved);
    ASSERT_EQ(rows.size(), 3);
    EXPECT_EQ(rows[0], QStringList({ moved.getAbsoluteStringDecoded(), moved.descriptionForStatusCode(301), "http" }));
    EXPECT_EQ(rows[1], QStringList({ "https://site.test/step", moved.descriptionForStatusCode(302), "html meta refresh" }));
    EXPECT_EQ(rows[2], QStringList({ QString::fromUtf8("https://site.test/f\xc3\xbcnf"), moved.descriptionForStatusCode(200), "" }));
    EXPECT_TRUE(rows[0][1].startsWith("301"));
    EXPECT_EQ(LinkInspectorContent::redirectTableText(rows).count('\t'), 6);
    EXPECT_EQ(LinkInspectorContent::redirectTableText(rows).count('\n'), 2);

    EXPECT_EQ(LinkInspectorContent::reasonText(2), "response header field");
    EXPECT_EQ(LinkInspectorContent::reasonText(7), "");
}

TEST(LinkInspectorWindow, RedirectButtonTableAndCopy)
{
    crawlmere::views::RecordingPasteboard board;
    auto direct = std::make_shared<CrwlUrl>();
    direct->setLinkURL(QStringLiteral("https://site.test/a"));
    direct->setStatus(200);
    crawlmere::views::CrwlLinkInspectorWindowController unloaded(&board);
    EXPECT_TRUE(unloaded.findChildren<QWidget*>().isEmpty()); // no widgets before the window loads

    crawlmere::views::CrwlLinkInspectorWindowController window(&board);
    window.setLcurl(direct);
    window.windowDidLoad();
    EXPECT_EQ(window.redirectButton()->text(), "0");
    EXPECT_FALSE(window.redirectButton()->isEnabled());
    EXPECT_EQ(window.redirectTable()->rowCount(), 0);
    EXPECT_FALSE(window.copyRedirTableToClipboard());
    EXPECT_TRUE(board.strings.isEmpty());

    auto moved = std::make_shared<CrwlUrl>();
    moved->setLinkURL(QStringLiteral("https://site.test/old"));
    moved->addRedir(QStringLiteral("https://site.test/step"), 301, 0);
    moved->addRedir(QStringLiteral("https://site.test/new"), 308, 2);
    moved->setStatus(200);
    window.setLcurl(moved);
    window.windowDidLoad();
    EXPECT_EQ(window.redirectButton()->text(), "2");
    EXPECT_TRUE(window.redirectButton()->isEnabled());
    ASSERT_EQ(window.redirectTable()->rowCount(), 3);
    EXPECT_EQ(window.redirectTable()->item(2, 0)->text(), "https://site.test/new");
    EXPECT_EQ(window.findChild<QLineEdit*>(QStringLiteral("inspectorLinkURL"))->text(), "https://site.test/old");
    EXPECT_TRUE(window.copyRedirTableToClipboard());
    EXPECT_EQ(board.string(),
        LinkInspectorContent::redirectTableText(LinkInspectorContent::redirectRows(*moved)));
}
