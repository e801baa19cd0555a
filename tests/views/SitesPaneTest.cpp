// The sites pane offscreen: what start-up builds, edits reaching the stored site, hidden controls
// keeping imported values, search and sort rows, the rule sheet and the output-filter window.
#include "views/SitesPane.h"
#include "engine/CrawlSettingKeys.h"

#include "engine/CrwlUrl.h"
#include "engine/OutputFilterManager.h"
#include "engine/RecordingShellServices.h"
#include "platform/HunspellSpellChecker.h"
#include "platform/PropertyList.h"
#include "platform/UserDefaults.h"
#include "settings/ConfigManager.h"
#include "settings/SettingsBinding.h"
#include "support/Fixtures.h"
#include "support/LogCapture.h"
#include "views/OutputFilterWindow.h"
#include "views/RulesSheet.h"
#include "views/CutCells.h"
#include "views/SettingsPane.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QLabel>
#include <QSlider>
#include <QSplitter>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <QWheelEvent>
#include <QtTest/qtestspontaneevent.h>
#include <gtest/gtest.h>

using crawlmere::platform::UserDefaults;
using crawlmere::settings::ConfigManager;
using crawlmere::test::fixturePath;
using crawlmere::views::OutputFilterWindow;
using crawlmere::views::SitesPane;

namespace {

class SitesPaneTest : public testing::Test {
protected:
    QTemporaryDir m_dir;
    UserDefaults m_defaults { m_dir.filePath(QStringLiteral("defaults.plist")) };
    std::shared_ptr<RecordingPrompts> m_prompts = std::make_shared<RecordingPrompts>();
    ConfigManager m_manager { m_defaults };
    std::unique_ptr<SitesPane> m_pane;

    void SetUp() override
    {
        m_manager.setPrompts(m_prompts);
        m_pane = std::make_unique<SitesPane>(m_manager, nullptr, QStringLiteral(CRAWLMERE_FIXTURES "/settings"));
        m_manager.applicationHasFinishedLaunching();
    }
    template <typename T> T* child(const QString& name) const
    {
        T* found = m_pane->findChild<T*>(name);
        EXPECT_NE(found, nullptr) << qPrintable(name);
        return found;
    }
    QStringList listRows() const
    {
        QStringList rows;
        for (int i = 0; i < m_pane->siteList()->topLevelItemCount(); ++i)
            rows << m_pane->siteList()->topLevelItem(i)->text(0);
        return rows;
    }
    void selectRow(const QString& name)
    {
        const int row = static_cast<int>(listRows().indexOf(name));
        ASSERT_GT(row, 0) << qPrintable(name);
        QTreeWidget* list = m_pane->siteList();
        // As a click does it: one selection replacing the other.
        list->selectionModel()->select(
            list->model()->index(row, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    void addSite(const QString& name, const QString& url)
    {
        m_manager.newConfigWithURL(url);
        m_manager.userFinishedEditingWebsiteName(name);
    }
    void typeInto(const QString& key, const QString& text)
    {
        auto* field = child<QLineEdit>(key);
        field->setText(text);
        Q_EMIT field->textEdited(text);
        Q_EMIT field->editingFinished();
    }
};

} // namespace

TEST_F(SitesPaneTest, StartUpBuildsNoEntryOfAFeatureLeftOutAndHidesBoundOnes)
{
    const char* pruned[] = { "seoTabViewItem", "prefsSpellingTabViewItem", "prefsSEOTabViewItem",
        "prefsValidationTabViewItem", "exportSEOSummaryMenu", "exportSEOMenu", "exportSpellingMenu",
        "exportWarningsMenu", "spellingTabViewItem", "warningsTabViewItem", "summaryTabViewItem", "webtallyActionsBox",
        "webtallyOptionsBox", "webtallyAutosaveButton", "exportReportMenuItem", "scheduletoolsMenuItem",
        "dataManagerMenuItem", "toolsMenuItem", "prefsReportsTabViewItem", "finishactionsTabViewItem",
        "scheduleTabViewItem", "authenticationTabViewItem", "renderStartingUrlButton", "shouldParsePDFsInfo",
        "shouldParseDOCXsInfo", "runJSInfoButton", "jsrendertimeLabel", "jsrendertimeField" };
    for (const char* name : pruned)
        EXPECT_EQ(m_pane->findChild<QObject*>(QLatin1String(name)), nullptr) << name;
    for (const char* name : { crawlKey::checkSpelling.name(), "languages", crawlKey::shouldParsePDFs.name(),
             crawlKey::shouldParseDOCXs.name(), crawlKey::runJS.name() })
        EXPECT_TRUE(child<QWidget>(QLatin1String(name))->isHidden()) << name;
    for (const auto& row : crawlmere::settings::settingsBindingTable())
        EXPECT_NE(m_pane->settingsPane()->control(row.key), nullptr) << qPrintable(row.key);
    EXPECT_EQ(crawlmere::settings::settingsBindingTable().size(), 39);
    EXPECT_FALSE(m_defaults.boolForKey("htmlValidationEnabled"));
    // The dictionaries of the folder given are the languages offered.
    EXPECT_EQ(child<QComboBox>("languages")->count(), 1);
    EXPECT_EQ(child<QComboBox>("languages")->itemText(0), "English (United States)");
}

TEST_F(SitesPaneTest, ATickedCheckboxIsStoredWhenAnotherSiteIsSelected)
{
    addSite("Alpha", "https://alpha.example/");
    const QString alpha = m_manager.getIDForCurrentSite();
    addSite("Beta", "https://beta.example/");
    selectRow("Alpha");
    auto* box = child<QCheckBox>(crawlKey::hashIsBad);
    const bool before = box->isChecked();
    box->click();
    auto* trim = child<QCheckBox>(crawlKey::shouldTrimHash);
    trim->setChecked(true);
    child<QCheckBox>(crawlKey::trimQuery)->setChecked(false);
    child<QCheckBox>(crawlKey::trimQuery)->click(); // switching trimQuery on switches shouldTrimHash off
    EXPECT_FALSE(trim->isChecked());
    auto* above = child<QCheckBox>(crawlKey::tolerateUpADirectory);
    EXPECT_FALSE(above->isChecked());
    above->click();
    selectRow("Beta");
    EXPECT_FALSE(above->isChecked());
    const QVariantMap stored = *m_manager.settingsForID(alpha);
    EXPECT_EQ(stored.value(crawlKey::hashIsBad).toBool(), !before);
    EXPECT_TRUE(stored.value(crawlKey::tolerateUpADirectory).toBool());
    EXPECT_TRUE(stored.value(crawlKey::shouldTrimHash).toBool());
    EXPECT_EQ(m_manager.getNameForCurrentSite(), "Beta");
}

TEST_F(SitesPaneTest, AnImportedHiddenSettingSurvivesShowEditAndSave)
{
    ASSERT_TRUE(m_manager.openLcsettingsFile(fixturePath("settings/legacy.lcsettings")));
    auto* runJS = child<QCheckBox>(crawlKey::runJS);
    EXPECT_TRUE(runJS->isHidden());
    EXPECT_TRUE(runJS->isChecked());
    typeInto(crawlKey::timeout, "42");
    m_manager.synchronise();
    const QVariantMap stored = *m_manager.settingsForID("20240102-0304051");
    EXPECT_TRUE(stored.value(crawlKey::runJS).toBool());
    EXPECT_EQ(stored.value(crawlKey::timeout).toInt(), 42);
    EXPECT_EQ(stored.value(crawlKey::ignoreArray).toList(), (QVariantList { "logout", "print", "feed" }));
}

TEST_F(SitesPaneTest, ASiteWithOnlyItsIdentityScansAsBeforeAfterAFullSiteWasShownAndOneFieldEdited)
{
    using crawlmere::settings::BindingKind;
    QVariantMap models = CrwlUrl::crawlSettingModels();
    models.insert("sitemapRules", QVariantList()); // no list reads as no rules
    // The full site holds a value other than its default under every bound key.
    QVariantMap full { { "id", "full" }, { "name", "Full" }, { crawlKey::startingUrl, "https://full.example/" } };
    for (const auto& row : crawlmere::settings::settingsBindingTable()) {
        const QVariant other = [&]() -> QVariant {
            switch (row.kind) {
            case BindingKind::Check:
            case BindingKind::InvertedCheck:
                return !models.value(row.key).toBool();
            case BindingKind::Limit:
            case BindingKind::NonZeroInteger:
            case BindingKind::Threads:
                return qint64(7);
            case BindingKind::Seconds:
                return 4.5;
            case BindingKind::StartingUrl:
            case BindingKind::Language:
                return QVariant();
            default:
                return QStringLiteral("full's ") + row.key;
            }
        }();
        if (other.isValid())
            full.insert(row.key, other);
    }
    const QVariantMap bare { { "id", "bare" }, { "name", "Bare" }, { crawlKey::startingUrl, "https://bare.example/" } };
    ASSERT_EQ(m_manager.importLcsBatch({ full, bare }), 2);
    // What every control shows, by key.
    const auto shown = [this] {
        QStringList states;
        for (const auto& row : crawlmere::settings::settingsBindingTable()) {
            QWidget* control = m_pane->settingsPane()->control(row.key);
            if (auto* box = qobject_cast<QCheckBox*>(control))
                states << row.key + u'=' + QString::number(box->isChecked());
            else if (auto* field = qobject_cast<QLineEdit*>(control))
                states << row.key + u'=' + field->text();
            else if (auto* slider = qobject_cast<QSlider*>(control))
                states << row.key + u'=' + QString::number(slider->value());
            else if (auto* popUp = qobject_cast<QComboBox*>(control))
                states << row.key + u'=' + QString::number(popUp->currentIndex());
        }
        return states;
    };
    selectRow("Bare");
    const QStringList bareFirst = shown();
    selectRow("Full");
    EXPECT_TRUE(child<QCheckBox>(crawlKey::singlePage)->isChecked());
    selectRow("Bare");
    // What the bare site scans with shows: nothing the full site left in the controls.
    EXPECT_EQ(shown(), bareFirst);
    EXPECT_FALSE(child<QCheckBox>(crawlKey::singlePage)->isChecked());
    EXPECT_TRUE(child<QCheckBox>(crawlKey::checkImages)->isChecked());
    EXPECT_EQ(child<QLineEdit>(crawlKey::timeout)->text(), "30");
    EXPECT_EQ(child<QSlider>(crawlKey::numberOfThreads)->value(), 12);
    EXPECT_EQ(child<QLineEdit>("status")->text(), "");
    typeInto(crawlKey::customHeaderAcceptLanguage, "de");
    const QVariantMap scanned = m_manager.settingsForScan();
    selectRow("Full");

    // The value a scan reads for a key: the site's, else the default, else none.
    const auto used = [&](const QVariantMap& site, const QString& key) {
        const QVariant value = site.contains(key) ? site.value(key) : models.value(key);
        return value.isValid() ? crawlmere::platform::PropertyList::normalized(value).value() : value;
    };
    const QVariantMap stored = *m_manager.settingsForID("bare");
    EXPECT_EQ(stored.value(crawlKey::customHeaderAcceptLanguage), "de");
    for (const QVariantMap& after : { stored, scanned }) {
        for (const QString& key : after.keys() + bare.keys()) {
            if (key != crawlKey::customHeaderAcceptLanguage) {
                EXPECT_EQ(used(after, key), used(bare, key)) << qPrintable(key);
            }
        }
    }
    // The full site comes out as it went in.
    for (auto it = full.cbegin(); it != full.cend(); ++it)
        EXPECT_EQ(m_manager.settingsForID("full")->value(it.key()), it.value()) << qPrintable(it.key());
}

// An older store holds an application-wide nofollow choice, which a scan of a site without its
// own uses: the pane shows that value for such a site, and the site's own value otherwise.
TEST_F(SitesPaneTest, ANofollowChoiceTheSiteLacksShowsTheApplicationsValueItsScanUses)
{
    m_defaults.setBool(true, crawlKey::dontFollowNofollowLinks);
    const QVariantMap lacking { { "id", "lacking" }, { "name", "Lacking" },
        { crawlKey::startingUrl, "https://l.example/" } };
    QVariantMap own { { "id", "own" }, { "name", "Own" }, { crawlKey::startingUrl, "https://o.example/" } };
    own.insert(crawlKey::dontFollowNofollowLinks, false);
    ASSERT_EQ(m_manager.importLcsBatch({ lacking, own }), 2);
    auto* box = child<QCheckBox>(crawlKey::dontFollowNofollowLinks);
    for (const char* name : { "Lacking", "Own", "Lacking" }) {
        selectRow(QLatin1String(name));
        EXPECT_EQ(box->isChecked(), QLatin1String(name) == u"Lacking") << name;
    }
    // Left as shown, the box stores nothing: the site still takes the application's value.
    selectRow("Own");
    EXPECT_FALSE(m_manager.settingsForID("lacking")->contains(crawlKey::dontFollowNofollowLinks));
}

// A long user agent reads from its name, not from its tail, in a field too narrow for it.
TEST_F(SitesPaneTest, TheUserAgentShowsFromItsStart)
{
    const QString agent = QStringLiteral("Mozilla/5.0 (Macintosh; Intel Mac OS X 10_15_7) AppleWebKit/605.1.15 "
                                         "(KHTML, like Gecko) Version/17.3 Safari/605.1.15");
    QVariantMap site { { "id", "agent" }, { "name", "Agent" }, { crawlKey::startingUrl, "https://a.example/" },
        { crawlKey::userAgentString, agent } };
    ASSERT_EQ(m_manager.importLcsBatch({ site }), 1);
    m_pane->show();
    selectRow("Agent");
    auto* field = child<QLineEdit>(crawlKey::userAgentString);
    EXPECT_EQ(field->text(), agent);
    EXPECT_EQ(field->cursorPosition(), 0);
}

TEST_F(SitesPaneTest, ALongStartingUrlShowsItsSchemeAndHostAlsoAfterAnotherSite)
{
    // 198 characters, as a settings file may bring one.
    const QString url = QStringLiteral("https://docs.example.org/reference/") + QString(u'x').repeated(114)
        + QStringLiteral("/about-the-standard-library-and-its-headings.html");
    ASSERT_EQ(url.size(), 198);
    ASSERT_EQ(
        m_manager.importLcsBatch({ QVariantMap { { "id", "long" }, { "name", "Long" }, { crawlKey::startingUrl, url } },
            QVariantMap { { "id", "short" }, { "name", "Short" }, { crawlKey::startingUrl, "https://b.example/" } } }),
        2);
    m_pane->resize(1000, 700);
    m_pane->show();
    auto* field = child<QLineEdit>(crawlKey::startingUrl);
    for (const char* site : { "Long", "Short", "Long" })
        selectRow(QLatin1String(site));
    EXPECT_EQ(field->text(), url);
    field->grab(); // a field scrolls to its cursor as it paints
    EXPECT_TRUE(crawlmere::views::shownFieldText(*field).startsWith(QLatin1String("https://docs.example.org/")))
        << qPrintable(crawlmere::views::shownFieldText(*field));
}

TEST_F(SitesPaneTest, TheTimeOutKeepsItsTenths)
{
    QVariantMap site { { "id", "tenths" }, { "name", "Tenths" }, { crawlKey::startingUrl, "https://t.example/" },
        { crawlKey::timeout, 2.5 } };
    ASSERT_EQ(m_manager.importLcsBatch({ site }), 1);
    selectRow("Tenths");
    EXPECT_EQ(child<QLineEdit>(crawlKey::timeout)->text(), "2.5");
    child<QCheckBox>(crawlKey::hashIsBad)->click();
    m_manager.synchronise();
    EXPECT_EQ(m_manager.settingsForID("tenths")->value(crawlKey::timeout).toDouble(), 2.5);
    typeInto(crawlKey::timeout, "7.5");
    m_manager.synchronise();
    EXPECT_EQ(m_manager.settingsForID("tenths")->value(crawlKey::timeout).toDouble(), 7.5);
}

TEST_F(SitesPaneTest, AStoredValueOutsideItsRangeShowsWhatTheScanUses)
{
    const QVariantMap site { { "id", "odd" }, { "name", "Odd" }, { crawlKey::startingUrl, "https://o.example/" },
        { crawlKey::levelsLimit, 0 }, { crawlKey::linksLimit, -4 }, { crawlKey::numberOfThreads, 0 },
        { crawlKey::maxRPM, 3 }, { crawlKey::timeout, 0 }, { crawlKey::checkImages, "Yellow" } };
    ASSERT_EQ(m_manager.importLcsBatch({ site }), 1);
    selectRow("Odd");
    EXPECT_EQ(child<QLineEdit>(crawlKey::levelsLimit)->text(), "100");
    EXPECT_EQ(child<QLineEdit>(crawlKey::linksLimit)->text(), "2000000");
    EXPECT_EQ(child<QSlider>(crawlKey::numberOfThreads)->value(), 1);
    EXPECT_EQ(child<QLabel>("numberOfThreadsDisplay")->text(), "1");
    EXPECT_EQ(child<QLineEdit>(crawlKey::maxRPM)->text(), "10");
    EXPECT_EQ(child<QLineEdit>(crawlKey::timeout)->text(), "30");
    // A text the scan reads as YES shows ticked.
    EXPECT_TRUE(child<QCheckBox>(crawlKey::checkImages)->isChecked());
    // Shown is not edited: the site keeps its own values.
    m_manager.synchronise();
    EXPECT_EQ(m_manager.settingsForID("odd")->value(crawlKey::levelsLimit).toLongLong(), 0);
}

TEST_F(SitesPaneTest, SearchAndSortRows)
{
    addSite("beta", "https://b.example/");
    addSite("Alpha", "https://z.example/");
    m_pane->sortMenu()->findChild<QAction*>("websitesSortByNameMenuItem")->trigger();
    EXPECT_EQ(listRows(), (QStringList { "All sites", "A new website", "Alpha", "beta" }));
    m_pane->sortMenu()->findChild<QAction*>("websitesSortByStartingUrlMenuItem")->trigger();
    EXPECT_EQ(listRows(), (QStringList { "All sites", "A new website", "beta", "Alpha" }));
    EXPECT_TRUE(m_pane->sortMenu()->findChild<QAction*>("websitesSortByStartingUrlMenuItem")->isChecked());
    child<QLineEdit>("searchField")->setText("ALPHA");
    EXPECT_EQ(listRows(), (QStringList { "All sites", "Alpha" }));
    child<QLineEdit>("searchField")->setText("no such site");
    EXPECT_EQ(listRows(), QStringList { "All sites" });
}

TEST_F(SitesPaneTest, TypingAStartingUrlRenamesTheRowAtOnceAndSavesAtTheEnd)
{
    addSite("Alpha", "https://alpha.example/");
    const QString alpha = m_manager.getIDForCurrentSite();
    auto* field = child<QLineEdit>(crawlKey::startingUrl);
    field->setText("https://typed.example/");
    Q_EMIT field->textEdited(field->text());
    const int row = m_manager.selectedRow();
    EXPECT_EQ(m_pane->siteList()->topLevelItem(row)->text(1), "https://typed.example/");
    EXPECT_EQ(m_manager.settingsForID(alpha)->value(crawlKey::startingUrl).toString(), "https://alpha.example/");
    Q_EMIT field->editingFinished();
    EXPECT_EQ(m_manager.settingsForID(alpha)->value(crawlKey::startingUrl).toString(), "https://typed.example/");
}

TEST_F(SitesPaneTest, TheRuleSheetAddsAndMovesRules)
{
    // Edit… and Delete act on a selected rule: off while none is.
    const auto offered = [this] {
        return std::pair { child<QPushButton>("editBlacklistRuleButton")->isEnabled(),
            child<QPushButton>("deleteBlacklistRuleButton")->isEnabled() };
    };
    EXPECT_EQ(offered(), std::pair(false, false));
    child<QPushButton>("addBlacklistRuleButton")->click();
    auto* sheet = m_pane->settingsPane()->rulesSheet();
    EXPECT_EQ(sheet->windowModality(), Qt::WindowModal);
    child<QComboBox>("blacklistRulesRuleButton")->setCurrentIndex(3);
    child<QComboBox>("blacklistRulesContainsButton")->setCurrentIndex(1);
    child<QLineEdit>("blacklistRulesTextField")->setText("private");
    sheet->done(1);
    auto* table = child<QTableWidget>("blacklistRulesTableView");
    ASSERT_EQ(table->rowCount(), 1);
    EXPECT_EQ(table->item(0, 0)->text(), "Only follow");
    EXPECT_EQ(table->item(0, 1)->text(), "urls that don't contain:");
    EXPECT_EQ(table->item(0, 2)->text(), "private");
    EXPECT_EQ(m_manager.ruleList(3), QStringList { "!private" });

    EXPECT_EQ(offered(), std::pair(false, false));
    table->setCurrentCell(0, 0);
    EXPECT_EQ(offered(), std::pair(true, true));
    m_pane->settingsPane()->editBlacklistRule();
    EXPECT_EQ(child<QLineEdit>("blacklistRulesTextField")->text(), "private");
    child<QComboBox>("blacklistRulesRuleButton")->setCurrentIndex(0);
    sheet->done(1);
    EXPECT_TRUE(m_manager.ruleList(3).isEmpty());
    EXPECT_EQ(m_manager.ruleList(0), QStringList { "!private" });
}

TEST_F(SitesPaneTest, TheOutputFilterWindowAddsAndDeletesRules)
{
    OutputFilterManager filters(m_defaults);
    filters.awakeFromNib();
    OutputFilterWindow window(filters, m_defaults, m_prompts);
    window.findChild<QPushButton*>("beginNewDialogButton")->click();
    auto* sheet = window.findChild<QDialog*>("dialog");
    ASSERT_NE(sheet, nullptr);
    sheet->findChild<QLineEdit*>("mipContains")->setText("blog");
    sheet->accept();
    auto* table = window.findChild<QListWidget*>("filterTableView");
    ASSERT_EQ(table->count(), 1);
    EXPECT_EQ(table->item(0)->text(), "URL does contain: blog");

    // Delete acts on a selected rule: off while none is.
    auto* remove = window.findChild<QPushButton*>("deleteSelectedRuleButton");
    table->setCurrentRow(-1);
    EXPECT_FALSE(remove->isEnabled());
    window.deleteSelectedRule();
    EXPECT_EQ(m_prompts->beeps, 1);
    table->setCurrentRow(0);
    EXPECT_TRUE(remove->isEnabled());
    m_prompts->answers = { 0, 1 };
    window.deleteSelectedRule(); // "Cancel"
    EXPECT_EQ(table->count(), 1);
    window.deleteSelectedRule(); // "Delete"
    EXPECT_EQ(table->count(), 0);
    EXPECT_EQ(
        m_prompts->alerts.last().informativeText, "Are you sure you want to delete the rule 'URL does contain: blog'?");
}

TEST_F(SitesPaneTest, TheContentBoxWidensTheScopeOfEveryRuleAndIsTheScansDefault)
{
    m_manager.addBlacklistRule(3, /*doesNotContain=*/true, "private");
    m_manager.addBlacklistRule(1, /*doesNotContain=*/false, "cart");
    auto* table = child<QTableWidget>("blacklistRulesTableView");
    auto* box = child<QCheckBox>("blacklistCheckContentCheckBox");
    ASSERT_EQ(table->rowCount(), 2);
    struct Step {
        bool on;
        const char* notContaining;
        const char* containing;
    };
    for (const Step& step : { Step { true, "urls and content that don't contain:", "urls and content that contain:" },
             Step { false, "urls that don't contain:", "urls that contain:" } }) {
        SCOPED_TRACE(step.on);
        box->setChecked(step.on);
        EXPECT_EQ(m_defaults.boolForKey("blacklistShouldCheckContent"), step.on);
        // Rows in list order: "Do not check" (tag 1) before "Only follow" (tag 3).
        EXPECT_EQ(table->item(0, 1)->text(), step.containing);
        EXPECT_EQ(table->item(1, 1)->text(), step.notContaining);
    }
    // Set elsewhere, the default shows at the next reload.
    m_defaults.setBool(true, "blacklistShouldCheckContent");
    m_manager.addBlacklistRule(0, /*doesNotContain=*/false, "logout");
    EXPECT_TRUE(box->isChecked());
    EXPECT_EQ(table->item(0, 1)->text(), "urls and content that contain:");
}

TEST_F(SitesPaneTest, TheSpellingLanguageOfTheShownSiteAndOfThePopUpGoesOnTheChecker)
{
    // A checker on the system's dictionaries (British and American English are installed).
    crawlmere::platform::HunspellSpellChecker checker(
        { crawlmere::platform::HunspellSpellChecker::systemFolder() }, m_dir.filePath("learned"));
    ASSERT_TRUE(checker.availableLanguages().contains("en_GB"));
    ASSERT_TRUE(checker.availableLanguages().contains("en_US"));
    crawlmere::platform::SpellChecker::setShared(&checker);

    addSite("British", "https://uk.example/");
    m_manager.setCurrentSettingsValues({ { crawlKey::language, "English (United Kingdom)" } });
    const QString british = m_manager.getIDForCurrentSite();
    addSite("American", "https://us.example/");
    m_manager.setCurrentSettingsValues({ { crawlKey::language, "English (United States)" } });
    m_manager.synchronise();
    EXPECT_EQ(checker.language(), "en_US");
    selectRow("British");
    EXPECT_EQ(m_manager.getIDForCurrentSite(), british);
    EXPECT_EQ(checker.language(), "en_GB");
    selectRow("American");
    EXPECT_EQ(checker.language(), "en_US");

    // The pop-up offers the fixture folder's one language; choosing it marks the site changed.
    selectRow("British");
    m_manager.setDirty(false);
    auto* languages = child<QComboBox>("languages");
    languages->setCurrentIndex(0);
    Q_EMIT languages->activated(0);
    EXPECT_EQ(checker.language(), "en_US");
    EXPECT_TRUE(m_manager.isDirty());
    // A name no installed dictionary has keeps the language.
    m_manager.newLanguageSelected("Klingon");
    EXPECT_EQ(checker.language(), "en_US");
    crawlmere::platform::SpellChecker::setShared(nullptr);
}

TEST_F(SitesPaneTest, TheRateFieldIsEditableExactlyWhileTheRateIsLimited)
{
    auto* limit = child<QCheckBox>(crawlKey::limitRPM);
    auto* rate = child<QLineEdit>(crawlKey::maxRPM);
    const auto followsTheBox = [&](const char* when) {
        EXPECT_EQ(rate->isEnabled(), limit->isChecked()) << when << ", the field reads " << qPrintable(rate->text());
    };
    followsTheBox("at start");
    addSite("Free", "https://free.example/");
    ASSERT_FALSE(limit->isChecked());
    followsTheBox("a new site");
    addSite("Limited", "https://limited.example/");
    limit->click();
    ASSERT_TRUE(limit->isChecked());
    typeInto(crawlKey::maxRPM, "500");
    followsTheBox("ticked by hand");
    // Whatever was shown before, each site shows its own state.
    for (const char* site : { "Free", "Limited", "Free", "A new website", "Limited" }) {
        selectRow(site);
        EXPECT_EQ(limit->isChecked(), QString::fromLatin1(site) == u"Limited") << site;
        followsTheBox(site);
    }
    EXPECT_EQ(rate->text(), "500");
    limit->click();
    followsTheBox("unticked by hand");
    m_pane->settingsPane()->setCheckbox(crawlKey::limitRPM, true);
    followsTheBox("ticked by the program");
}

// The wheel over the settings pane scrolls it: the thread slider passing under the pointer keeps
// its value and the site stays unchanged.
TEST_F(SitesPaneTest, TheWheelOverTheThreadSliderScrollsTheSettings)
{
    addSite("Alpha", "https://alpha.example/");
    auto* scroll = child<QScrollArea>("optionsTabViewItem");
    auto* slider = child<QSlider>(crawlKey::numberOfThreads);
    m_pane->resize(700, 240);
    m_pane->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m_pane.get()));
    scroll->ensureWidgetVisible(slider);
    m_manager.setDirty(false);
    const int threads = slider->value();
    const int top = scroll->verticalScrollBar()->value();
    const QPointF at = QRectF(slider->rect()).center();
    QWheelEvent wheel(
        at, slider->mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    // As the window system delivers it (sendEvent would make it a synthetic event, which stays
    // with its receiver).
    QSpontaneKeyEvent::setSpontaneous(&wheel);
    qApp->notify(slider, &wheel);
    EXPECT_EQ(slider->value(), threads);
    EXPECT_LT(scroll->verticalScrollBar()->value(), top) << "the settings did not scroll";
    EXPECT_FALSE(m_manager.isDirty());
}

// Two sites named alike can be told apart: the name column takes the room the longest name
// needs and the starting URL gives way first; a row's tool tip holds the whole name and URL.
TEST_F(SitesPaneTest, TheNameColumnGetsTheRoomItsNamesNeed)
{
    const QString first = QStringLiteral("Loopback test site with a long name, first copy");
    const QString second = QStringLiteral("Loopback test site with a long name, second copy");
    addSite(first, "https://first.example/a/rather/long/path/to/the/start.html");
    addSite(second, "https://second.example/");
    QTreeWidget* list = m_pane->siteList();
    QHeaderView* header = list->header();
    const int needed = list->fontMetrics().horizontalAdvance(second);
    m_pane->resize(1000, 500);
    m_pane->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m_pane.get()));
    auto* splitter = child<QSplitter>("splitView");
    struct Width {
        int list;
        bool nameWhole;
    };
    for (const Width& width : { Width { 600, true }, Width { needed + 200, true }, Width { 200, false } }) {
        SCOPED_TRACE(width.list);
        splitter->setSizes({ width.list, 1000 - width.list });
        QCoreApplication::processEvents();
        const int shown = list->viewport()->width();
        EXPECT_EQ(header->sectionSize(0) + header->sectionSize(1), shown);
        EXPECT_EQ(header->sectionSize(0) >= needed, width.nameWhole) << header->sectionSize(0) << " of " << needed;
        // Any list shows the scheme, host and end of each URL (half of a narrow one).
        EXPECT_GE(header->sectionSize(1), std::min(140, shown / 2));
    }
    for (const QString& name : { first, second }) {
        const int row = static_cast<int>(listRows().indexOf(name));
        ASSERT_GT(row, 0);
        const QTreeWidgetItem* item = list->topLevelItem(row);
        EXPECT_TRUE(item->toolTip(0).contains(name));
        EXPECT_TRUE(item->toolTip(1).contains(item->text(1)));
        EXPECT_EQ(item->toolTip(0), item->toolTip(1));
    }
}

TEST_F(SitesPaneTest, SameNamedSitesStayInPlaceAndAClickSelectsTheSiteUnderThePointer)
{
    QTreeWidget* list = m_pane->siteList();
    QAbstractItemModelTester tester(list->model(), QAbstractItemModelTester::FailureReportingMode::Warning);
    crawlmere::test::LogCapture log;
    m_manager.newConfigWithURL("https://one.example/");
    m_manager.newConfigWithURL("https://two.example/");
    m_pane->resize(900, 600);
    m_pane->show();
    // Each new site is filed first; sites of one name follow their identifiers, oldest first.
    ASSERT_EQ(list->topLevelItemCount(), 4);
    EXPECT_EQ(list->topLevelItem(2)->text(1), "https://one.example/");
    EXPECT_EQ(list->topLevelItem(3)->text(1), "https://two.example/");
    for (const int row : { 2, 1, 3, 2 }) {
        const QString shown = list->topLevelItem(row)->text(1);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->topLevelItem(row)).center());
        EXPECT_EQ(m_manager.currentSettings().value(crawlKey::startingUrl).toString(), shown) << row;
        ASSERT_EQ(list->selectedItems().size(), 1);
        EXPECT_EQ(list->selectedItems().constFirst()->text(1), shown) << row;
    }

    // A name typed into the row reaches the site once the editor has gone, which the view closes.
    QTreeWidgetItem* item = list->topLevelItem(2);
    list->editItem(item, 0);
    auto* editor = list->viewport()->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    editor->setText("Renamed");
    QTest::keyClick(editor, Qt::Key_Return);
    QApplication::processEvents(); // the delegate commits a Return from the event loop
    EXPECT_EQ(m_manager.currentSettings().value("name").toString(), "Renamed");
    EXPECT_EQ(listRows().constLast(), "Renamed"); // the list rebuilt, in order
    EXPECT_EQ(log.count("closeEditor"), 0) << qPrintable(log.lines().join('\n'));
    EXPECT_EQ(log.count("FAIL"), 0) << qPrintable(log.lines().join('\n'));
}

TEST_F(SitesPaneTest, FoldersOfAnImportedBatchAreListedAtOnceAndF2RenamesWithoutAClick)
{
    const QString batch = m_dir.filePath(QStringLiteral("sites.lcsbatch"));
    ASSERT_TRUE(crawlmere::platform::PropertyList::writeXmlFile(batch,
        QVariantList {
            QVariantMap { { "id", "b1" }, { crawlKey::startingUrl, "https://one.example/" }, { "folder", "Clients" } },
            QVariantMap { { "id", "b2" }, { crawlKey::startingUrl, "https://two.example/" } } })
                    .ok());
    m_pane->show();
    ASSERT_EQ(m_manager.openLcsbatchFile(batch), 2);
    QStringList offered;
    for (QAction* action : child<QMenu>("folderMenu")->actions())
        offered << action->text();
    EXPECT_TRUE(offered.contains("Clients")) << qPrintable(offered.join(u','));
    // Now listed, the name is not listed twice by a new folder of the same name.
    m_manager.createNewFolder(QStringLiteral("Clients"));
    EXPECT_EQ(m_manager.folderList().count(QStringLiteral("Clients")), 1);
    ASSERT_EQ(m_prompts->alerts.size(), 1);
    EXPECT_EQ(m_prompts->alerts.constFirst().messageText, "Folder exists");

    child<QPushButton>("toggleFolderViewButton")->click();
    auto* folders = child<QListWidget>("folderTableView");
    ASSERT_TRUE(folders->isVisible());
    const auto found = folders->findItems(QStringLiteral("Clients"), Qt::MatchExactly);
    ASSERT_EQ(found.size(), 1);
    // The keys reach the list as it opens: the arrows go to the folder (none is opened) and F2
    // edits its name.
    ASSERT_NE(m_pane->focusWidget(), nullptr);
    // Delete Folder is off on "All sites" and "Default folder" (or nothing) and on for a folder.
    auto* deleteFolder = child<QPushButton>("deleteFolderButton");
    EXPECT_LT(folders->currentRow(), 2);
    EXPECT_FALSE(deleteFolder->isEnabled());
    for (int step = 0; step < folders->count() && folders->currentItem() != found.first(); ++step)
        QTest::keyClick(m_pane->focusWidget(), Qt::Key_Down);
    EXPECT_TRUE(folders->isVisible());
    ASSERT_EQ(folders->currentItem(), found.first());
    EXPECT_TRUE(deleteFolder->isEnabled());
    QTest::keyClick(m_pane->focusWidget(), Qt::Key_F2);
    auto* editor = folders->viewport()->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr) << "F2 opened no editor";
    editor->setText(QStringLiteral("Customers"));
    QTest::keyClick(editor, Qt::Key_Return);
    QApplication::processEvents(); // the delegate commits a Return from the event loop
    EXPECT_TRUE(m_manager.folderList().contains(QStringLiteral("Customers")))
        << qPrintable(m_manager.folderList().join(u','));

    // New Folder asks under a title of its own.
    child<QPushButton>("createNewFolderButton")->click();
    auto* dialog = m_pane->findChild<QDialog*>(QStringLiteral("newFolderDialog"));
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowTitle(), "New Folder");
    dialog->reject();
}

TEST_F(SitesPaneTest, ASitemapRulePriorityOutsideZeroToOneIsRefusedInItsCell)
{
    addSite("Alpha", "https://alpha.example/");
    m_manager.addSitemapRule();
    auto* table = child<QTableWidget>("sitemapRulesTableView");
    ASSERT_EQ(table->rowCount(), 1);
    for (const char* typed : { "1.5", "high" }) {
        table->item(0, 1)->setText(typed);
        EXPECT_EQ(table->item(0, 1)->text(), "0.5") << typed;
    }
    table->item(0, 1)->setText("0.9");
    EXPECT_EQ(m_manager.sitemapRules().constFirst().toMap().value("priority"), "0.9");
}
