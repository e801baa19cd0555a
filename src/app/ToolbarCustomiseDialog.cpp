// The dialog in which the user arranges the toolbar's items.
#include "app/ToolbarCustomiseDialog.h"

#include "app/ToolbarConfiguration.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace crawlmere::app {

namespace {

constexpr int kIdentifierRole = Qt::UserRole;

} // namespace

ToolbarCustomiseDialog::ToolbarCustomiseDialog(
    const QString& toolbarIdentifier, const QStringList& current, QWidget* parent)
    : QDialog(parent)
    , m_toolbarIdentifier(toolbarIdentifier)
    , m_palette(new QListWidget(this))
    , m_arrangement(new QListWidget(this))
{
    setObjectName(QStringLiteral("customiseToolbarDialog"));
    setWindowTitle(tr("Customise Toolbar"));
    m_palette->setObjectName(QStringLiteral("toolbarPalette"));
    m_arrangement->setObjectName(QStringLiteral("toolbarItems"));
    for (const QString& identifier : ToolbarConfiguration::allowedItemIdentifiers(toolbarIdentifier)) {
        auto* row = new QListWidgetItem(titleFor(identifier), m_palette);
        row->setData(kIdentifierRole, identifier);
    }
    setArrangement(current);

    auto* add = new QPushButton(tr("Add"), this);
    auto* remove = new QPushButton(tr("Remove"), this);
    auto* up = new QPushButton(tr("Move Up"), this);
    auto* down = new QPushButton(tr("Move Down"), this);
    auto* defaults = new QPushButton(tr("Use Default Set"), this);
    connect(add, &QPushButton::clicked, this, &ToolbarCustomiseDialog::addSelected);
    connect(remove, &QPushButton::clicked, this, &ToolbarCustomiseDialog::removeSelected);
    connect(up, &QPushButton::clicked, this, [this] { moveSelected(-1); });
    connect(down, &QPushButton::clicked, this, [this] { moveSelected(1); });
    connect(defaults, &QPushButton::clicked, this, &ToolbarCustomiseDialog::useDefaultSet);
    connect(m_palette, &QListWidget::itemDoubleClicked, this, &ToolbarCustomiseDialog::addSelected);

    auto* buttons = new QVBoxLayout;
    for (QPushButton* button : { add, remove, up, down, defaults })
        buttons->addWidget(button);
    buttons->addStretch();

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(tr("Available items"), this), 0, 0);
    grid->addWidget(new QLabel(tr("Toolbar items"), this), 0, 2);
    grid->addWidget(m_palette, 1, 0);
    grid->addLayout(buttons, 1, 1);
    grid->addWidget(m_arrangement, 1, 2);

    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(box);
}

QString ToolbarCustomiseDialog::titleFor(const QString& identifier)
{
    if (identifier == ToolbarConfiguration::kFlexibleSpace)
        return tr("Flexible Space");
    if (identifier == ToolbarConfiguration::kSpace)
        return tr("Space");
    const auto item = ToolbarConfiguration::itemForItemIdentifier(identifier);
    if (!item)
        return identifier;
    return item->paletteLabel.isEmpty() ? item->label : item->paletteLabel;
}

void ToolbarCustomiseDialog::setArrangement(const QStringList& identifiers)
{
    m_arrangement->clear();
    for (const QString& identifier : ToolbarConfiguration::sanitized(identifiers)) {
        auto* row = new QListWidgetItem(titleFor(identifier), m_arrangement);
        row->setData(kIdentifierRole, identifier);
    }
}

QStringList ToolbarCustomiseDialog::itemIdentifiers() const
{
    QStringList result;
    for (int i = 0; i < m_arrangement->count(); ++i)
        result << m_arrangement->item(i)->data(kIdentifierRole).toString();
    return result;
}

void ToolbarCustomiseDialog::addSelected()
{
    const QListWidgetItem* chosen = m_palette->currentItem();
    if (!chosen)
        return;
    const QString identifier = chosen->data(kIdentifierRole).toString();
    if (!ToolbarConfiguration::isSpace(identifier) && itemIdentifiers().contains(identifier))
        return;
    const int at = m_arrangement->currentRow() >= 0 ? m_arrangement->currentRow() + 1 : m_arrangement->count();
    auto* row = new QListWidgetItem(titleFor(identifier));
    row->setData(kIdentifierRole, identifier);
    m_arrangement->insertItem(at, row);
    m_arrangement->setCurrentRow(at);
}

void ToolbarCustomiseDialog::removeSelected()
{
    const int row = m_arrangement->currentRow();
    if (row >= 0)
        delete m_arrangement->takeItem(row);
}

void ToolbarCustomiseDialog::moveSelected(int delta)
{
    const int row = m_arrangement->currentRow();
    const int to = row + delta;
    if (row < 0 || to < 0 || to >= m_arrangement->count())
        return;
    QListWidgetItem* item = m_arrangement->takeItem(row);
    m_arrangement->insertItem(to, item);
    m_arrangement->setCurrentRow(to);
}

void ToolbarCustomiseDialog::useDefaultSet()
{
    setArrangement(ToolbarConfiguration::defaultItemIdentifiers(m_toolbarIdentifier));
}

} // namespace crawlmere::app
