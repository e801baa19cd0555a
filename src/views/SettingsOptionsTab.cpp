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

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QSlider>
#include <QToolButton>
#include <QValidator>

#include <algorithm>
#include <optional>

namespace crawlmere::views {

using settings::BindingKind;
using settings::ConfigManager;
using Defaults = platform::UserDefaults;

namespace {

/// The label of the control of `key`, as the crawl-settings table gives it.
QString labelFor(const QString& key)
{
    if (key == u"status")
        return QObject::tr("Last scan:");
    const engine::CrawlSetting* setting = engine::findCrawlSetting(key);
    return setting && setting->pane.label ? QObject::tr(setting->pane.label) : key;
}

/// Controls built hidden and kept bound: their features are not offered by this build.
bool builtHidden(const QString& key)
{
    const engine::CrawlSetting* setting = engine::findCrawlSetting(key);
    return setting && setting->pane.hidden;
}

int integerOf(const QVariant& value) { return static_cast<int>(platform::integerValue(value)); }

/// The range of a number setting; every number control of the pane has one in the table.
const engine::SettingRange& rangeOf(const QString& key)
{
    const engine::CrawlSetting* setting = engine::findCrawlSetting(key);
    Q_ASSERT_X(setting && setting->range, "SettingsOptionsTab", "a number control without a range in the table");
    return engine::crawlSettingRange(setting);
}

/// The number a field's text holds: ASCII digits, with one decimal point where `decimals`;
/// nothing for any other text.
std::optional<double> fieldNumber(const QString& text, bool decimals)
{
    if (text.isEmpty() || text.size() > 15)
        return std::nullopt;
    bool point = false;
    for (const QChar c : text) {
        if (c == u'.' && decimals && !point)
            point = true;
        else if (c < u'0' || c > u'9')
            return std::nullopt;
    }
    return text == u"." ? 0.0 : QLocale::c().toDouble(text);
}

/// How a number field writes `number`: a whole number, or with the decimals it needs.
QString fieldText(double number, bool decimals)
{
    return decimals ? QString::number(number, 'f', QLocale::FloatingPointShortest) : QString::number(qint64(number));
}

/// What a number field stores for `number`: within the setting's range; a number below it
/// stores nothing where low values read as the default (a limit or time-out of 0), else the
/// range's lowest. Nothing for 0.
std::optional<double> storableNumber(const engine::SettingRange& range, double number)
{
    if (!(number > 0))
        return std::nullopt;
    if (number < range.lowest)
        return range.belowReadsAsDefault ? std::nullopt : std::optional<double>(range.lowest);
    return std::min(number, range.highest);
}

/// Accepts a number within its setting's range, or an empty field. On Return or when the field
/// loses focus, a number outside the range becomes what the field stores for it (nothing or
/// the nearest end), so the field never keeps a value the scan would not use.
class SettingNumberValidator final : public QValidator {
public:
    SettingNumberValidator(const engine::SettingRange& range, bool decimals, QObject* parent)
        : QValidator(parent)
        , m_range(range)
        , m_decimals(decimals)
    {
    }
    State validate(QString& input, int&) const override
    {
        if (input.isEmpty())
            return Acceptable;
        const auto number = fieldNumber(input, m_decimals);
        if (!number)
            return Invalid;
        return *number >= m_range.lowest && *number <= m_range.highest ? Acceptable : Intermediate;
    }
    void fixup(QString& input) const override
    {
        const auto number = fieldNumber(input, m_decimals);
        const auto stored = number ? storableNumber(m_range, *number) : std::nullopt;
        input = stored ? fieldText(*stored, m_decimals) : QString();
    }

private:
    engine::SettingRange m_range;
    bool m_decimals;
};

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

SettingsOptionsTab::~SettingsOptionsTab()
{
    // Closing the window takes the focus from a field, which ends its editing: the tab no longer
    // answers by then.
    for (QWidget* control : std::as_const(m_controls))
        disconnect(control, nullptr, this, nullptr);
}

void SettingsOptionsTab::buildOptions(QWidget* page, const QString& dictionaryFolder)
{
    auto* form = new QFormLayout(page);
    for (const auto& row : settings::settingsBindingTable()) {
        QWidget* widget = nullptr;
        switch (row.kind) {
        case BindingKind::Check:
        case BindingKind::InvertedCheck:
            widget = new QCheckBox(labelFor(row.key), page);
            break;
        case BindingKind::StartingUrl:
        case BindingKind::Text:
            widget = new QLineEdit(page);
            break;
        case BindingKind::Limit:
        case BindingKind::NonZeroInteger:
        case BindingKind::Seconds: {
            auto* field = new QLineEdit(page);
            field->setValidator(
                new SettingNumberValidator(rangeOf(row.key), /*decimals=*/row.kind == BindingKind::Seconds, field));
            widget = field;
            break;
        }
        case BindingKind::Threads: {
            auto* slider = new QSlider(Qt::Horizontal, page);
            const engine::SettingRange& range = rangeOf(row.key);
            slider->setRange(int(range.lowest), int(range.highest));
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
        } else if (row.key == crawlKey::userAgentString) {
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
        if (builtHidden(row.key)) {
            widget->setHidden(true);
            if (auto* label = form->labelForField(widget))
                label->setHidden(true);
        }
        if (row.key == crawlKey::checkImages) {
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
            if (key == crawlKey::checkImages)
                m_imagesDisabledInfo->setHidden(on);
            m_manager.handleControl(key);
            if (key == crawlKey::limitRPM)
                recalcDelay(false);
        });
    } else if (auto* field = qobject_cast<QLineEdit*>(widget)) {
        connect(field, &QLineEdit::textEdited, this, [this, key](const QString& text) {
            if (key == crawlKey::startingUrl) {
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
            if (key == crawlKey::startingUrl && m_urlEditing) {
                m_urlEditing = false;
                m_manager.controlTextDidEndEditing(field->text());
                m_manager.handleControl(key);
            } else if (key == crawlKey::maxRPM) {
                recalcDelay(false);
            } else if (QApplication::activePopupWidget()) {
                // Not while a menu takes the keyboard for a moment (the Edit menu acts on the
                // field, its undo history included).
            } else if (field->validator()) {
                showScanNumber(key);
            } else if (engine::findCrawlSetting(key)
                && engine::findCrawlSetting(key)->pane.control == engine::SettingControl::Text) {
                showScanText(key);
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
    auto* slider = static_cast<QSlider*>(m_controls.value(crawlKey::numberOfThreads));
    auto* rpm = static_cast<QLineEdit*>(m_controls.value(crawlKey::maxRPM));
    auto* limit = static_cast<QCheckBox*>(m_controls.value(crawlKey::limitRPM));
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
    // What the scan of this site will read: its own values, then the application's, then the
    // defaults, completed as the scan completes them.
    const QVariantMap scan = CrwlUrl::scanSettingsFor(site, m_manager.defaults());
    const QVariantMap registered = m_manager.defaults().registeredDefaults();
    m_shownValues.clear();
    m_shownSite = site;
    m_copiedValues.clear();
    m_clearedKeys.clear();
    // Every control is set: one the site holds no value for shows the value its scan uses,
    // never what the previous site left in it.
    for (const auto& row : settings::settingsBindingTable()) {
        // What the scan will use: a crawl setting is read, and held within its range, as the
        // scan reads it.
        showValue(
            row, crawlmere::engine::effectiveSettingValue(row.key, scan.value(row.key, registered.value(row.key))));
        m_shownValues.insert(row.key, storedValue(row));
    }
    m_imagesDisabledInfo->setHidden(static_cast<QCheckBox*>(m_controls.value(crawlKey::checkImages))->isChecked());
    followRateLimit();
    m_showing = false;
}

void SettingsOptionsTab::showValue(const settings::BindingRow& row, const QVariant& value)
{
    QWidget* widget = m_controls.value(row.key);
    switch (row.kind) {
    case BindingKind::Check:
        static_cast<QCheckBox*>(widget)->setChecked(crawlmere::engine::boolValue(value));
        break;
    case BindingKind::InvertedCheck:
        static_cast<QCheckBox*>(widget)->setChecked(!crawlmere::engine::boolValue(value));
        break;
    case BindingKind::StartingUrl:
    case BindingKind::Text:
    case BindingKind::Status:
        static_cast<QLineEdit*>(widget)->setText(platform::stringValue(value));
        break;
    case BindingKind::Limit:
    case BindingKind::NonZeroInteger:
        static_cast<QLineEdit*>(widget)->setText(QString::number(integerOf(value)));
        break;
    case BindingKind::Seconds:
        static_cast<QLineEdit*>(widget)->setText(QString::number(platform::doubleValue(value)));
        break;
    case BindingKind::Threads:
        static_cast<QSlider*>(widget)->setValue(integerOf(value));
        m_threadsDisplay->setText(QString::number(integerOf(value)));
        break;
    case BindingKind::Language:
        // A language no installed dictionary offers shows no item.
        static_cast<QComboBox*>(widget)->setCurrentIndex(
            static_cast<QComboBox*>(widget)->findText(platform::stringValue(value)));
        break;
    }
}

QVariantMap SettingsOptionsTab::siteAsEdited(const QVariantMap& site) const
{
    QVariantMap edited = site;
    for (const QString& key : std::as_const(m_clearedKeys))
        edited.remove(key);
    return edited;
}

void SettingsOptionsTab::followApplicationSettings(const QVariantMap& site)
{
    const QVariantMap scan = CrwlUrl::scanSettingsFor(siteAsEdited(site), m_manager.defaults());
    m_showing = true;
    for (const auto& row : settings::settingsBindingTable()) {
        const engine::CrawlSetting* setting = engine::findCrawlSetting(row.key);
        // Only a value the site takes from the application, in a control the user left as shown.
        if (!setting || !setting->applicationWide || siteAsEdited(site).contains(row.key)
            || storedValue(row) != m_shownValues.value(row.key))
            continue;
        showValue(row, engine::effectiveSettingValue(row.key, scan.value(row.key)));
        m_shownValues.insert(row.key, storedValue(row));
    }
    m_showing = false;
}

void SettingsOptionsTab::showScanText(const QString& key)
{
    auto* field = static_cast<QLineEdit*>(m_controls.value(key));
    const engine::CrawlSetting* setting = engine::findCrawlSetting(key);
    if (!field->text().isEmpty() && !(setting && engine::readsAsAbsent(*setting, field->text())))
        return;
    // An emptied or blank field gives the site back to the application's value or the default,
    // and shows it.
    m_clearedKeys.insert(key);
    QVariantMap site = siteAsEdited(m_shownSite);
    const QVariant used
        = engine::effectiveSettingValue(key, CrwlUrl::scanSettingsFor(site, m_manager.defaults()).value(key));
    field->setText(platform::stringValue(used));
    m_shownValues.insert(key, field->text().isEmpty() ? QVariant() : QVariant(field->text()));
}

void SettingsOptionsTab::followRateLimit()
{
    const auto* limit = static_cast<QCheckBox*>(m_controls.value(crawlKey::limitRPM));
    m_controls.value(crawlKey::maxRPM)->setEnabled(limit->isChecked());
}

QVariant SettingsOptionsTab::storedValue(const settings::BindingRow& row) const
{
    QWidget* widget = m_controls.value(row.key);
    switch (row.kind) {
    case BindingKind::Check:
        return static_cast<QCheckBox*>(widget)->isChecked();
    case BindingKind::InvertedCheck:
        return !static_cast<QCheckBox*>(widget)->isChecked();
    case BindingKind::StartingUrl:
    case BindingKind::Text: {
        // A blank header text is no value: the site takes the next one in line, as a scan would.
        const QString text = static_cast<QLineEdit*>(widget)->text();
        const engine::CrawlSetting* setting = engine::findCrawlSetting(row.key);
        return text.isEmpty() || (setting && engine::readsAsAbsent(*setting, text)) ? QVariant() : QVariant(text);
    }
    case BindingKind::Limit:
    case BindingKind::NonZeroInteger:
    case BindingKind::Seconds: {
        const bool seconds = row.kind == BindingKind::Seconds;
        const auto number = fieldNumber(static_cast<QLineEdit*>(widget)->text(), seconds);
        const auto stored = number ? storableNumber(rangeOf(row.key), *number) : std::nullopt;
        if (!stored)
            return QVariant();
        return seconds ? QVariant(*stored) : QVariant(qint64(*stored));
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

void SettingsOptionsTab::showScanNumber(const QString& key)
{
    auto* field = static_cast<QLineEdit*>(m_controls.value(key));
    const auto& rows = settings::settingsBindingTable();
    const auto row
        = std::find_if(rows.cbegin(), rows.cend(), [&](const auto& candidate) { return candidate.key == key; });
    if (row == rows.cend())
        return;
    const bool decimals = row->kind == BindingKind::Seconds;
    const auto show = [field](const QString& text) {
        // An unchanged text keeps the field's undo history.
        if (field->text() != text)
            field->setText(text);
    };
    if (const QVariant stored = storedValue(*row); stored.isValid()) {
        // Written as the scan reads it ("05" shows as 5).
        show(fieldText(platform::doubleValue(stored), decimals));
        return;
    }
    // A field that stores nothing leaves the site's value as it is: it shows what the scan of
    // the site will use, its own value or else the application's or the default.
    QVariantMap site = m_shownSite;
    if (const auto copied = m_copiedValues.constFind(key); copied != m_copiedValues.cend())
        site.insert(key, *copied);
    const QVariant used = crawlmere::engine::effectiveSettingValue(
        key, CrwlUrl::scanSettingsFor(site, m_manager.defaults()).value(key));
    show(fieldText(platform::doubleValue(used), decimals));
}

void SettingsOptionsTab::copyInterfaceToSettings(QVariantMap& site)
{
    for (const auto& row : settings::settingsBindingTable()) {
        const QVariant value = storedValue(row);
        if (m_clearedKeys.contains(row.key)) {
            // Emptied since the site was shown: the site holds no value of its own while the field
            // is empty or shows what it was given for that.
            if (!value.isValid() || value == m_shownValues.value(row.key)) {
                site.remove(row.key);
                continue;
            }
            m_clearedKeys.remove(row.key);
        } else if (row.kind == BindingKind::Text && !value.isValid() && m_shownValues.value(row.key).isValid()) {
            m_clearedKeys.insert(row.key);
            site.remove(row.key);
            continue;
        }
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
        if (key == crawlKey::checkImages)
            m_imagesDisabledInfo->setHidden(on);
        if (key == crawlKey::limitRPM)
            followRateLimit();
    }
}

QString SettingsOptionsTab::urlFieldText() const
{
    return static_cast<QLineEdit*>(m_controls.value(crawlKey::startingUrl))->text();
}

void SettingsOptionsTab::setUrlFieldText(const QString& text)
{
    static_cast<QLineEdit*>(m_controls.value(crawlKey::startingUrl))->setText(text);
}

void SettingsOptionsTab::setStatusText(const QString& text)
{
    static_cast<QLineEdit*>(m_controls.value(QStringLiteral("status")))->setText(text);
}

} // namespace crawlmere::views
