// The spelling review window over the display-free review model.
#include "views/SpellingDialogueWindow.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTableWidget>
#include <QVBoxLayout>

namespace crawlmere::views {

namespace {

reports::SpellingDialogueModel::Services withWindow(
    reports::SpellingDialogueModel::Services services, SpellingDialogueWindow* window, std::function<void()> changed)
{
    services.changed = std::move(changed);
    services.showWindow = [window] {
        if (const QScreen* screen = window->screen())
            window->move(screen->availableGeometry().center() - window->rect().center());
        window->show();
        window->raise();
        window->activateWindow();
    };
    return services;
}

} // namespace

SpellingDialogueWindow::SpellingDialogueWindow(reports::SpellingDialogueModel::Services services, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_model(withWindow(std::move(services), this, [this] { refresh(); }))
{
    setObjectName(QStringLiteral("spellingDialogue"));
    setWindowTitle(tr("Spelling"));
    m_url = new QLineEdit(this);
    m_url->setObjectName(QStringLiteral("urlField"));
    m_url->setReadOnly(true);
    m_forWord = new QLabel(this);
    m_forWord->setObjectName(QStringLiteral("forWordField"));
    m_extract = new QLineEdit(this);
    m_extract->setObjectName(QStringLiteral("extractField"));
    m_extract->setReadOnly(true);
    m_info = new QLabel(this);
    m_info->setObjectName(QStringLiteral("infoField"));
    m_suggestions = new QTableWidget(0, 1, this);
    m_suggestions->setObjectName(QStringLiteral("suggestionTable"));
    m_suggestions->setHorizontalHeaderLabels({ tr("Guesses") });
    m_suggestions->horizontalHeader()->setStretchLastSection(true);
    m_suggestions->verticalHeader()->hide();
    m_suggestions->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_busy = new QProgressBar(this);
    m_busy->setRange(0, 0);
    const auto button = [this](const QString& title, void (reports::SpellingDialogueModel::*action)()) {
        auto* pushButton = new QPushButton(title, this);
        connect(pushButton, &QPushButton::clicked, this, [this, action] { (m_model.*action)(); });
        m_controls << pushButton;
        return pushButton;
    };
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(button(tr("Previous"), &reports::SpellingDialogueModel::previous));
    buttons->addWidget(button(tr("Next"), &reports::SpellingDialogueModel::next));
    m_learn = button(tr("Learn"), &reports::SpellingDialogueModel::learnSpelling);
    m_learn->setObjectName(QStringLiteral("learnButton"));
    buttons->addWidget(m_learn);
    buttons->addWidget(button(tr("All Words"), &reports::SpellingDialogueModel::switchMode));
    buttons->addWidget(button(tr("Visit"), &reports::SpellingDialogueModel::visit));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_url);
    layout->addWidget(m_forWord);
    layout->addWidget(m_extract);
    layout->addWidget(m_info);
    layout->addWidget(m_suggestions);
    layout->addWidget(m_busy);
    layout->addLayout(buttons);
    resize(560, 360);
    refresh();
}

void SpellingDialogueWindow::closeEvent(QCloseEvent* event)
{
    m_model.windowWillClose();
    QWidget::closeEvent(event);
}

void SpellingDialogueWindow::refresh()
{
    const bool busy = m_model.busy();
    m_busy->setVisible(busy);
    for (QPushButton* control : m_controls)
        control->setEnabled(!busy);
    m_learn->setEnabled(m_model.learnEnabled());
    m_url->setText(m_model.urlText());
    m_forWord->setText(m_model.forWordText());
    m_info->setText(m_model.infoText());
    m_extract->setText(m_model.extractText());
    const auto selection = m_model.extractSelection();
    if (selection.length > 0)
        m_extract->setSelection(static_cast<int>(selection.location), static_cast<int>(selection.length));
    const QStringList& guesses = m_model.suggestions();
    m_suggestions->setRowCount(static_cast<int>(guesses.size()));
    for (int row = 0; row < m_suggestions->rowCount(); ++row)
        m_suggestions->setItem(row, 0, new QTableWidgetItem(guesses.at(row)));
}

} // namespace crawlmere::views
