#include "app/Manual.h"
#include "app/HelpPopover.h"
#include "app/HelpPresenter.h"
#include "app/MainInterface.h"
#include "app/MainWindow.h"
#include "app/ManualTopics.h"
#include "app/PopoverHelpPresenter.h"
#include "engine/CrawlSettingKeys.h"
#include "platform/UrlOpener.h"
#include "platform/UserDefaults.h"
#include "support/TsvTable.h"

#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QToolButton>
#include <QTranslator>
#include <QUrlQuery>

#include <gtest/gtest.h>

using crawlmere::platform::RecordingUrlOpener;
using crawlmere::platform::UserDefaults;
namespace app = crawlmere::app;

namespace {

/// Translates every help text by putting a mark in front, so a test can tell looked-up texts.
class MarkingTranslator final : public QTranslator {
public:
    QString translate(const char* context, const char* source, const char*, int) const override
    {
        if (qstrcmp(context, "Manual") != 0 || !source || !*source || QByteArray(source).startsWith("http"))
            return {};
        return QStringLiteral("[l10n] ") + QString::fromUtf8(source);
    }
    bool isEmpty() const override { return false; }
};

class ManualTest : public ::testing::Test {
protected:
    QTemporaryDir folder;
    UserDefaults defaults { folder.filePath(QStringLiteral("defaults.plist")) };
    RecordingUrlOpener opener;
    app::RecordingHelpPresenter presenter;
    app::Manual manual { defaults, opener, presenter };
};

} // namespace

TEST_F(ManualTest, EveryTopicActionShowsItsTitleAndTextAsListed)
{
    MarkingTranslator translator;
    QCoreApplication::installTranslator(&translator);
    const auto rows = crawlmere::test::readTsvTable(QStringLiteral("app/help-topics.tsv"));
    ASSERT_EQ(rows.size(), 64u);
    ASSERT_EQ(app::manualTopics().size(), 64u);
    const QString shownBefore = QStringLiteral("Threads / timeout / delay");
    for (size_t i = 0; i < rows.size(); ++i) {
        const auto& row = rows[i];
        const QString action = row.cell(0);
        SCOPED_TRACE(qPrintable(action));
        EXPECT_EQ(QLatin1String(app::manualTopics()[i].action), action) << "order";
        ASSERT_TRUE(manual.topic(u"threads:", nullptr));
        presenter.displays.clear();
        ASSERT_TRUE(manual.topic(action, nullptr));
        if (row.cell(1) != u"text") {
            EXPECT_TRUE(presenter.displays.isEmpty());
            EXPECT_EQ(manual.context(), shownBefore);
            continue;
        }
        EXPECT_EQ(manual.context(), row.cell(2));
        ASSERT_EQ(presenter.displays.size(), 1);
        const app::HelpDisplay& shown = presenter.displays.first();
        const bool localised = shown.text.startsWith(u"[l10n] ");
        EXPECT_EQ(localised, row.cell(3) == u"yes");
        const QString english = localised ? shown.text.mid(7) : shown.text;
        EXPECT_GE(english.size(), 40);
        if (!row.cell(4).isEmpty()) {
            EXPECT_EQ(english, row.cell(4));
        }
        EXPECT_EQ(shown.contentSize, QSize(438, int(shown.text.size() / 55) * 17 + 67));
        EXPECT_FALSE(shown.moreHelpAvailable);
    }
    QCoreApplication::removeTranslator(&translator);
    EXPECT_FALSE(manual.topic(u"nosuchtopic:", nullptr));
    EXPECT_TRUE(opener.opened.isEmpty());
}

TEST_F(ManualTest, HeightGrowsBySeventeenPerFiftyFiveUtf16Units)
{
    const QList<std::pair<int, int>> cases { { 300, 152 }, { 85, 84 }, { 54, 67 }, { 0, 67 }, { 55, 84 } };
    for (const auto& [length, height] : cases)
        EXPECT_EQ(app::Manual::contentSizeFor(QString(length, u'x')), QSize(438, height)) << length;
    // An emoji is two UTF-16 units.
    EXPECT_EQ(app::Manual::contentSizeFor(QString::fromUtf8("\xF0\x9F\x98\x80").repeated(28)).height(), 84);
    EXPECT_EQ(app::Manual::resizeFrame(QRect(7, 9, 1, 1), QString(300, u'x')), QRect(7, 9, 438, 152));
}

TEST_F(ManualTest, MoreHelpOpensTheSupportFormWithTheTitleAsSubject)
{
    manual.topic(u"threads:", nullptr);
    manual.morehelp();
    EXPECT_TRUE(opener.opened.isEmpty()) << "no address while the key is unset";

    defaults.setObject(QStringLiteral("https://support.test/form?lang=en"), app::Manual::kSupportFormURLKey);
    manual.topic(u"threads:", nullptr);
    EXPECT_TRUE(presenter.displays.last().moreHelpAvailable);
    manual.morehelp();
    ASSERT_EQ(opener.opened.size(), 1);
    const QUrl opened = opener.opened.first();
    EXPECT_EQ(opened.host(), QStringLiteral("support.test"));
    const QUrlQuery query(opened);
    EXPECT_EQ(query.queryItemValue(QStringLiteral("subject"), QUrl::FullyDecoded),
        QStringLiteral("Threads_/_timeout_/_delay"));
    EXPECT_EQ(query.queryItemValue(QStringLiteral("lang")), QStringLiteral("en"));

    // The article leaves the context; it opens only once its address is set.
    manual.topic(u"authentication:", nullptr);
    EXPECT_EQ(opener.opened.size(), 1);
    defaults.setObject(
        QStringLiteral("https://support.test/articles/login"), app::Manual::kAuthenticationArticleURLKey);
    manual.topic(u"authentication:", nullptr);
    ASSERT_EQ(opener.opened.size(), 2);
    EXPECT_EQ(opener.opened.last(), QUrl(QStringLiteral("https://support.test/articles/login")));
    EXPECT_EQ(manual.context(), QStringLiteral("Threads / timeout / delay"));
}

TEST(HelpPopover, ShowsBesideTheButtonKeptOnScreenAndReplacedByTheNext)
{
    QWidget window;
    window.setGeometry(40, 40, 300, 200);
    auto* button = new QToolButton(&window);
    button->setGeometry(20, 20, 24, 24);
    window.show();
    int moreHelpPresses = 0;
    app::PopoverHelpPresenter presenter([&] { ++moreHelpPresses; });
    presenter.display({ QStringLiteral("Short help."), QSize(438, 67), true }, button);
    QPointer<app::HelpPopover> first = presenter.hintPopover();
    ASSERT_TRUE(first);
    EXPECT_TRUE(first->isVisible());
    EXPECT_EQ(first->findChild<QWidget*>(QStringLiteral("hintView"))->size(), QSize(438, 67));
    EXPECT_EQ(first->textField()->toPlainText(), QStringLiteral("Short help."));
    EXPECT_GT(first->x(), app::HelpPopover::convertToScreen(button).right());
    first->findChild<QPushButton*>(QStringLiteral("moreHelpButton"))->click();
    EXPECT_EQ(moreHelpPresses, 1);

    // A text far taller than its size scrolls instead of being cut off.
    presenter.display({ QString(3000, u'w').replace(u'w', QStringLiteral("word ")), QSize(438, 67), false }, button);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(first) << "the previous popover is gone";
    app::HelpPopover* second = presenter.hintPopover();
    ASSERT_NE(second, nullptr);
    EXPECT_FALSE(second->findChild<QPushButton*>(QStringLiteral("moreHelpButton"))->isVisibleTo(second));
    EXPECT_GT(second->textField()->verticalScrollBar()->maximum(), 0);
    presenter.close();

    const QRect screen(0, 0, 1000, 800);
    EXPECT_EQ(app::HelpPopover::placement(QRect(100, 100, 20, 20), QSize(438, 67), screen).topLeft(), QPoint(122, 76));
    const QRect nearRight = app::HelpPopover::placement(QRect(900, 790, 20, 10), QSize(438, 152), screen);
    EXPECT_EQ(nearRight.right(), 897) << "moved to the button's left edge";
    EXPECT_TRUE(screen.contains(nearRight));
}

TEST(HelpButtons, StandBesideTheSettingsTheyExplainExceptHiddenOnes)
{
    QTemporaryDir folder;
    UserDefaults store(folder.filePath(QStringLiteral("defaults.plist")));
    app::MainInterface shell(store);
    shell.launch();
    QStringList topics;
    QToolButton* threads = nullptr;
    // The settings pane's buttons (the preferences window has buttons of its own).
    QWidget* pane = shell.window().sitesPane();
    for (QToolButton* button : pane->findChildren<QToolButton*>(QStringLiteral("helpButton"))) {
        const QString topic = button->property("helpTopic").toString();
        topics << topic;
        // The thread slider's (the time-out and rate fields have the topic too).
        if (topic == u"threads:" && !threads)
            threads = button;
    }
    for (const char* hidden : { "spellcheck:", "renderjs:", "linksinpdfs:" })
        EXPECT_FALSE(topics.contains(QLatin1String(hidden))) << hidden;
    for (const char* shown :
        { "images:", "useragent:", "querystring:", "blacklisting:", "wordpressthing:", "aboveDomain:", "missing:" })
        EXPECT_TRUE(topics.contains(QLatin1String(shown))) << shown;
    // The setting that reports links made only of "#" (or of nothing) says so, and so does its help;
    // fragment targets are the "Treat #fragments as separate pages" setting's.
    auto* hashIsBad = pane->findChild<QCheckBox*>(crawlKey::hashIsBad);
    ASSERT_NE(hashIsBad, nullptr);
    EXPECT_EQ(hashIsBad->text(), QStringLiteral("Report empty and \"#\" links as bad"));
    ASSERT_EQ(hashIsBad->parentWidget()->findChildren<QToolButton*>(QStringLiteral("helpButton")).size(), 1);
    EXPECT_EQ(hashIsBad->parentWidget()->findChild<QToolButton*>(QStringLiteral("helpButton"))->property("helpTopic"),
        QStringLiteral("missing:"));
    ASSERT_NE(threads, nullptr);
    auto* slider = pane->findChild<QWidget*>(crawlKey::numberOfThreads);
    ASSERT_NE(slider, nullptr);
    EXPECT_EQ(threads->parentWidget(), slider->parentWidget());
    auto* images = pane->findChild<QWidget*>(crawlKey::checkImages);
    EXPECT_TRUE(images->parentWidget()->findChildren<QToolButton*>(QStringLiteral("helpButton")).size() == 1);

    threads->click();
    EXPECT_EQ(shell.manual().context(), QStringLiteral("Threads / timeout / delay"));
    auto* popover = shell.window().findChild<app::HelpPopover*>();
    ASSERT_NE(popover, nullptr);
    EXPECT_TRUE(popover->textField()->toPlainText().startsWith(QStringLiteral("More threads")));
    popover->close();
    EXPECT_FALSE(shell.window().findChild<QAction*>(QStringLiteral("checkForUpdatesMenuItem"))->isEnabled());
    shell.terminate();
}
