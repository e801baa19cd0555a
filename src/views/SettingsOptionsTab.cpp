// The Settings tab: the bound controls, how they show a site and how they store it back.
#include "views/SettingsOptionsTab.h"

#include "engine/CrawlSettingTable.h"
#include "engine/CrwlUrl.h"
#include "engine/SettingsValue.h"
#include "platform/UserDefaults.h"
#include "settings/ConfigManager.h"
#include "settings/SettingsBinding.h"
#include "settings/SpellingLanguages.h"
#include "views/CutCells.h"
#include "views/UAStringManager.h"
#include "views/WheelGuard.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleValidator>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QSlider>
#include <QToolButton>

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

} // namespace

SettingsOptionsTab::SettingsOptionsTab(ConfigManager& manager, const QString& dictionaryFolder, QWidget* parent)
    : QScrollArea(parent)
    , m_manager(manager)
{
    setObjectName(QStringLiteral("optionsTabViewItem"));
    setWidgetResizable(true);
    auto* options = new QWidget(this);
    buildOptions(options, dictionaryFolder.isEmpty() ? settings::SpellingLanguages::systemFolder() : dictionaryFolder);
    // The wheel scrolls the pane; the thread slider and the pop-ups take it only when focused.
    WheelGuard::guard(options);
    setWidget(options);
}

SettingsOptionsTab::~SettingsOptionsTab() = default;

void SettingsOptionsTab::buildOptions(QWidget* page, const QString& dictionaryFolder)
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
            widget = status;
            break;
        }
        }
        // A text set into a field reads from its start (a long address keeps its scheme and host in
        // sight), however the site was chosen.
        if (auto* field = qobject_cast<QLineEdit*>(widget); field && row.kind == BindingKind::StartingUrl)
            cutFieldInTheMiddle(*field);
        else if (field)
            showFieldTextFromStart(*field);
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

void SettingsOptionsTab::connectControl(const QString& key, QWidget* widget)
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

void SettingsOptionsTab::recalcDelay(bool fromSlider)
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

void SettingsOptionsTab::showSettings(const QVariantMap& site)
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

void SettingsOptionsTab::followRateLimit()
{
    const auto* limit = static_cast<QCheckBox*>(m_controls.value(QStringLiteral("limitRPM")));
    m_controls.value(QStringLiteral("maxRPM"))->setEnabled(limit->isChecked());
}

QVariant SettingsOptionsTab::storedValue(const settings::BindingRow& row) const
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

void SettingsOptionsTab::copyInterfaceToSettings(QVariantMap& site) const
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

void SettingsOptionsTab::setCheckbox(const QString& key, bool on)
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

QString SettingsOptionsTab::urlFieldText() const
{
    return static_cast<QLineEdit*>(m_controls.value(QStringLiteral("startingUrl")))->text();
}

void SettingsOptionsTab::setUrlFieldText(const QString& text)
{
    static_cast<QLineEdit*>(m_controls.value(QStringLiteral("startingUrl")))->setText(text);
}

void SettingsOptionsTab::setStatusText(const QString& text)
{
    static_cast<QLineEdit*>(m_controls.value(QStringLiteral("status")))->setText(text);
}

} // namespace crawlmere::views
