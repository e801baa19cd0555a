// The output-filter rules window and its new-rule sheet.
#include "views/OutputFilterWindow.h"

#include "engine/OutputFilterManager.h"
#include "engine/ShellServices.h"
#include "platform/UserDefaults.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace crawlmere::views {

OutputFilterWindow::OutputFilterWindow(OutputFilterManager& manager, platform::UserDefaults& defaults,
    std::shared_ptr<ShellPrompts> prompts, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_manager(manager)
    , m_defaults(defaults)
    , m_prompts(std::move(prompts))
{
    setObjectName(QStringLiteral("filterRulesWindow"));
    setWindowTitle(tr("Output Filter"));
    auto* enabled = new QCheckBox(tr("Filter pages by these rules"), this);
    enabled->setObjectName(QStringLiteral("mipFilter"));
    enabled->setChecked(m_defaults.value(defaultsKey::mipFilter));
    connect(enabled, &QCheckBox::toggled, this, [this](bool on) { m_defaults.setBool(on, defaultsKey::mipFilter); });
    auto* combine = new QComboBox(this);
    combine->setObjectName(QStringLiteral("mipContainsAndOr"));
    combine->addItems({ tr("Every rule must comply"), tr("At least one rule must comply") });
    combine->setCurrentIndex(m_defaults.value(defaultsKey::mipContainsAndOr) == 1 ? 1 : 0);
    connect(combine, &QComboBox::activated, this,
        [this](int index) { m_defaults.setInteger(index, defaultsKey::mipContainsAndOr); });
    m_table = new QListWidget(this);
    m_table->setObjectName(QStringLiteral("filterTableView"));
    auto* add = new QPushButton(tr("Add..."), this);
    add->setObjectName(QStringLiteral("beginNewDialogButton"));
    connect(add, &QPushButton::clicked, this, &OutputFilterWindow::beginNewDialog);
    auto* remove = new QPushButton(tr("Delete"), this);
    remove->setObjectName(QStringLiteral("deleteSelectedRuleButton"));
    connect(remove, &QPushButton::clicked, this, &OutputFilterWindow::deleteSelectedRule);
    // Delete acts on the selected rule: without one (an empty list too) it is off.
    remove->setEnabled(false);
    connect(m_table, &QListWidget::itemSelectionChanged, remove,
        [this, remove] { remove->setEnabled(!m_table->selectedItems().isEmpty()); });
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(add);
    buttons->addWidget(remove);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(enabled);
    layout->addWidget(combine);
    layout->addWidget(m_table);
    layout->addLayout(buttons);
    m_manager.setReloadHandler([this] { reload(); });
    reload();
}

OutputFilterWindow::~OutputFilterWindow() { m_manager.setReloadHandler({}); }

void OutputFilterWindow::reload()
{
    m_table->clear();
    for (qsizetype row = 0; row < m_manager.numberOfRows(); ++row)
        m_table->addItem(m_manager.sentenceForRow(row));
}

void OutputFilterWindow::beginNewDialog()
{
    m_manager.setNewRuleDefaults();
    auto* sheet = new QDialog(this);
    sheet->setObjectName(QStringLiteral("dialog"));
    sheet->setWindowModality(Qt::WindowModal);
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    const auto addChoice = [this, sheet](platform::DefaultsKey<qint64> key, const QStringList& items) {
        auto* box = new QComboBox(sheet);
        box->setObjectName(key.view().toString());
        box->addItems(items);
        box->setCurrentIndex(static_cast<int>(m_defaults.value(key)));
        connect(box, &QComboBox::currentIndexChanged, sheet, [this, key](int index) { m_defaults.setValue(key, qint64(index)); });
        return box;
    };
    auto* form = new QFormLayout(sheet);
    form->addRow(addChoice(defaultsKey::mipContainsScope, { tr("URL"), tr("Content") }));
    form->addRow(addChoice(defaultsKey::mipContainsOrNot, { tr("does not"), tr("does") }));
    form->addRow(addChoice(defaultsKey::mipContainsMethod, { tr("contain"), tr("match Regex") }));
    auto* text = new QLineEdit(sheet);
    text->setObjectName(QStringLiteral("mipContains"));
    connect(text, &QLineEdit::textChanged, sheet,
        [this](const QString& value) { m_defaults.setValue(defaultsKey::mipContains, value); });
    form->addRow(text);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, sheet);
    connect(buttons, &QDialogButtonBox::accepted, sheet, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, sheet, &QDialog::reject);
    form->addRow(buttons);
    connect(sheet, &QDialog::accepted, this, [this] { m_manager.addRuleFromDefaults(); });
    sheet->open();
}

void OutputFilterWindow::deleteSelectedRule()
{
    const QList<QListWidgetItem*> selected = m_table->selectedItems();
    const int row = selected.isEmpty() ? -1 : m_table->row(selected.front());
    if (row < 0 || row >= m_manager.numberOfRows()) {
        if (m_prompts)
            m_prompts->beep();
        return;
    }
    const int answer = m_prompts
        ? m_prompts->runModalAlert({ .messageText = QStringLiteral("Delete Filter Rule"),
            .informativeText
            = QStringLiteral("Are you sure you want to delete the rule '%1'?").arg(m_manager.sentenceForRow(row)),
            .buttons = { QStringLiteral("Cancel"), QStringLiteral("Delete") },
            .cancelButton = 0 })
        : 0;
    if (answer != 0)
        m_manager.removeRule(row);
}

} // namespace crawlmere::views
