// The preferences window.
#include "app/PreferencesWindow.h"

#include "app/MainTabView.h"
#include "views/CutCells.h"
#include "views/WheelGuard.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QVBoxLayout>

namespace crawlmere::app {

using views::Preference;
using views::PreferenceEffect;
using views::PreferenceKind;
using views::PreferencesModel;

PreferencesWindow::PreferencesWindow(platform::UserDefaults& defaults, Services services, QWidget* parent)
    : QDialog(parent)
    , m_model(defaults)
    , m_services(std::move(services))
{
    setObjectName(QStringLiteral("prefsWindow"));
    setWindowTitle(tr("Preferences"));
    setModal(false);
    m_tabs = new MainTabView(this);
    m_tabs->setObjectName(QStringLiteral("prefsMainTabView"));
    for (const views::PreferencePage& page : PreferencesModel::pages()) {
        auto* scroll = new QScrollArea;
        scroll->setObjectName(page.objectName);
        scroll->setWidgetResizable(true);
        scroll->setFrameShape(QFrame::NoFrame);
        auto* content = new QWidget(scroll);
        auto* form = new QFormLayout(content);
        form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
        form->setRowWrapPolicy(QFormLayout::DontWrapRows);
        for (const Preference& preference : page.preferences) {
            QWidget* control = makeControl(preference, content);
            control->setObjectName(preference.key);
            m_controls.insert(preference.key, control);
            if (preference.kind == PreferenceKind::Check)
                form->addRow(control);
            else
                form->addRow(preference.label, control);
        }
        // The wheel scrolls the tab; a pop-up or number field takes it only while focused.
        views::WheelGuard::guard(content);
        scroll->setWidget(content);
        m_tabs->addTabViewItem(scroll, page.label, page.identifier);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setObjectName(QStringLiteral("prefsCloseButton"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs);
    layout->addWidget(buttons);
    resize(840, 600);
    reloadValues();
}

PreferencesWindow::~PreferencesWindow() = default;

QWidget* PreferencesWindow::makeControl(const Preference& preference, QWidget* parent)
{
    switch (preference.kind) {
    case PreferenceKind::Check: {
        auto* box = new QCheckBox(preference.label, parent);
        connect(box, &QCheckBox::toggled, this, [this, &preference](bool on) { stored(preference, on); });
        return box;
    }
    case PreferenceKind::Choice: {
        auto* popUp = new QComboBox(parent);
        for (const views::PreferenceChoice& item : preference.choices)
            popUp->addItem(item.title, item.value);
        connect(popUp, &QComboBox::currentIndexChanged, this,
            [this, &preference, popUp](int index) { stored(preference, popUp->itemData(index)); });
        return popUp;
    }
    case PreferenceKind::Number: {
        auto* field = new QSpinBox(parent);
        field->setRange(static_cast<int>(preference.minimum), static_cast<int>(preference.maximum));
        field->setKeyboardTracking(false);
        connect(field, &QSpinBox::valueChanged, this,
            [this, &preference](int value) { stored(preference, qint64(value)); });
        return field;
    }
    case PreferenceKind::Seconds: {
        auto* field = new QDoubleSpinBox(parent);
        field->setRange(double(preference.minimum), double(preference.maximum));
        field->setDecimals(1);
        field->setKeyboardTracking(false);
        connect(field, &QDoubleSpinBox::valueChanged, this,
            [this, &preference](double value) { stored(preference, value); });
        return field;
    }
    case PreferenceKind::Text: {
        auto* field = new QLineEdit(parent);
        // A long agent string reads from its name, not from its tail.
        views::showFieldTextFromStart(*field);
        connect(field, &QLineEdit::textEdited, this,
            [this, &preference](const QString& text) { stored(preference, text); });
        return field;
    }
    case PreferenceKind::Lines: {
        auto* field = new QPlainTextEdit(parent);
        field->setTabChangesFocus(true);
        field->setMinimumHeight(120);
        connect(field, &QPlainTextEdit::textChanged, this,
            [this, &preference, field] { stored(preference, field->toPlainText()); });
        return field;
    }
    }
    return new QWidget(parent);
}

void PreferencesWindow::stored(const Preference& preference, const QVariant& value)
{
    if (m_showing || !m_model.setValue(preference, value))
        return;
    switch (preference.effect) {
    case PreferenceEffect::None:
        return;
    case PreferenceEffect::ReloadResultViews:
        if (m_services.reloadResultViews)
            m_services.reloadResultViews();
        return;
    case PreferenceEffect::SiteListIconSize:
        if (m_services.iconSizeCallback)
            m_services.iconSizeCallback();
        return;
    case PreferenceEffect::ReloadSitemap:
        if (m_services.reloadSitemap)
            m_services.reloadSitemap();
        return;
    case PreferenceEffect::ShownSiteSettings:
        if (m_services.followApplicationSettings)
            m_services.followApplicationSettings();
        return;
    }
}

void PreferencesWindow::showValue(const Preference& preference)
{
    QWidget* control = m_controls.value(preference.key);
    const QVariant value = m_model.value(preference);
    switch (preference.kind) {
    case PreferenceKind::Check:
        static_cast<QCheckBox*>(control)->setChecked(value.toBool());
        return;
    case PreferenceKind::Choice: {
        auto* popUp = static_cast<QComboBox*>(control);
        popUp->setCurrentIndex(popUp->findData(value.toLongLong()));
        return;
    }
    case PreferenceKind::Number:
        static_cast<QSpinBox*>(control)->setValue(static_cast<int>(value.toLongLong()));
        return;
    case PreferenceKind::Seconds:
        static_cast<QDoubleSpinBox*>(control)->setValue(value.toDouble());
        return;
    case PreferenceKind::Text:
        static_cast<QLineEdit*>(control)->setText(value.toString());
        return;
    case PreferenceKind::Lines: {
        auto* field = static_cast<QPlainTextEdit*>(control);
        if (field->toPlainText() != value.toString())
            field->setPlainText(value.toString());
        return;
    }
    }
}

void PreferencesWindow::reloadValues()
{
    m_showing = true;
    for (const views::PreferencePage& page : PreferencesModel::pages()) {
        for (const Preference& preference : page.preferences)
            showValue(preference);
    }
    m_showing = false;
}

void PreferencesWindow::showPrefs()
{
    reloadValues();
    show();
    raise();
    activateWindow();
}

void PreferencesWindow::selectPrefsSitemapTabView()
{
    m_tabs->selectTabViewItemWithIdentifier(PreferencesModel::kSitemapTab);
    showPrefs();
}

} // namespace crawlmere::app
