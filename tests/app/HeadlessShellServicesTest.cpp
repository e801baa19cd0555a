#include "app/HeadlessShellServices.h"

#include <QByteArray>

#include <gtest/gtest.h>

#include <cstdio>

using crawlmere::app::HeadlessPrompts;

namespace {

QByteArray readAll(std::FILE* file)
{
    std::fflush(file);
    std::rewind(file);
    QByteArray bytes;
    char buffer[512];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        bytes.append(buffer, static_cast<qsizetype>(n));
    return bytes;
}

} // namespace

TEST(HeadlessPrompts, AnswersTheDefaultButtonAndSaysWhatItAnswered)
{
    std::FILE* err = std::tmpfile();
    ASSERT_NE(err, nullptr);
    HeadlessPrompts prompts(err);
    const ShellAlert question { QStringLiteral("Ambiguous starting url"),
        QStringLiteral("shop could be a directory, or it may be a page\n\nThis has an effect."),
        { QStringLiteral("is a page"), QStringLiteral("is a directory") } };
    EXPECT_EQ(prompts.runModalAlert(question), 0);
    EXPECT_EQ(prompts.runModalAlert({ QStringLiteral("Error opening file"), QString(), { QStringLiteral("OK") } }), 0);
    EXPECT_EQ(prompts.alertCount(), 2);
    prompts.beep();

    EXPECT_EQ(readAll(err),
        QByteArray("crawlmere: Ambiguous starting url: shop could be a directory, or it may be a page This has an "
                   "effect. [answered \"is a page\"]\n"
                   "crawlmere: Error opening file [answered \"OK\"]\n"));
    std::fclose(err);
}

TEST(HeadlessPrompts, AnAlertWithoutButtonsIsStillAnsweredZero)
{
    HeadlessPrompts prompts(nullptr);
    EXPECT_EQ(prompts.runModalAlert({ QStringLiteral("Note"), QStringLiteral("text"), {} }), 0);
    EXPECT_EQ(HeadlessPrompts::lineForAlert({ QStringLiteral("Note"), QStringLiteral(" text\n"), {} }),
        QStringLiteral("Note: text"));
}
