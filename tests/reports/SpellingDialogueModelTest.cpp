// The spelling review over pages from a loopback server and a checker that honours learned words.
#include "reports/SpellingDialogueModel.h"

#include "engine/RecordingShellServices.h"
#include "platform/Dispatch.h"
#include "platform/FakeSpellChecker.h"
#include "support/LoopbackServer.h"
#include "support/MainQueue.h"

#include <QThreadPool>

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

using crawlmere::reports::SpellingDialogueModel;
using namespace std::chrono_literals;

namespace {

/// The fake's words, less those learned; guesses come slowly, each naming its word.
class LearningChecker final : public crawlmere::platform::SpellChecker {
public:
    using SpellRange = crawlmere::platform::SpellRange;
    crawlmere::test::FakeSpellChecker words;

    /// The guesses for `word` wait until `release` (set before the walk that reaches it).
    void hold(const QString& word)
    {
        const std::lock_guard lock(m_gate);
        m_heldWord = word;
    }
    void release()
    {
        {
            const std::lock_guard lock(m_gate);
            m_heldWord.clear();
        }
        m_opened.notify_all();
    }

    SpellRange checkSpelling(const QString& text, qsizetype from, const QString& lang, bool wrap, qint64* count) override
    {
        SpellRange r = words.checkSpelling(text, from, lang, wrap, count);
        while (r.found() && words.learned.contains(text.mid(r.location, r.length)))
            r = words.checkSpelling(text, r.end(), lang, wrap, count);
        return r;
    }
    SpellRange checkGrammar(const QString&, qsizetype, const QString&, bool, QList<crawlmere::platform::GrammarDetail>*) override { return {}; }
    QStringList guessesForWordRange(SpellRange range, const QString& text, const QString&) override
    {
        const QString word = text.mid(range.location, range.length);
        std::unique_lock lock(m_gate);
        m_opened.wait(lock, [&] { return word != m_heldWord; });
        return { QStringLiteral("G:") + text.mid(range.location, range.length) };
    }
    void learnWord(const QString& word) override { words.learnWord(word); }
    void unlearnWord(const QString& word) override { words.unlearnWord(word); }
    bool hasLearnedWord(const QString& word) override { return words.hasLearnedWord(word); }
    QString language() override { return QStringLiteral("xx"); }
    bool setLanguage(const QString&) override { return true; }
    QStringList availableLanguages() override { return {}; }

private:
    std::mutex m_gate;
    std::condition_variable m_opened;
    QString m_heldWord;
};

class SpellingDialogueModelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        checker.words.misspelled = { "teh", "Teh", "wrold", "qux", "foo" };
        server.server().Get(R"(/(\w+))", [this](const httplib::Request& req, httplib::Response& res) {
            res.set_content("<html><body><p>" + pages.at(req.matches[1].str()) + "</p></body></html>", "text/html");
        });
        server.server().set_keep_alive_max_count(1); // no idle connection holds up the server's stop
    ASSERT_TRUE(server.start());
    }
    // Guesses still being made use the checker: they end before it goes.
    void TearDown() override
    {
        checker.release();
        QThreadPool::globalInstance()->waitForDone();
    }
    void open(const std::string& page, const QString& word = {})
    {
        model.showForPage(server.url(QStringLiteral("/%1").arg(QString::fromStdString(page))), word);
        EXPECT_TRUE(model.busy());
        ASSERT_TRUE(crawlmere::platform::Dispatch::runUntil([&] { return !model.busy() && (!model.suggestions().isEmpty() || model.extractText().isEmpty()); }, 10s));
    }
    QString state() const { return model.infoText() + u'|' + model.currentWord(); }

    std::map<std::string, std::string> pages {
        { "three", "one teh two wrold three qux four" },
        { "word", "teh alpha Teh foo teh wrold qux" },
        { "one", "just teh here" },
    };
    LearningChecker checker;
    RecordingPrompts prompts;
    QList<QString> learned;
    crawlmere::test::LoopbackServer server;
    SpellingDialogueModel model { { &checker, &prompts, nullptr, [this](const std::optional<QString>& w) { learned << w.value_or("-"); }, {}, {}, {} } };
};

TEST_F(SpellingDialogueModelTest, StepsForwardAndBackWithBeepsAtBothEnds)
{
    open("three");
    EXPECT_EQ(state(), "1 of 3|teh");
    EXPECT_EQ(model.suggestions(), QStringList { "G:teh" });
    model.previous();
    EXPECT_EQ(prompts.beeps, 1);
    model.next();
    model.next();
    EXPECT_EQ(state(), "3 of 3|qux");
    model.next();
    EXPECT_EQ(prompts.beeps, 2);
    model.previous();
    EXPECT_EQ(state(), "2 of 3|wrold");
    model.next();
    EXPECT_EQ(state(), "3 of 3|qux");
}

TEST_F(SpellingDialogueModelTest, ReviewsOneWordWithoutRegardToCase)
{
    open("word", QStringLiteral("teh"));
    EXPECT_EQ(state(), "1 of 3|teh");
    model.next();
    EXPECT_EQ(state(), "2 of 3|Teh");
    model.next();
    model.next();
    EXPECT_EQ(state(), "3 of 3|teh");
    EXPECT_EQ(prompts.beeps, 1);
    model.switchMode(); // the page's first misspelled word again
    EXPECT_EQ(state(), "1 of 3|teh");
}

TEST_F(SpellingDialogueModelTest, LearningReplaysToTheSamePosition)
{
    open("three");
    model.next();
    model.next();
    model.learnSpelling(); // the last: one beep, then the word before it
    EXPECT_EQ(state(), "2 of 2|wrold");
    EXPECT_EQ(prompts.beeps, 1);
    checker.words.learned.clear();
    open("three");
    model.next();
    model.learnSpelling(); // "wrold": the word after it moves up
    EXPECT_EQ(state(), "2 of 2|qux");
    open("one");
    model.learnSpelling();
    EXPECT_EQ(model.infoText(), "No spellling errors found on this page");
    EXPECT_TRUE(model.extractText().isEmpty());
    EXPECT_TRUE(model.suggestions().isEmpty());
    EXPECT_EQ(learned, (QList<QString> { "qux", "wrold", "teh" }));
}

TEST_F(SpellingDialogueModelTest, ExcerptShowsTheWordSelectedAndALastWordWhole)
{
    pages["long"] = std::string(19, 'x') + " teh \nnear " + std::string(1000, 'y');
    open("long");
    const QString text = model.textContent();
    const qsizetype at = text.indexOf("teh");
    EXPECT_EQ(model.extractSelection().location, at + 3);
    EXPECT_EQ(model.extractText().mid(model.extractSelection().location, 3), "teh");
    EXPECT_FALSE(model.extractText().contains(u'\n')); // line breaks show as spaces
    EXPECT_EQ(model.extractText().size(), 3 + 3 + 250 + 3);
    pages["tail"] = "one two qux";
    open("tail");
    const auto sel = model.extractSelection();
    EXPECT_LE(sel.end(), model.extractText().size());
    EXPECT_EQ(model.extractText().mid(sel.location, sel.length), "qux");
}

TEST_F(SpellingDialogueModelTest, UnfetchablePageAndLateGuessesAreHandled)
{
    model.showForPage(QStringLiteral("http://127.0.0.1:1/none"), {});
    ASSERT_TRUE(crawlmere::platform::Dispatch::runUntil([&] { return !model.busy(); }, 20s));
    EXPECT_EQ(model.infoText(), "No spellling errors found on this page");
    EXPECT_TRUE(model.extractText().isEmpty());
    model.next();
    EXPECT_EQ(prompts.beeps, 1);
    open("three");
    checker.hold("wrold");
    model.next();
    model.next(); // the guesses for "wrold" arrive after the step was left
    ASSERT_TRUE(
        crawlmere::platform::Dispatch::runUntil([&] { return model.suggestions() == QStringList { "G:qux" }; }, 10s));
    checker.release();
    QThreadPool::globalInstance()->waitForDone(); // the late answer is on the main queue
    ASSERT_TRUE(crawlmere::test::runQueuedWork());
    EXPECT_EQ(model.suggestions(), QStringList { "G:qux" });
}

} // namespace
