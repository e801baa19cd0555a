// The settings pane: bound controls, the crawl rules table with its sheet, the sitemap rules.
#include "views/SettingsPane.h"

#include "engine/CrawlSettingTable.h"
#include "engine/CrwlUrl.h"
#include "engine/SettingsValue.h"
#include "platform/Log.h"
#include "platform/UserDefaults.h"
#include "settings/ConfigManager.h"
#include "settings/SettingsBinding.h"
#include "settings/SpellingLanguages.h"
#include "views/CutCells.h"
#include "views/RulesSheet.h"
#include "views/UAStringManager.h"
#include "views/WheelGuard.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleValidator>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QScrollArea>
#include <QSlider>
#include <QTabWidget>
#include <QTableWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include <limits>

namespace crawlmere::views {

using settings::BindingKind;
using settings::ConfigManager;
using Defaults = platform::UserDefaults;

namespace {

/// Controls that stay bound but are hidden: their features are not offered by this build.
const QStringList& hiddenControls()
{
    static const QStringList keys { QStringLiteral("checkSpelling"), QStringLiteral("language"),
        QStringLiteral("shouldParsePDFs"), QStringLiteral("shouldParseDOCXs"), QStringLiteral("runJS") };
    return keys;
}

QString labelFor(const QString& key)
{
    static const QHash<QString, QString> labels {
        { QStringLiteral("startingUrl"), QObject::tr("Starting URL:") },
        { QStringLiteral("singlePage"), QObject::tr("Check this page only") },
        { QStringLiteral("checkImages"), QObject::tr("Check images") },
        { QStringLiteral("linkedFiles"), QObject::tr("Check linked files") },
        { QStringLiteral("searchMetaDataForURLs"), QObject::tr("Look for URLs in meta data") },
        { QStringLiteral("lookForLazyLoadImageURLs"), QObject::tr("Look for lazy-load images") },
        { QStringLiteral("loadImages"), QObject::tr("Load images") },
        { QStringLiteral("internalOnly"), QObject::tr("Check internal links only") },
        { QStringLiteral("userAgentString"), QObject::tr("User agent:") },
        { QStringLiteral("customHeaderAcceptLanguage"), QObject::tr("Accept-Language:") },
        { QStringLiteral("blacklistByRobotsTxt"), QObject::tr("Observe robots.txt") },
        { QStringLiteral("dontFollowNofollowLinks"), QObject::tr("Don't follow nofollow links") },
        { QStringLiteral("followSubdomains"), QObject::tr("Follow subdomains") },
        { QStringLiteral("crawlUpwards"), QObject::tr("Follow links above the starting folder") },
        { QStringLiteral("tolerateUpADirectory"), QObject::tr("Tolerate ../ above the domain") },
        { QStringLiteral("linksLimit"), QObject::tr("Links limit:") },
        { QStringLiteral("levelsLimit"), QObject::tr("Levels limit:") },
        { QStringLiteral("occurrencesLimit"), QObject::tr("Occurrences limit:") },
        { QStringLiteral("limitOccurrences"), QObject::tr("Limit occurrences") },
        { QStringLiteral("trimQuery"), QObject::tr("Ignore query strings") },
        { QStringLiteral("shouldTrimHash"), QObject::tr("Treat #fragments as separate pages") },
        { QStringLiteral("wordpressUrls"), QObject::tr("WordPress URLs") },
        { QStringLiteral("shouldIgnoreSlash"), QObject::tr("Ignore trailing slashes") },
        { QStringLiteral("numberOfThreads"), QObject::tr("Threads:") },
        { QStringLiteral("timeout"), QObject::tr("Time-out (s):") },
        { QStringLiteral("maxRPM"), QObject::tr("Requests per minute:") },
        { QStringLiteral("limitRPM"), QObject::tr("Limit the request rate") },
        { QStringLiteral("language"), QObject::tr("Spelling language:") },
        { QStringLiteral("checkSpelling"), QObject::tr("Check spelling") },
        { QStringLiteral("runJS"), QObject::tr("Run JavaScript") },
        { QStringLiteral("hashIsBad"), QObject::tr("Report empty and \"#\" links as bad") },
        { QStringLiteral("shouldArchive"), QObject::tr("Archive pages") },
        { QStringLiteral("shouldParsePDFs"), QObject::tr("Read links in PDFs") },
        { QStringLiteral("shouldParseDOCXs"), QObject::tr("Read links in DOCX files") },
        { QStringLiteral("status"), QObject::tr("Last scan:") },
        { QStringLiteral("ignoreSessid"), QObject::tr("Ignore session ids") },
        { QStringLiteral("sessidParam"), QObject::tr("Session id parameter:") },
        { QStringLiteral("ignoreScheme"), QObject::tr("Ignore http/https differences") },
        { QStringLiteral("httpIsExternal"), QObject::tr("Treat http links as external") },
    };
    return labels.value(key, key);
}

int integerOf(const QVariant& value) { return static_cast<int>(Defaults::integerValue(value)); }

const QString kCheckContentKey = QStringLiteral("blacklistShouldCheckContent");

const QStringList kSitemapColumns { QStringLiteral("contains"), QStringLiteral("priority"), QStringLiteral("update"),
    QStringLiteral("match") };

} // namespace

SettingsPane::SettingsPane(ConfigManager& manager, QWidget* parent, const QString& dictionaryFolder)
    : QWidget(parent)
    , m_manager(manager)
{
    setObjectName(QStringLiteral("settingsPane"));
    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName(QStringLiteral("configTabView"));
    auto* scroll = new QScrollArea(m_tabs);
    scroll->setObjectName(QStringLiteral("optionsTabViewItem"));
    scroll->setWidgetResizable(true);
    auto* options = new QWidget(scroll);
    buildOptions(options, dictionaryFolder.isEmpty() ? settings::SpellingLanguages::systemFolder() : dictionaryFolder);
    // The wheel scrolls the pane; the thread slider and the pop-ups take it only when focused.
    WheelGuard::guard(options);
    scroll->setWidget(options);
    m_optionsTab = scroll;
    m_tabs->addTab(scroll, tr("Settings"));
    auto* rules = new QWidget(m_tabs);
    rules->setObjectName(QStringLiteral("rulesTabViewItem"));
    buildRules(rules);
    m_tabs->addTab(rules, tr("Rules"));
    auto* sitemap = new QWidget(m_tabs);
    sitemap->setObjectName(QStringLiteral("sitemapRulesTabViewItem"));
    buildSitemapRules(sitemap);
    m_tabs->addTab(sitemap, tr("Sitemap rules"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_tabs);
    m_rulesSheet = new RulesSheet(this);
    connect(m_rulesSheet, &QDialog::finished, this, [this](int code) {
        if (code != 1) {
            if (m_editedRow >= 0)
                platform::logLine(1, QStringLiteral("cancelled editing"));
        } else if (m_editedRow >= 0) {
            m_manager.editBlacklistRule(
                m_editedRow, m_rulesSheet->ruleTag(), m_rulesSheet->doesNotContain(), m_rulesSheet->text());
        } else {
            m_manager.addBlacklistRule(m_rulesSheet->ruleTag(), m_rulesSheet->doesNotContain(), m_rulesSheet->text());
        }
        m_rulesSheet->clearText();
        m_editedRow = -1;
    });
}

SettingsPane::~SettingsPane() = default;

void SettingsPane::buildOptions(QWidget* page, const QString& dictionaryFolder)
{
    auto* form = new QFormLayout(page);
    for (const auto& row : settings::settingsBindingTable()) {
        QWidget* widget = nullptr;
        switch (row.kind) {
        case BindingKind::Check:
        case BindingKind::CheckOrDefault:
        case BindingKind::InvertedCheck:
            widget = new QCheckBox(labelFor(row.key), page);
            break;
        case BindingKind::StartingUrl:
        case BindingKind::TextOrDefault:
        case BindingKind::Text:
            widget = new QLineEdit(page);
            break;
        case BindingKind::Limit:
        case BindingKind::NonZeroInteger: {
            auto* field = new QLineEdit(page);
            field->setValidator(new QIntValidator(0, std::numeric_limits<int>::max(), field));
            widget = field;
            break;
        }
        case BindingKind::Seconds: {
            auto* field = new QLineEdit(page);
            auto* seconds = new QDoubleValidator(0.0, 86400.0, 3, field);
            seconds->setNotation(QDoubleValidator::StandardNotation);
            seconds->setLocale(QLocale::c());
            field->setValidator(seconds);
            widget = field;
            break;
        }
        case BindingKind::Threads: {
            auto* slider = new QSlider(Qt::Horizontal, page);
            const auto range = crawlmere::engine::findCrawlSetting(row.key)->range;
            slider->setRange(int(range->lowest), int(range->highest));
            widget = slider;
            break;
        }
        case BindingKind::Language: {
            auto* languages = new QComboBox(page);
            languages->addItems(settings::SpellingLanguages::sortedArrayOfDisplayLanguages(
                settings::SpellingLanguages::availableLanguages(dictionaryFolder)));
            widget = languages;
            break;
        }
        case BindingKind::Status: {
            auto* status = new QLineEdit(page);
            status->setReadOnly(true);
            showFieldTextFromStart(*status);
            widget = status;
            break;
        }
        }
        widget->setObjectName(row.kind == BindingKind::Language ? QStringLiteral("languages") : row.key);
        m_controls.insert(row.key, widget);
        connectControl(row.key, widget);
        if (row.kind == BindingKind::Threads) {
            m_threadsDisplay = new QLabel(QStringLiteral("0"), page);
            m_threadsDisplay->setObjectName(QStringLiteral("numberOfThreadsDisplay"));
            auto* box = new QWidget(page);
            auto* line = new QHBoxLayout(box);
            line->setContentsMargins(0, 0, 0, 0);
            line->addWidget(widget);
            line->addWidget(m_threadsDisplay);
            form->addRow(labelFor(row.key), box);
        } else if (row.key == u"userAgentString") {
            auto* box = new QWidget(page);
            auto* line = new QHBoxLayout(box);
            line->setContentsMargins(0, 0, 0, 0);
            line->addWidget(widget);
            // A long agent string reads from its name, not from its tail.
            showFieldTextFromStart(*static_cast<QLineEdit*>(widget));
            line->addWidget((new UAStringManager(static_cast<QLineEdit*>(widget), box))->button());
            form->addRow(labelFor(row.key), box);
        } else if (qobject_cast<QCheckBox*>(widget)) {
            form->addRow(widget);
        } else {
            form->addRow(labelFor(row.key), widget);
        }
        if (hiddenControls().contains(row.key)) {
            widget->setHidden(true);
            if (auto* label = form->labelForField(widget))
                label->setHidden(true);
        }
        if (row.key == u"checkImages") {
            m_imagesDisabledInfo = new QLabel(tr("Images are not checked."), page);
            m_imagesDisabledInfo->setObjectName(QStringLiteral("imagesDisabledInfoField"));
            form->addRow(m_imagesDisabledInfo);
        }
    }
}

void SettingsPane::connectControl(const QString& key, QWidget* widget)
{
    if (auto* box = qobject_cast<QCheckBox*>(widget)) {
        connect(box, &QCheckBox::toggled, this, [this, key](bool on) {
            if (m_showing)
                return;
            if (key == u"checkImages")
                m_imagesDisabledInfo->setHidden(on);
            m_manager.handleControl(key);
            if (key == u"limitRPM")
                recalcDelay(false);
        });
    } else if (auto* field = qobject_cast<QLineEdit*>(widget)) {
        connect(field, &QLineEdit::textEdited, this, [this, key](const QString& text) {
            if (key == u"startingUrl") {
                if (!m_urlEditing) {
                    m_urlEditing = true;
                    m_manager.controlTextShouldBeginEditing(key, text);
                }
                m_manager.controlTextDidChange(text);
            } else {
                m_manager.controlTextShouldBeginEditing(key, text);
                m_manager.setDirty(true);
            }
        });
        connect(field, &QLineEdit::editingFinished, this, [this, key, field] {
            if (key == u"startingUrl" && m_urlEditing) {
                m_urlEditing = false;
                m_manager.controlTextDidEndEditing(field->text());
                m_manager.handleControl(key);
            } else if (key == u"maxRPM") {
                recalcDelay(false);
            }
        });
    } else if (auto* slider = qobject_cast<QSlider*>(widget)) {
        connect(slider, &QSlider::valueChanged, this, [this] {
            if (!m_showing)
                recalcDelay(true);
        });
    } else if (auto* languages = qobject_cast<QComboBox*>(widget)) {
        connect(languages, &QComboBox::activated, this, [this, languages] {
            m_manager.newLanguageSelected(languages->currentText());
            m_manager.handleControl(QStringLiteral("languages"));
        });
    }
}

void SettingsPane::recalcDelay(bool fromSlider)
{
    auto* slider = static_cast<QSlider*>(m_controls.value(QStringLiteral("numberOfThreads")));
    auto* rpm = static_cast<QLineEdit*>(m_controls.value(QStringLiteral("maxRPM")));
    auto* limit = static_cast<QCheckBox*>(m_controls.value(QStringLiteral("limitRPM")));
    if (fromSlider) {
        m_threadsDisplay->setText(QString::number(slider->value()));
        m_manager.setDirty(true);
    }
    const auto rate = ConfigManager::recalcDelay(limit->isChecked(), rpm->text().toInt(), slider->value());
    rpm->setText(QString::number(rate.maxRPM));
    rpm->setEnabled(rate.maxRPMEnabled);
    if (rate.threads != slider->value()) {
        const QSignalBlocker blocker(slider);
        slider->setValue(rate.threads);
        m_threadsDisplay->setText(QString::number(rate.threads));
    }
    m_manager.storeDelay(rate.delay);
}

void SettingsPane::showSettings(const QVariantMap& site)
{
    m_showing = true;
    const QVariantMap defaults = CrwlUrl::defaultCrawlSettings();
    const QVariantMap registered = m_manager.defaults().registeredDefaults();
    const QVariantMap application = CrwlUrl::applicationCrawlSettings(m_manager.defaults());
    m_shownValues.clear();
    m_shownSite = site;
    m_copiedValues.clear();
    // Every control is set: one the site holds no value for shows the value its scan uses,
    // never what the previous site left in it.
    for (const auto& row : settings::settingsBindingTable()) {
        QWidget* widget = m_controls.value(row.key);
        // What the scan will use: a crawl setting is read, and held within its range, as the
        // scan reads it; a setting the site lacks that the scan takes from the application's
        // store shows that store's value.
        const QVariant value = crawlmere::engine::effectiveSettingValue(row.key,
            site.contains(row.key)              ? site.value(row.key)
                : application.contains(row.key) ? application.value(row.key)
                                                : defaults.value(row.key, registered.value(row.key)));
        switch (row.kind) {
        case BindingKind::Check:
        case BindingKind::CheckOrDefault:
            static_cast<QCheckBox*>(widget)->setChecked(crawlmere::engine::crawlBool(value));
            break;
        case BindingKind::InvertedCheck:
            static_cast<QCheckBox*>(widget)->setChecked(!crawlmere::engine::crawlBool(value));
            break;
        case BindingKind::StartingUrl:
        case BindingKind::Text:
        case BindingKind::TextOrDefault:
        case BindingKind::Status:
            static_cast<QLineEdit*>(widget)->setText(Defaults::stringValue(value));
            break;
        case BindingKind::Limit:
        case BindingKind::NonZeroInteger:
            static_cast<QLineEdit*>(widget)->setText(QString::number(integerOf(value)));
            break;
        case BindingKind::Seconds:
            static_cast<QLineEdit*>(widget)->setText(QString::number(Defaults::doubleValue(value)));
            break;
        case BindingKind::Threads:
            static_cast<QSlider*>(widget)->setValue(integerOf(value));
            m_threadsDisplay->setText(QString::number(integerOf(value)));
            break;
        case BindingKind::Language:
            // A language no installed dictionary offers shows no item.
            static_cast<QComboBox*>(widget)->setCurrentIndex(
                static_cast<QComboBox*>(widget)->findText(Defaults::stringValue(value)));
            break;
        }
        m_shownValues.insert(row.key, storedValue(row));
    }
    m_imagesDisabledInfo->setHidden(
        static_cast<QCheckBox*>(m_controls.value(QStringLiteral("checkImages")))->isChecked());
    followRateLimit();
    m_showing = false;
}

void SettingsPane::followRateLimit()
{
    const auto* limit = static_cast<QCheckBox*>(m_controls.value(QStringLiteral("limitRPM")));
    m_controls.value(QStringLiteral("maxRPM"))->setEnabled(limit->isChecked());
}

QVariant SettingsPane::storedValue(const settings::BindingRow& row) const
{
    QWidget* widget = m_controls.value(row.key);
    switch (row.kind) {
    case BindingKind::Check:
    case BindingKind::CheckOrDefault:
        return static_cast<QCheckBox*>(widget)->isChecked();
    case BindingKind::InvertedCheck:
        return !static_cast<QCheckBox*>(widget)->isChecked();
    case BindingKind::StartingUrl:
    case BindingKind::Text:
    case BindingKind::TextOrDefault: {
        const QString text = static_cast<QLineEdit*>(widget)->text();
        return text.isEmpty() ? QVariant() : QVariant(text);
    }
    case BindingKind::Limit:
    case BindingKind::NonZeroInteger: {
        const qint64 number = static_cast<QLineEdit*>(widget)->text().toLongLong();
        return (row.kind == BindingKind::Limit ? number > 0 : number != 0) ? QVariant(number) : QVariant();
    }
    case BindingKind::Seconds: {
        const double seconds = QLocale::c().toDouble(static_cast<QLineEdit*>(widget)->text());
        return seconds != 0.0 ? QVariant(seconds) : QVariant();
    }
    case BindingKind::Threads: {
        const int threads = static_cast<QSlider*>(widget)->value();
        return threads != 0 ? QVariant(qint64(threads)) : QVariant();
    }
    case BindingKind::Language: {
        const auto* languages = static_cast<QComboBox*>(widget);
        return languages->currentIndex() >= 0 ? QVariant(languages->currentText()) : QVariant();
    }
    case BindingKind::Status:
        break;
    }
    return QVariant();
}

void SettingsPane::copyInterfaceToSettings(QVariantMap& site) const
{
    for (const auto& row : settings::settingsBindingTable()) {
        const QVariant value = storedValue(row);
        // A control still showing what it showed for this site stores nothing: the site keeps
        // its own value, or keeps lacking one and goes on scanning with the default.
        const auto shown = m_shownValues.constFind(row.key);
        if (shown != m_shownValues.cend() && *shown == value) {
            const auto copied = m_copiedValues.constFind(row.key);
            if (copied != m_copiedValues.cend() && site.value(row.key) == *copied) {
                if (m_shownSite.contains(row.key))
                    site.insert(row.key, m_shownSite.value(row.key));
                else
                    site.remove(row.key);
            }
            continue;
        }
        if (value.isValid()) {
            site.insert(row.key, value);
            m_copiedValues.insert(row.key, value);
        }
    }
}

void SettingsPane::setCheckbox(const QString& key, bool on)
{
    if (auto* box = qobject_cast<QCheckBox*>(m_controls.value(key))) {
        m_showing = true;
        box->setChecked(on);
        m_showing = false;
        if (key == u"checkImages")
            m_imagesDisabledInfo->setHidden(on);
        if (key == u"limitRPM")
            followRateLimit();
    }
}

QString SettingsPane::urlFieldText() const
{
    return static_cast<QLineEdit*>(m_controls.value(QStringLiteral("startingUrl")))->text();
}

void SettingsPane::setUrlFieldText(const QString& text)
{
    static_cast<QLineEdit*>(m_controls.value(QStringLiteral("startingUrl")))->setText(text);
}

void SettingsPane::setStatusText(const QString& text)
{
    static_cast<QLineEdit*>(m_controls.value(QStringLiteral("status")))->setText(text);
}

void SettingsPane::selectOptionsTab() { m_tabs->setCurrentWidget(m_optionsTab); }

// ----- crawl rules ---------------------------------------------------------------------------

void SettingsPane::buildRules(QWidget* page)
{
    m_rulesTable = new QTableWidget(0, 3, page);
    m_rulesTable->setObjectName(QStringLiteral("blacklistRulesTableView"));
    m_rulesTable->setHorizontalHeaderLabels({ tr("Rule"), tr("Scope"), tr("Term") });
    m_rulesTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_rulesTable->setSelectionMode(QAbstractItemView::SingleSelection);
    m_rulesTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_rulesTable->verticalHeader()->setDefaultSectionSize(17);
    // The rule and its scope as wide as their texts; the term takes the rest.
    m_rulesTable->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    m_rulesTable->horizontalHeader()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    m_rulesTable->horizontalHeader()->setStretchLastSection(true);
    connect(m_rulesTable, &QTableWidget::cellDoubleClicked, this, &SettingsPane::editBlacklistRule);
    auto* add = new QPushButton(tr("Add..."), page);
    add->setObjectName(QStringLiteral("addBlacklistRuleButton"));
    connect(add, &QPushButton::clicked, this, &SettingsPane::showBlacklistRulesWindow);
    auto* edit = new QPushButton(tr("Edit..."), page);
    connect(edit, &QPushButton::clicked, this, &SettingsPane::editBlacklistRule);
    auto* remove = new QPushButton(tr("Delete"), page);
    remove->setObjectName(QStringLiteral("deleteBlacklistRuleButton"));
    connect(remove, &QPushButton::clicked, this, &SettingsPane::deleteBlacklistRule);
    // Bound to the application default the scan reads: with it on, "Do not follow" and "Only
    // follow" terms are also looked for in each page's content.
    m_checkContent = new QCheckBox(tr("Apply the follow rules to page content too"), page);
    m_checkContent->setObjectName(QStringLiteral("blacklistCheckContentCheckBox"));
    m_checkContent->setChecked(m_manager.defaults().boolForKey(kCheckContentKey));
    connect(m_checkContent, &QCheckBox::toggled, this, [this](bool on) {
        m_manager.defaults().setBool(on, kCheckContentKey);
        reloadRuleTables();
    });
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(add);
    buttons->addWidget(edit);
    buttons->addWidget(remove);
    buttons->addStretch();
    buttons->addWidget(m_checkContent);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(m_rulesTable);
    layout->addLayout(buttons);
}

void SettingsPane::showBlacklistRulesWindow()
{
    m_editedRow = -1;
    m_rulesSheet->open();
}

void SettingsPane::editBlacklistRule()
{
    const int row = m_rulesTable->currentRow();
    const auto rule = m_manager.blacklistRuleAtIndex(row);
    if (!rule)
        return;
    m_editedRow = row;
    m_rulesSheet->setRule(rule->first, rule->second);
    m_rulesSheet->open();
}

void SettingsPane::deleteBlacklistRule() { m_manager.deleteBlacklistRule(m_rulesTable->currentRow()); }

void SettingsPane::reloadRuleTables()
{
    const int count = m_manager.blacklistRuleCount();
    m_rulesTable->setRowCount(count);
    // The box follows its default, which other windows may change too.
    const bool content = m_manager.defaults().boolForKey(kCheckContentKey);
    if (m_checkContent->isChecked() != content) {
        const QSignalBlocker quiet(m_checkContent);
        m_checkContent->setChecked(content);
    }
    for (int row = 0; row < count; ++row) {
        const auto [tag, term] = *m_manager.blacklistRuleAtIndex(row);
        const bool negated = term.startsWith(u'!');
        const QString scope = (content ? tr("urls and content ") : tr("urls "))
            + (negated ? tr("that don't contain:") : tr("that contain:"));
        m_rulesTable->setItem(row, 0, new QTableWidgetItem(ConfigManager::ruleListLabels().at(tag)));
        m_rulesTable->setItem(row, 1, new QTableWidgetItem(scope));
        m_rulesTable->setItem(row, 2, new QTableWidgetItem(negated ? term.mid(1) : term));
    }
    // The rule and scope texts read whole; the term takes the rest.
    if (count > 0) {
        m_rulesTable->resizeColumnToContents(0);
        m_rulesTable->resizeColumnToContents(1);
    }
    const QSignalBlocker blocker(m_sitemapTable);
    const QVariantList& rules = m_manager.sitemapRules();
    m_sitemapTable->setRowCount(static_cast<int>(rules.size()));
    for (int row = 0; row < rules.size(); ++row) {
        const QVariantMap rule = rules.at(row).toMap();
        for (int column = 0; column < 3; ++column)
            m_sitemapTable->setItem(
                row, column, new QTableWidgetItem(rule.value(kSitemapColumns.at(column)).toString()));
        auto* match = new QTableWidgetItem;
        match->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable);
        match->setCheckState(Defaults::boolValue(rule.value(QStringLiteral("match"))) ? Qt::Checked : Qt::Unchecked);
        m_sitemapTable->setItem(row, 3, match);
    }
}

// ----- sitemap rules -------------------------------------------------------------------------

void SettingsPane::buildSitemapRules(QWidget* page)
{
    m_sitemapTable = new QTableWidget(0, 4, page);
    m_sitemapTable->setObjectName(QStringLiteral("sitemapRulesTableView"));
    m_sitemapTable->setHorizontalHeaderLabels(
        { tr("URL contains"), tr("Priority"), tr("Change frequency"), tr("Match") });
    m_sitemapTable->verticalHeader()->setDefaultSectionSize(17);
    // The URL text takes the room; the other columns are as wide as their headers and values.
    QHeaderView* sitemapHeader = m_sitemapTable->horizontalHeader();
    sitemapHeader->setStretchLastSection(false);
    sitemapHeader->setSectionResizeMode(0, QHeaderView::Stretch);
    for (int column = 1; column < 4; ++column)
        sitemapHeader->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    connect(m_sitemapTable, &QTableWidget::cellChanged, this, &SettingsPane::sitemapCellChanged);
    auto* add = new QPushButton(tr("Add"), page);
    connect(add, &QPushButton::clicked, this, [this] { m_manager.addSitemapRule(); });
    auto* remove = new QPushButton(tr("Delete"), page);
    connect(remove, &QPushButton::clicked, this, [this] { m_manager.deleteSitemapRule(m_sitemapTable->currentRow()); });
    auto* apply = new QPushButton(tr("Apply to the sitemap"), page);
    apply->setObjectName(QStringLiteral("saveAndCloseRulesButton"));
    connect(apply, &QPushButton::clicked, this, [this] { m_manager.saveAndCloseRules(); });
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(add);
    buttons->addWidget(remove);
    buttons->addStretch();
    buttons->addWidget(apply);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(m_sitemapTable);
    layout->addLayout(buttons);
}

void SettingsPane::sitemapCellChanged(int row, int column)
{
    if (row < 0 || row >= m_manager.sitemapRules().size() || column < 0 || column > 3)
        return;
    const QTableWidgetItem* item = m_sitemapTable->item(row, column);
    if (!item)
        return;
    const QVariantMap rule = m_manager.sitemapRules().at(row).toMap();
    if (column == 3) {
        if ((item->checkState() == Qt::Checked) != Defaults::boolValue(rule.value(QStringLiteral("match"))))
            m_manager.userFinishedEditingSitemapRule(row, QStringLiteral("match"));
    } else if (item->text() != rule.value(kSitemapColumns.at(column)).toString()) {
        m_manager.userFinishedEditingSitemapRule(row, kSitemapColumns.at(column), item->text());
        // A value the rule did not take (a priority outside 0.0-1.0) gives way to the rule's.
        const QString kept = m_manager.sitemapRules().at(row).toMap().value(kSitemapColumns.at(column)).toString();
        if (kept != item->text()) {
            const QSignalBlocker blocker(m_sitemapTable);
            m_sitemapTable->item(row, column)->setText(kept);
        }
    }
}

} // namespace crawlmere::views
