// The spelling review window offscreen: open at once and busy, filled when the page arrives.
#include "views/SpellingDialogueWindow.h"

#include "platform/Dispatch.h"
#include "platform/FakeSpellChecker.h"
#include "support/LoopbackServer.h"
#include "support/RecordingShellServices.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QThreadPool>

#include <gtest/gtest.h>

#include <thread>

namespace {

TEST(SpellingDialogueWindowTest, OpensBusyThenShowsTheFirstWordSelected)
{
    crawlmere::test::LoopbackServer server;
    server.server().Get("/p", [](const httplib::Request&, httplib::Response& res) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        res.set_content("<html><body><p>good teh words wrold</p></body></html>", "text/html");
    });
    server.server().set_keep_alive_max_count(1); // no idle connection holds up the server's stop
    ASSERT_TRUE(server.start());
    crawlmere::test::FakeSpellChecker checker;
    checker.misspelled = { QStringLiteral("teh"), QStringLiteral("wrold") };
    RecordingPrompts prompts;
    int finished = 0;
    crawlmere::views::SpellingDialogueWindow window({ &checker, &prompts, nullptr, {}, [&] { ++finished; }, {}, {} });
    window.dialogue().showForPage(server.url(QStringLiteral("/p")), {});
    auto* learn = window.findChild<QPushButton*>(QStringLiteral("learnButton"));
    auto* extract = window.findChild<QLineEdit*>(QStringLiteral("extractField"));
    auto* info = window.findChild<QLabel*>(QStringLiteral("infoField"));
    ASSERT_TRUE(learn && extract && info);
    EXPECT_TRUE(window.isVisible());
    EXPECT_FALSE(learn->isEnabled());
    ASSERT_TRUE(crawlmere::platform::Dispatch::runUntil([&] { return learn->isEnabled(); }, std::chrono::seconds(10)));
    EXPECT_EQ(info->text(), QStringLiteral("1 of 2"));
    EXPECT_EQ(extract->selectedText(), QStringLiteral("teh"));
    window.close();
    EXPECT_EQ(finished, 1);
    QThreadPool::globalInstance()->waitForDone(); // the guesses use the checker
}

} // namespace
