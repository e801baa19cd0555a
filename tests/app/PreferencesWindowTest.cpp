// The preferences window in the main window: how it opens, that every control stores its
// default at once and what reads the default sees it, and the window's settings-file items.
#include "app/PreferencesWindow.h"
#include "engine/CrawlSettingKeys.h"

#include "app/AppDelegate.h"
#include "app/DelegateActions.h"
#include "app/HeadlessScan.h"
#include "app/MainInterface.h"
#include "app/MainTabView.h"
#include "app/QuietHeadlessRun.h"
#include "app/MainWindow.h"
#include "app/Manual.h"
#include "app/ResultsController.h"
#include "app/SavePanelAnswer.h"
#include "engine/CrwlLinkInstance.h"
#include "engine/CrwlUrl.h"
#include "engine/RecordingShellServices.h"
#include "engine/Z12Ara.h"
#include "engine/SettingsValue.h"
#include "engine/qfDataSource.h"
#include "parsing/CrwlParser.h"
#include "platform/Log.h"
#include "platform/PropertyList.h"
#include "platform/UrlOpener.h"
#include "platform/UrlRequest.h"
#include "platform/UserDefaults.h"
#include "settings/ConfigManager.h"
#include "settings/SettingsBinding.h"
#include "sitemap/SitemapManager.h"
#include "support/LoopbackServer.h"
#include "support/WaitUntil.h"
#include "views/CrwlByLinkDataSource.h"
#include "views/InspectorWindows.h"
#include "views/ResultTreeView.h"
#include "views/SettingsPane.h"
#include "views/SitesPane.h"
#include "views/SitemapTab.h"
#include "views/crawlmereTableView.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QFile>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <algorithm>

namespace app = crawlmere::app;
namespace views = crawlmere::views;
using crawlmere::platform::UserDefaults;
using crawlmere::test::waitUntil;
using views::Preference;
using views::PreferenceKind;
using views::PreferencesModel;

namespace {

/// Every default the window edits starts unset (the registered value stands) and is unset
/// again afterwards.
class PreferencesWindowTest : public ::testing::Test {
protected:
    void SetUp() override { forgetPreferences(); }
    void TearDown() override { forgetPreferences(); }
    static void forgetPreferences()
    {
        for (const views::PreferencePage& page : PreferencesModel::pages()) {
            for (const Preference& preference : page.preferences)
                UserDefaults::standard().removeObjectForKey(preference.key);
        }
    }
    static UserDefaults& store() { return UserDefaults::standard(); }
    /// The page inspector of a page never fetched, as the delegate opens it.
    static QWidget* inspectPage(app::MainInterface& shell)
    {
        auto page = std::make_shared<CrwlUrl>();
        page->setLinkURL(QStringLiteral("http://127.0.0.1:9/page.html"));
        shell.delegate().inspectPage(page);
        return shell.results().inspectors().lastPageInspector();
    }
};

/// Changes `control` the way a user would, to a value other than the one it shows; answers
/// the value the control then shows, as the model stores it.
QVariant changeControl(const Preference& preference, QWidget* control)
{
    switch (preference.kind) {
    case PreferenceKind::Check: {
        auto* box = static_cast<QCheckBox*>(control);
        box->click();
        return box->isChecked();
    }
    case PreferenceKind::Choice: {
        auto* popUp = static_cast<QComboBox*>(control);
        popUp->setCurrentIndex((popUp->currentIndex() + 1) % popUp->count());
        return popUp->currentData().toLongLong();
    }
    case PreferenceKind::Number: {
        auto* field = static_cast<QSpinBox*>(control);
        field->setValue(field->value() == field->minimum() + 1 ? field->minimum() + 2 : field->minimum() + 1);
        return qint64(field->value());
    }
    case PreferenceKind::Seconds: {
        auto* field = static_cast<QDoubleSpinBox*>(control);
        field->setValue(field->value() + 7);
        return field->value();
    }
    case PreferenceKind::Text: {
        auto* field = static_cast<QLineEdit*>(control);
        field->setFocus();
        QTest::keyClicks(field, QStringLiteral("x"));
        return field->text();
    }
    case PreferenceKind::Lines: {
        auto* field = static_cast<QPlainTextEdit*>(control);
        field->setPlainText(field->toPlainText() + QStringLiteral("gone fishing\n"));
        return field->toPlainText();
    }
    }
    return {};
}

TEST_F(PreferencesWindowTest, OpensFromTheToolbarTheEditMenuAndTheSitemapTabWithoutThePrunedTabs)
{
    app::MainInterface shell(store());
    shell.launch();
    app::PreferencesWindow& prefs = shell.preferencesWindow();
    EXPECT_EQ(prefs.objectName(), QStringLiteral("prefsWindow"));
    EXPECT_EQ(prefs.tabView()->objectName(), QStringLiteral("prefsMainTabView"));
    EXPECT_FALSE(prefs.isVisible());

    QToolButton* button = shell.window().button(QStringLiteral("prefsButton"));
    ASSERT_TRUE(button->isEnabled());
    button->click();
    EXPECT_TRUE(prefs.isVisible());
    prefs.hide();

    QAction* item = shell.window().menuItem(QStringLiteral("prefsMenuItem"));
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Comma));
    item->trigger();
    EXPECT_TRUE(prefs.isVisible());
    prefs.tabView()->selectTabViewItemWithIdentifier(QStringLiteral("0"));
    prefs.hide();

    auto* sitemapButton = shell.window().findChild<QPushButton*>(QStringLiteral("sitemapPrefsButton"));
    ASSERT_NE(sitemapButton, nullptr);
    sitemapButton->click();
    EXPECT_TRUE(prefs.isVisible());
    EXPECT_EQ(prefs.tabView()->selectedIdentifier(), PreferencesModel::kSitemapTab);
    EXPECT_EQ(prefs.tabView()->currentWidget()->objectName(), QStringLiteral("prefsSitemapTabViewItem"));

    EXPECT_EQ(prefs.tabView()->identifiers(), (QStringList { "0", "1", "2", "3", "4", "6", "7" }));
    for (const char* pruned : { "prefsSpellingTabViewItem", "prefsSEOTabViewItem", "prefsValidationTabViewItem",
             "prefsReportsTabViewItem" }) {
        EXPECT_EQ(prefs.findChild<QObject*>(QLatin1String(pruned)), nullptr) << pruned;
        EXPECT_EQ(shell.window().findChild<QObject*>(QLatin1String(pruned)), nullptr) << pruned;
    }
    // The wheel scrolls a tab: its pop-ups and number fields take it only once focused.
    for (const QString& key : { QStringLiteral("verbosity"), QStringLiteral("vizLevels"), QString(crawlKey::timeout) })
        EXPECT_EQ(prefs.control(key)->focusPolicy(), Qt::StrongFocus) << qPrintable(key);
    // The image sitemap alert names these two switches under Preferences > Sitemap.
    QWidget* sitemapTab = prefs.tabView()->tabViewItemWithIdentifier(PreferencesModel::kSitemapTab);
    for (const char* key : { "enableImageSitemap", "includeimagesinsitemap" }) {
        auto* box = sitemapTab->findChild<QCheckBox*>(QLatin1String(key));
        ASSERT_NE(box, nullptr) << key;
        EXPECT_TRUE(box->text() == u"Enable image xml sitemap" || box->text() == u"Include images in sitemap");
    }
    shell.terminate();
}

TEST_F(PreferencesWindowTest, EveryControlStoresItsDefaultAtOnceAndShowsItAgainWhenReopened)
{
    app::MainInterface shell(store());
    shell.launch();
    app::PreferencesWindow& prefs = shell.preferencesWindow();
    prefs.showPrefs();
    int controls = 0;
    QHash<QString, QVariant> changed;
    for (const views::PreferencePage& page : PreferencesModel::pages()) {
        QWidget* tab = prefs.tabView()->tabViewItemWithIdentifier(page.identifier);
        ASSERT_NE(tab, nullptr) << qPrintable(page.identifier);
        EXPECT_EQ(tab->objectName(), page.objectName);
        prefs.tabView()->setCurrentWidget(tab);
        for (const Preference& preference : page.preferences) {
            SCOPED_TRACE(preference.key.toStdString());
            QWidget* control = tab->findChild<QWidget*>(preference.key);
            ASSERT_NE(control, nullptr);
            EXPECT_EQ(control, prefs.control(preference.key));
            const QVariant shown = changeControl(preference, control);
            ASSERT_TRUE(store().objectForKey(preference.key).isValid()) << "stored at once";
            // What the store answers is what the control shows, in the default's own type.
            switch (preference.kind) {
            case PreferenceKind::Check:
                EXPECT_EQ(store().boolForKey(preference.key), shown.toBool());
                break;
            case PreferenceKind::Choice:
            case PreferenceKind::Number:
                EXPECT_EQ(store().integerForKey(preference.key), shown.toLongLong());
                break;
            case PreferenceKind::Seconds:
                EXPECT_DOUBLE_EQ(store().doubleForKey(preference.key), shown.toDouble());
                break;
            case PreferenceKind::Text:
            case PreferenceKind::Lines:
                EXPECT_EQ(store().stringForKey(preference.key), shown.toString());
                break;
            }
            changed.insert(preference.key, shown);
            ++controls;
        }
    }
    EXPECT_GE(controls, 40);
    // Integer-registered switches stay integers.
    EXPECT_EQ(store().objectForKey(QStringLiteral("vizClean")).typeId(), QMetaType::LongLong);

    // Closed and opened again, every control shows what was stored.
    prefs.close();
    prefs.showPrefs();
    for (auto it = changed.cbegin(); it != changed.cend(); ++it) {
        const Preference* preference = PreferencesModel::preference(it.key());
        ASSERT_NE(preference, nullptr);
        EXPECT_EQ(prefs.model().value(*preference), it.value()) << qPrintable(it.key());
        // A text shown again reads from its start (a long agent string from its name).
        if (auto* field = qobject_cast<QLineEdit*>(prefs.control(it.key())); field && !field->hasFocus()) {
            EXPECT_EQ(field->cursorPosition(), 0) << qPrintable(it.key());
        }
    }
    shell.terminate();
}

/// What a scan of the selected site reads: the settings the Go button hands over, completed
/// by the first record, and the hub's decisions over them.
struct ScanReads {
    std::shared_ptr<Z12Ara> hub;
    SharedCrawlSettings settings;
    std::shared_ptr<CrwlUrl> record(const QString& link, qint64 status = 200) const
    {
        auto made = CrwlUrl::make(hub, settings);
        made->setLinkURL(link);
        made->setIsInternal(true);
        made->setStatus(status);
        return made;
    }
};

TEST_F(PreferencesWindowTest, EveryBoundControlReachesTheCodeThatReadsItsKeyForAScan)
{
    using namespace crawlmere::engine;
    auto prompts = std::make_shared<RecordingPrompts>();
    app::MainInterface shell(store(), prompts);
    shell.launch();
    crawlmere::settings::ConfigManager& sites = *shell.configManager();
    sites.newConfigWithURL(QStringLiteral("http://h.test/"));
    views::SettingsPane& pane = *static_cast<views::SitesPane*>(shell.window().sitesPane())->settingsPane();
    const auto scan = [&] {
        ScanReads reads { std::make_shared<Z12Ara>(store()), std::make_shared<CrawlSettings>(sites.settingsForScan()) };
        reads.hub->setCrawlSettings(reads.settings);
        reads.record(QStringLiteral("http://h.test/"));
        return reads;
    };
    const auto flag = [](const QString& key) {
        return [key](const ScanReads& s) { return QVariant(crawlmere::engine::boolValue(s.settings->value(key))); };
    };
    const auto pdfInSitemap = [](const ScanReads& s) {
        auto pdf = s.record(QStringLiteral("http://h.test/guide.pdf"));
        pdf->setIsHTML(false);
        return QVariant(s.hub->shouldBeInSitemapCollection(*pdf));
    };
    // Each key's reader where the scan reads it through more than a look-up of the key itself.
    using Reader = std::function<QVariant(const ScanReads&)>;
    const std::map<QString, Reader> readers {
        { crawlKey::checkImages,
            [](const ScanReads& s) { return QVariant(CrwlParser::getCheckImages(s.settings->snapshot())); } },
        { crawlKey::loadImages,
            [](const ScanReads& s) { return QVariant(s.record("http://h.test/i.png")->shouldLoadImages()); } },
        { crawlKey::dontFollowNofollowLinks,
            [](const ScanReads& s) {
                auto page = s.record(QStringLiteral("http://h.test/nf.html"));
                auto occurrence = CrwlLinkInstance::make();
                occurrence->setTarget(page);
                occurrence->setNf(true);
                page->addInboundInstance(occurrence);
                return QVariant(!s.hub->weShouldCrawlThisURL(page));
            } },
        { crawlKey::shouldTrimHash,
            [](const ScanReads& s) { return QVariant(!settingBool(s.settings, crawlKey::shouldTrimHash)); } },
        { crawlKey::userAgentString,
            [](const ScanReads& s) {
                return QVariant(QString::fromUtf8(
                    s.record("http://h.test/a")->makeServerRequest().valueForHTTPHeaderField("User-Agent")));
            } },
        { crawlKey::customHeaderAcceptLanguage,
            [](const ScanReads& s) {
                return QVariant(QString::fromUtf8(
                    s.record("http://h.test/a")->makeServerRequest().valueForHTTPHeaderField("Accept-Language")));
            } },
        { crawlKey::timeout, [](const ScanReads& s) { return QVariant(qint64(settingTimeoutSeconds(s.settings))); } },
    };
    // The preferences a scan reads beyond their own value; those a new site starts with are
    // read from a new site.
    std::map<QString, Reader> preferenceReaders {
        { crawlKey::dontReportRedirects,
            [](const ScanReads& s) {
                const QVariant which = store().objectForKey(QStringLiteral("byStatusWhichStatus"));
                store().setObject(qint64(2), QStringLiteral("byStatusWhichStatus"));
                auto moved = s.record(QStringLiteral("http://h.test/old"));
                moved->addRedir(QStringLiteral("http://h.test/new"), 301, 0);
                moved->setStatus(200);
                const bool finalOnly = moved->getStatusDescription() == u"200 ok";
                if (which.isValid())
                    store().setObject(which, QStringLiteral("byStatusWhichStatus"));
                else
                    store().removeObjectForKey(QStringLiteral("byStatusWhichStatus"));
                return QVariant(finalOnly);
            } },
        { "includePdfsInSitemap", pdfInSitemap },
        { "includepdfsinsitemap", pdfInSitemap },
        { "includelastmodinsitemap",
            [](const ScanReads&) {
                return QVariant(crawlmere::sitemap::SitemapManager(store()).writesLastModified());
            } },
    };
    for (const QString& key : crawlmere::settings::ConfigManager::newSiteDefaultKeys())
        preferenceReaders.emplace(key, [&sites, key](const ScanReads&) {
            const QVariant value = sites.getBlankSettings().value(key);
            return value.typeId() == QMetaType::Double ? QVariant(value.toDouble()) : value;
        });
    int checked = 0;
    const auto expectRead = [&](const std::map<QString, Reader>& special, const QString& key, const QVariant& shown,
                                const Reader& fallback) {
        const auto found = special.find(key);
        const QVariant read = (found != special.end() ? found->second : fallback)(scan());
        EXPECT_EQ(read.toString(), shown.toString()) << qPrintable(key);
        ++checked;
    };

    // The settings pane: every bound control, set as a user sets it; check boxes both ways.
    pane.control(crawlKey::limitRPM)->setProperty("checked", true);
    for (const auto& row : crawlmere::settings::settingsBindingTable()) {
        SCOPED_TRACE(row.key.toStdString());
        QWidget* control = pane.control(row.key);
        ASSERT_NE(control, nullptr);
        if (auto* box = qobject_cast<QCheckBox*>(control)) {
            for (int click = 0; click < 2; ++click) {
                box->click();
                expectRead(readers, row.key, box->isChecked(), flag(row.key));
            }
        } else if (auto* slider = qobject_cast<QSlider*>(control)) {
            slider->setValue(slider->value() == 5 ? 6 : 5);
            expectRead(readers, row.key, qint64(slider->value()), [&](const ScanReads& s) {
                return QVariant(crawlmere::engine::integerValue(s.settings->value(row.key)));
            });
        } else if (auto* field = qobject_cast<QLineEdit*>(control); field && !field->isReadOnly()) {
            const bool number = field->validator() != nullptr;
            field->setFocus();
            field->selectAll();
            QTest::keyClicks(field,
                number                                 ? QStringLiteral("17")
                    : row.key == crawlKey::startingUrl ? "http://h.test/b/"
                                                       : "x-t");
            QTest::keyClick(field, Qt::Key_Return);
            expectRead(readers, row.key, number ? QVariant(field->text().toLongLong()) : QVariant(field->text()),
                [&](const ScanReads& s) {
                    return number ? QVariant(crawlmere::engine::integerValue(s.settings->value(row.key)))
                                  : QVariant(crawlmere::engine::stringValue(s.settings->value(row.key)));
                });
        } else {
            // Only the read-only status and the hidden language pop-up are left.
            EXPECT_TRUE(row.key == u"status" || qobject_cast<QComboBox*>(control))
                << "no way to set " << row.key.toStdString();
        }
    }

    // The preferences: every control, read where a scan reads the application defaults.
    app::PreferencesWindow& prefs = shell.preferencesWindow();
    prefs.showPrefs();
    for (const views::PreferencePage& page : PreferencesModel::pages()) {
        prefs.tabView()->setCurrentWidget(prefs.tabView()->tabViewItemWithIdentifier(page.identifier));
        for (const Preference& preference : page.preferences) {
            SCOPED_TRACE(preference.key.toStdString());
            for (int change = 0; change < (preference.kind == PreferenceKind::Check ? 2 : 1); ++change) {
                const QVariant shown = changeControl(preference, prefs.control(preference.key));
                expectRead(preferenceReaders, preference.key, shown, [&](const ScanReads&) {
                    switch (preference.kind) {
                    case PreferenceKind::Check:
                        return QVariant(store().boolForKey(preference.key));
                    case PreferenceKind::Choice:
                    case PreferenceKind::Number:
                        return QVariant(store().integerForKey(preference.key));
                    case PreferenceKind::Seconds:
                        return QVariant(store().doubleForKey(preference.key));
                    default:
                        return QVariant(store().stringForKey(preference.key));
                    }
                });
            }
        }
    }
    prefs.close();

    // The sitemap tab's switches.
    for (const char* name : { "includepdfsinsitemap", "includelastmodinsitemap" }) {
        auto* box = shell.window().findChild<QCheckBox*>(QLatin1String(name));
        ASSERT_NE(box, nullptr) << name;
        for (int click = 0; click < 2; ++click) {
            box->click();
            expectRead(preferenceReaders, QLatin1String(name), box->isChecked(), nullptr);
        }
    }
    EXPECT_GE(checked, 120);
    shell.terminate();
}

TEST_F(PreferencesWindowTest, WhatReadsADefaultSeesTheChangeMadeInTheWindow)
{
    app::MainInterface shell(store());
    shell.launch();
    app::PreferencesWindow& prefs = shell.preferencesWindow();
    prefs.showPrefs();
    crawlmere::settings::ConfigManager& sites = *shell.configManager();
    const auto popUp = [&](const QString& key) { return static_cast<QComboBox*>(prefs.control(key)); };
    const auto spin = [&](const QString& key) { return static_cast<QSpinBox*>(prefs.control(key)); };

    struct Reader {
        QString key;
        std::function<void()> change;
        std::function<QVariant()> read;
        QVariant before;
        QVariant after;
    };
    auto* siteList = static_cast<views::SitesPane*>(shell.window().sitesPane())->siteList();
    const std::vector<Reader> readers {
        { "csvQuoteEscapeOption", [&] { popUp("csvQuoteEscapeOption")->setCurrentIndex(2); },
            [] { return QVariant(qfDataSource::csvQuoteEscapeOption()); }, qint64(1), qint64(2) },
        { "verbosity", [&] { popUp("verbosity")->setCurrentIndex(3); },
            [] { return QVariant(crawlmere::platform::verbosity()); }, 0, 3 },
        { "sitesTableIconSize", [&] { popUp("sitesTableIconSize")->setCurrentIndex(2); },
            [&] { return QVariant(siteList->iconSize().height()); }, 42, 120 },
        { crawlKey::numberOfThreads, [&] { spin(crawlKey::numberOfThreads)->setValue(3); },
            [&] { return sites.getBlankSettings().value(crawlKey::numberOfThreads); }, qint64(12), qint64(3) },
        { crawlKey::linksLimit, [&] { spin(crawlKey::linksLimit)->setValue(500); },
            [&] { return sites.getBlankSettings().value(crawlKey::linksLimit); }, qint64(2000000), qint64(500) },
        { crawlKey::timeout, [&] { static_cast<QDoubleSpinBox*>(prefs.control(crawlKey::timeout))->setValue(5); },
            [&] { return sites.getBlankSettings().value(crawlKey::timeout); }, 30.0, 5.0 },
    };
    for (const Reader& reader : readers) {
        SCOPED_TRACE(reader.key.toStdString());
        EXPECT_EQ(reader.read(), reader.before);
        reader.change();
        EXPECT_EQ(reader.read(), reader.after);
    }

    // This build has no page search: the text content tab offers no choice of what a search
    // reads, nor a warning about that choice.
    EXPECT_EQ(prefs.control(QStringLiteral("searchEntireSource")), nullptr);
    EXPECT_EQ(prefs.findChild<QWidget*>(QStringLiteral("textContentOptionsWarning")), nullptr);
    shell.terminate();
}

TEST_F(PreferencesWindowTest, ALabelDefaultReloadsTheByLinkViewOfAScan)
{
    crawlmere::test::LoopbackServer site;
    site.server().set_keep_alive_timeout(1);
    site.server().Get("/", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("<html><head><title>Home</title></head><body><a href=\"/gone\">gone</a>"
                             "<a href=\"/here\">here</a></body></html>",
            "text/html");
    });
    site.server().Get("/here", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("<html><body>here</body></html>", "text/html");
    });
    ASSERT_TRUE(site.start());
    auto prompts = std::make_shared<RecordingPrompts>();
    app::MainInterface shell(store(), prompts);
    shell.launch();
    app::MainWindow& window = shell.window();
    shell.configManager()->newConfigWithURL(site.url(QStringLiteral("/")));
    window.goButton()->click();
    ASSERT_TRUE(waitUntil([&] { return window.goButton()->text() == QLatin1String("Go"); }));
    window.mainTabView()->selectTabViewItemWithIdentifier(QStringLiteral("1"));
    CrwlByLinkDataSource& byLink = shell.results().byLinkDataSource();
    const auto labelledRows = [&] {
        int labelled = 0;
        for (qsizetype row = 0; row < 3; ++row)
            labelled += byLink.labelColourForRow(row).has_value() ? 1 : 0;
        return labelled;
    };
    ASSERT_EQ(labelledRows(), 1) << "the missing page";

    auto* view = window.resultView(QStringLiteral("byLinkView"));
    ASSERT_NE(view, nullptr);
    QSignalSpy resets(view->model(), &QAbstractItemModel::modelReset);
    QSignalSpy layouts(view->model(), &QAbstractItemModel::layoutChanged);
    shell.preferencesWindow().showPrefs();
    static_cast<QCheckBox*>(shell.preferencesWindow().control(QStringLiteral("displayLabels")))->click();
    EXPECT_EQ(labelledRows(), 0);
    EXPECT_GE(resets.count() + layouts.count(), 1) << "the view reloads its rows";
    static_cast<QCheckBox*>(shell.preferencesWindow().control(QStringLiteral("displayLabels")))->click();
    EXPECT_EQ(labelledRows(), 1);
    EXPECT_GE(resets.count() + layouts.count(), 2);
    shell.terminate();
}

// A sitemap preference changed while the Sitemap tab is on screen shows at once in the tab and
// in what it exports: the PDF left out with its own box unticked, the page whose canonical URL
// is another page left out.
TEST_F(PreferencesWindowTest, SitemapPreferencesReachTheSitemapTabOnScreenAndItsExport)
{
    crawlmere::test::LoopbackServer site;
    site.server().set_keep_alive_timeout(1);
    const auto page = [&](const char* path, const char* head, const char* body) {
        site.server().Get(path, [head, body](const httplib::Request&, httplib::Response& response) {
            response.set_content(std::string("<html><head><title>t</title>") + head + "</head><body>" + body
                    + "</body></html>",
                "text/html");
        });
    };
    page("/", "", "<a href=\"/a\">a</a> <a href=\"/doc.pdf\">pdf</a> <a href=\"/copy\">copy</a>");
    page("/a", "", "a");
    page("/copy", "<link rel=\"canonical\" href=\"/a\">", "copy");
    site.server().Get("/doc.pdf", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("%PDF-1.4\n%%EOF\n", "application/pdf");
    });
    ASSERT_TRUE(site.start());
    store().setBool(true, QStringLiteral("includePdfsInSitemap"));
    store().setBool(false, QStringLiteral("sitemapObservesCanonicalElsewhere"));
    auto prompts = std::make_shared<RecordingPrompts>();
    app::MainInterface shell(store(), prompts);
    shell.launch();
    app::MainWindow& window = shell.window();
    shell.configManager()->newConfigWithURL(site.url(QStringLiteral("/")));
    window.goButton()->click();
    ASSERT_TRUE(waitUntil([&] { return window.goButton()->text() == QLatin1String("Go"); }));
    window.mainTabView()->selectTabViewItemWithIdentifier(QStringLiteral("5"));
    auto* tab = window.findChild<views::SitemapTab*>();
    ASSERT_NE(tab, nullptr);
    ASSERT_TRUE(tab->isVisible());
    auto* pdfBox = tab->findChild<QCheckBox*>(QStringLiteral("includepdfsinsitemap"));
    const auto listed = [&] {
        QStringList urls;
        const QAbstractItemModel* rows = tab->sitemapTableView()->model();
        for (int row = 0; row < rows->rowCount(); ++row)
            urls << rows->index(row, 0).data().toString();
        return urls;
    };
    const QString pdf = site.url(QStringLiteral("/doc.pdf"));
    const QString copy = site.url(QStringLiteral("/copy"));
    ASSERT_TRUE(listed().contains(pdf)) << qPrintable(listed().join(u' '));
    ASSERT_TRUE(listed().contains(copy));
    EXPECT_TRUE(pdfBox->isChecked());

    shell.preferencesWindow().showPrefs();
    static_cast<QCheckBox*>(shell.preferencesWindow().control(QStringLiteral("includePdfsInSitemap")))->click();
    static_cast<QCheckBox*>(shell.preferencesWindow().control(QStringLiteral("sitemapObservesCanonicalElsewhere")))
        ->click();
    shell.preferencesWindow().close();
    EXPECT_FALSE(listed().contains(pdf));
    EXPECT_FALSE(listed().contains(copy));
    EXPECT_TRUE(listed().contains(site.url(QStringLiteral("/a"))));
    EXPECT_FALSE(pdfBox->isChecked());
    const QString exported = shell.results().sitemapManager().getXMLSitemap().join(QString());
    EXPECT_FALSE(exported.contains(pdf));
    EXPECT_FALSE(exported.contains(copy));
    EXPECT_TRUE(exported.contains(site.url(QStringLiteral("/a"))));
    shell.terminate();
}

TEST_F(PreferencesWindowTest, TheSitemapSwitchesChangeTheNextSitemapOfAHeadlessScan)
{
    crawlmere::test::LoopbackServer site;
    site.server().set_keep_alive_timeout(1);
    site.server().Get("/", [](const httplib::Request&, httplib::Response& response) {
        response.set_header("Last-Modified", "Tue, 03 Mar 2026 10:00:00 GMT");
        response.set_content("<html><head><title>Home</title></head><body><a href=\"/a\">a</a>"
                             "<img src=\"/logo.png\" alt=\"logo\"></body></html>",
            "text/html");
    });
    site.server().Get("/a", [](const httplib::Request&, httplib::Response& response) {
        response.set_header("Last-Modified", "Tue, 03 Mar 2026 10:00:00 GMT");
        response.set_content("<html><head><title>A</title></head><body>a</body></html>", "text/html");
    });
    site.server().Get("/logo.png",
        [](const httplib::Request&, httplib::Response& response) { response.set_content("png", "image/png"); });
    ASSERT_TRUE(site.start());
    QTemporaryDir folder;
    const auto sitemapAfterScan = [&](const QString& name) {
        const QString path = folder.filePath(name);
        EXPECT_EQ(crawlmere::test::runHeadlessQuietly({ QStringLiteral("--sitemap"), path, site.url(QStringLiteral("/")) }),
            app::kExitFinished);
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    };

    PreferencesModel model(store());
    const QString registered = sitemapAfterScan(QStringLiteral("registered.xml"));
    EXPECT_TRUE(registered.contains(QStringLiteral("<image:loc>"))) << qPrintable(registered);
    EXPECT_TRUE(registered.contains(QStringLiteral("<lastmod>"))) << qPrintable(registered);

    ASSERT_TRUE(model.setValue(*PreferencesModel::preference(QStringLiteral("includeimagesinsitemap")), false));
    ASSERT_TRUE(model.setValue(*PreferencesModel::preference(QStringLiteral("includeLastModInXML")), false));
    const QString switchedOff = sitemapAfterScan(QStringLiteral("off.xml"));
    EXPECT_FALSE(switchedOff.contains(QStringLiteral("<image:loc>"))) << qPrintable(switchedOff);
    EXPECT_FALSE(switchedOff.contains(QStringLiteral("<lastmod>"))) << qPrintable(switchedOff);
    EXPECT_TRUE(switchedOff.contains(site.url(QStringLiteral("/a")))) << qPrintable(switchedOff);
}

TEST_F(PreferencesWindowTest, HelpTopicsOfThePreferencesOpenFromTheirButtons)
{
    app::MainInterface shell(store());
    shell.launch();
    app::PreferencesWindow& prefs = shell.preferencesWindow();
    prefs.showPrefs();
    int buttons = 0;
    for (const views::PreferencePage& page : PreferencesModel::pages()) {
        for (const Preference& preference : page.preferences) {
            if (preference.helpTopic.isEmpty())
                continue;
            SCOPED_TRACE(preference.key.toStdString());
            QWidget* holder = prefs.control(preference.key)->parentWidget();
            QToolButton* help = nullptr;
            for (auto* candidate : holder->findChildren<QToolButton*>(QStringLiteral("helpButton"))) {
                if (candidate->property("helpTopic").toString() == preference.helpTopic)
                    help = candidate;
            }
            ASSERT_NE(help, nullptr);
            ++buttons;
        }
    }
    EXPECT_GE(buttons, 15);
    const auto topic = [&](const char* key) {
        for (auto* candidate : prefs.findChildren<QToolButton*>(QStringLiteral("helpButton"))) {
            if (candidate->property("helpTopic").toString() == QLatin1String(key))
                return candidate;
        }
        return static_cast<QToolButton*>(nullptr);
    };
    for (const auto& [action, title] : { std::pair { "verbosity:", "Verbosity" }, std::pair { "soft404:", "Soft404" },
             std::pair { "redirectcolour:", "Redirects" } }) {
        QToolButton* help = topic(action);
        ASSERT_NE(help, nullptr) << action;
        help->click();
        EXPECT_EQ(shell.manual().context(), QLatin1String(title));
    }
    shell.terminate();
}

TEST_F(PreferencesWindowTest, HelpTopicsStandBesideTheirControlsInEveryWindow)
{
    app::MainInterface shell(store());
    shell.launch();
    QWidget* inspector = inspectPage(shell);
    ASSERT_NE(inspector, nullptr);

    // Each topic's button and the control it explains share one line, in whichever window.
    QMultiHash<QString, QToolButton*> buttons;
    for (QWidget* top : QApplication::topLevelWidgets()) {
        for (QToolButton* button : top->findChildren<QToolButton*>(QStringLiteral("helpButton")))
            buttons.insert(button->property("helpTopic").toString(), button);
    }
    const std::pair<const char*, QString> placed[] = { { "downloadTime:", "inspectorDownloadTime" },
        { "schedule_overview:", "refreshScheduleToolButton" }, { "visualisation:", "exportAsDotButton" },
        { "lastmod:", "includelastmodinsitemap" }, { "lastmod:", "includeLastModInXML" }, { "verbosity:", "verbosity" },
        { "redirectcolour:", "displayLabelsForRedirects" }, { "soft404:", crawlKey::shouldCheckForSoft404 },
        { "localdefault:", crawlKey::defaultLocalFileName }, { "formactions:", "formActions" },
        { "sitemapFilenameOption:", "sitemapFilenameOptions" },
        { "robotsSitemap:", "sitemapObservesCanonicalElsewhere" }, { "threads:", crawlKey::numberOfThreads },
        { "threads:", crawlKey::timeout }, { "threads:", crawlKey::maxRPM } };
    for (const auto& [topic, control] : placed) {
        SCOPED_TRACE(std::string(topic) + " " + control.toStdString());
        const QList<QToolButton*> candidates = buttons.values(QLatin1String(topic));
        EXPECT_TRUE(std::any_of(candidates.cbegin(), candidates.cend(), [control](QToolButton* button) {
            return button->parentWidget()->findChild<QWidget*>(control) != nullptr;
        }));
    }
    EXPECT_GE(buttons.uniqueKeys().size(), 36) << qPrintable(buttons.uniqueKeys().join(u' '));

    buttons.value(QStringLiteral("downloadTime:"))->click();
    EXPECT_EQ(shell.manual().context(), QStringLiteral("Download Time"));
    buttons.value(QStringLiteral("schedule_overview:"))->click();
    EXPECT_EQ(shell.manual().context(), QStringLiteral("Schedule Overview"));
    inspector->close();
    shell.terminate();
}

// Each label of the page inspector stands level with its text field, also where a "?" shares
// the field's line (Load time), at the window's own height and when it is made taller.
TEST_F(PreferencesWindowTest, ThePageInspectorsLabelsAreLevelWithTheirFields)
{
    app::MainInterface shell(store());
    shell.launch();
    QWidget* inspector = inspectPage(shell);
    ASSERT_NE(inspector, nullptr);
    QWidget* loadTime = inspector->findChild<QWidget*>(QStringLiteral("inspectorDownloadTime"));
    ASSERT_NE(loadTime, nullptr);
    QFormLayout* form = nullptr;
    for (QFormLayout* candidate : inspector->findChildren<QFormLayout*>()) {
        if (candidate->indexOf(loadTime->parentWidget()) >= 0)
            form = candidate;
    }
    ASSERT_NE(form, nullptr) << "the Load time field shares a line with its help button";
    const auto middle
        = [inspector](const QWidget* widget) { return widget->mapTo(inspector, widget->rect().center()).y(); };
    for (const int extra : { 0, 400 }) {
        inspector->resize(inspector->width(), inspector->sizeHint().height() + extra);
        inspector->layout()->activate();
        int checked = 0;
        for (int row = 0; row < form->rowCount(); ++row) {
            QLayoutItem* label = form->itemAt(row, QFormLayout::LabelRole);
            QLayoutItem* item = form->itemAt(row, QFormLayout::FieldRole);
            QWidget* field = item ? item->widget() : nullptr;
            if (field && !qobject_cast<QLineEdit*>(field))
                field = field->findChild<QLineEdit*>();
            if (!label || !label->widget() || !field)
                continue;
            ++checked;
            EXPECT_LE(std::abs(middle(label->widget()) - middle(field)), 2)
                << qPrintable(qobject_cast<QLabel*>(label->widget())->text()) << " with " << extra << " px more";
        }
        EXPECT_GE(checked, 17);
    }
    inspector->close();
    shell.terminate();
}

TEST_F(PreferencesWindowTest, SettingsExportItemsWriteAFileThatImportsBackToTheSameSite)
{
    QTemporaryDir folder;
    app::MainInterface shell(store());
    shell.launch();
    app::MainWindow& window = shell.window();
    crawlmere::settings::ConfigManager& sites = *shell.configManager();
    sites.newConfigWithURL(QStringLiteral("https://exported.test/"));
    const QVariantMap selected = sites.currentSettings();

    QAction* exportOne = window.menuItem(QStringLiteral("exportSelectedSettingsMenuItem"));
    QAction* exportAll = window.menuItem(QStringLiteral("exportAllSettingsMenuItem"));
    ASSERT_NE(exportOne, nullptr);
    ASSERT_NE(exportAll, nullptr);
    EXPECT_TRUE(window.menuBar()->findChild<QMenu*>(QStringLiteral("fileMenu"))->actions().contains(exportOne));
    const QString one = folder.filePath(QStringLiteral("site.lcsettings"));
    crawlmere::test::answerSavePanelWith(one);
    exportOne->trigger();
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(one); }));
    const QString all = folder.filePath(QStringLiteral("sites.lcsbatch"));
    crawlmere::test::answerSavePanelWith(all);
    exportAll->trigger();
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(all); }));

    // Imported on an installation that lacks it, the file adds the same site.
    UserDefaults other(folder.filePath(QStringLiteral("other.plist")));
    other.setObject(QVariantList { QVariantMap { { QStringLiteral("id"), QStringLiteral("elsewhere-1") },
                        { QStringLiteral("name"), QStringLiteral("there") },
                        { crawlKey::startingUrl, QStringLiteral("https://there.test/") } } },
        QStringLiteral("websites"));
    crawlmere::settings::ConfigManager elsewhere(other);
    elsewhere.applicationHasFinishedLaunching();
    ASSERT_TRUE(elsewhere.openLcsettingsFile(one));
    const auto imported = elsewhere.settingsForID(selected.value(QStringLiteral("id")).toString());
    ASSERT_TRUE(imported.has_value());
    for (const QString& key : { QStringLiteral("id"), QStringLiteral("name"), QString(crawlKey::startingUrl),
             QString(crawlKey::linksLimit), QString(crawlKey::checkImages) })
        EXPECT_EQ(imported->value(key), selected.value(key)) << qPrintable(key);
    // The batch holds every site of the list; all of them exist there now but one.
    EXPECT_EQ(elsewhere.openLcsbatchFile(all), sites.websites().size() - 1);
    // Imported here, the file selects the existing site and adds nothing.
    const qsizetype count = sites.websites().size();
    ASSERT_TRUE(sites.openLcsettingsFile(one));
    EXPECT_EQ(sites.websites().size(), count);

    // The site list's context menu offers the same two items.
    views::SitesPane* pane = static_cast<views::SitesPane*>(window.sitesPane());
    QTreeWidget* list = pane->siteList();
    window.mainTabView()->selectTabViewItemWithIdentifier(QStringLiteral("0"));
    QTreeWidgetItem* row = list->topLevelItem(1);
    ASSERT_NE(row, nullptr);
    QStringList offered;
    QTimer::singleShot(50, [&] {
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            for (QAction* action : menu->actions())
                offered << action->objectName();
            menu->close();
        }
    });
    const QPoint at = list->visualItemRect(row).center();
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, list->viewport()->mapToGlobal(at));
    QApplication::sendEvent(list->viewport(), &event);
    EXPECT_TRUE(offered.contains(QStringLiteral("exportSelectedSettingsMenuItem"))) << offered.join(u',').toStdString();
    EXPECT_TRUE(offered.contains(QStringLiteral("exportAllSettingsMenuItem")));
    shell.terminate();
}

TEST_F(PreferencesWindowTest, StartUpFocusesTheUrlFieldAndTheFewResultsAlertOpensSupport)
{
    crawlmere::test::LoopbackServer site;
    site.server().set_keep_alive_timeout(1);
    site.server().Get("/", [](const httplib::Request&, httplib::Response& response) {
        response.status = 404;
        response.set_content("gone", "text/plain");
    });
    ASSERT_TRUE(site.start());
    auto prompts = std::make_shared<RecordingPrompts>();
    prompts->answers = { 1 };
    auto opener = std::make_shared<crawlmere::platform::RecordingUrlOpener>();
    store().setObject(QStringLiteral("https://support.test/ask"), app::DelegateActions::kSupportPageKey);
    app::MainInterface shell(store(), prompts);
    shell.delegate().setUrlOpener(opener);
    shell.launch();
    app::MainWindow& window = shell.window();
    auto* pane = static_cast<views::SitesPane*>(window.sitesPane());
    EXPECT_EQ(window.focusWidget(), pane->settingsPane()->control(crawlKey::startingUrl));

    shell.configManager()->newConfigWithURL(site.url(QStringLiteral("/")));
    window.goButton()->click();
    ASSERT_TRUE(waitUntil([&] { return !prompts->alerts.isEmpty(); }));
    EXPECT_EQ(prompts->alerts.first().messageText, QStringLiteral("Possible problem with starting URL"));
    EXPECT_EQ(opener->opened, QList<QUrl> { QUrl(QStringLiteral("https://support.test/ask")) });
    store().removeObjectForKey(app::DelegateActions::kSupportPageKey);
    shell.terminate();
}

} // namespace
