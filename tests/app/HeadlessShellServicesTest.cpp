#include "app/HeadlessShellServices.h"
#include "app/QuietHeadlessRun.h"

#include <QByteArray>

#include <gtest/gtest.h>

using crawlmere::app::HeadlessPrompts;

TEST(HeadlessPrompts, AnswersTheDefaultButtonAndSaysWhatItAnswered)
{
    crawlmere::test::CapturedFile err;
    ASSERT_NE(err.get(), nullptr);
    HeadlessPrompts prompts(err.get());
    const ShellAlert question { QStringLiteral("Ambiguous starting url"),
        QStringLiteral("shop could be a directory, or it may be a page\n\nThis has an effect."),
        { QStringLiteral("is a page"), QStringLiteral("is a directory") } };
    EXPECT_EQ(prompts.runModalAlert(question), 0);
    EXPECT_EQ(prompts.runModalAlert({ QStringLiteral("Error opening file"), QString(), { QStringLiteral("OK") } }), 0);
    EXPECT_EQ(prompts.alertCount(), 2);
    prompts.beep();

    EXPECT_EQ(err.bytes(),
        QByteArray("crawlmere: Ambiguous starting url: shop could be a directory, or it may be a page This has an "
                   "effect. [answered \"is a page\"]\n"
                   "crawlmere: Error opening file [answered \"OK\"]\n"));
}

TEST(HeadlessPrompts, AnAlertWithoutButtonsIsStillAnsweredZero)
{
    HeadlessPrompts prompts(nullptr);
    EXPECT_EQ(prompts.runModalAlert({ QStringLiteral("Note"), QStringLiteral("text"), {} }), 0);
    EXPECT_EQ(HeadlessPrompts::lineForAlert({ QStringLiteral("Note"), QStringLiteral(" text\n"), {} }),
        QStringLiteral("Note: text"));
}
