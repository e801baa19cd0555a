// The user dictionary window: the learned words, a search field and an unlearn button.
#include "views/UserDictionaryWindow.h"

#include <QHeaderView>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace crawlmere::views {

UserDictionaryWindow::UserDictionaryWindow(platform::SpellChecker& checker, const QString& file, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_list(checker, file)
{
    setObjectName(QStringLiteral("userDictionaryManager"));
    setWindowTitle(tr("User Dictionary"));
    m_search = new QLineEdit(this);
    m_search->setObjectName(QStringLiteral("searchfield"));
    m_search->setPlaceholderText(tr("Search"));
    m_search->setClearButtonEnabled(true);
    m_table = new QTableWidget(0, 1, this);
    m_table->setObjectName(QStringLiteral("tableView"));
    m_table->setHorizontalHeaderLabels({ tr("Word") });
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->verticalHeader()->hide();
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("progind"));
    m_progress->setRange(0, 0);
    auto* refreshButton = new QPushButton(tr("Refresh"), this);
    auto* unlearnButton = new QPushButton(tr("Unlearn"), this);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_progress);
    buttons->addStretch();
    buttons->addWidget(refreshButton);
    buttons->addWidget(unlearnButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_search);
    layout->addWidget(m_table);
    layout->addLayout(buttons);
    connect(m_search, &QLineEdit::textChanged, this, [this](const QString& text) {
        m_list.setSearchText(text);
        reloadTable();
    });
    connect(refreshButton, &QPushButton::clicked, this, &UserDictionaryWindow::refresh);
    connect(unlearnButton, &QPushButton::clicked, this, &UserDictionaryWindow::unlearnSelected);
    resize(320, 420);
    refresh();
}

void UserDictionaryWindow::refresh()
{
    m_list.fetchLearnedWords();
    m_progress->setRange(0, 1); // stopped
    m_progress->hide();
    reloadTable();
}

void UserDictionaryWindow::unlearnSelected()
{
    const auto rows = m_table->selectionModel()->selectedRows();
    if (rows.isEmpty())
        return;
    m_list.unlearnRow(rows.first().row());
    reloadTable();
}

void UserDictionaryWindow::reloadTable()
{
    m_table->clearSelection();
    m_table->setRowCount(static_cast<int>(m_list.numberOfRows()));
    for (int row = 0; row < m_table->rowCount(); ++row)
        m_table->setItem(row, 0, new QTableWidgetItem(m_list.objectValue(row)));
}

} // namespace crawlmere::views
