// The folder question of an archive export.
#include "views/ArchiveFolderPanel.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace crawlmere::views {

ArchiveFolderPanel::ArchiveFolderPanel(const archive::ArchiveFolderQuestion& question, QWidget* parent)
    : QDialog(parent)
    , folder(new QLineEdit(this))
    , preserve(new QRadioButton(tr("Preserve"), this))
    , process(new QRadioButton(tr("Process"), this))
    , dontDisplayArchiveDialogButton(new QCheckBox(tr("Don't ask again for this site"), this))
{
    setWindowTitle(question.title);
    setWindowModality(Qt::WindowModal);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(question.message, this));

    auto* row = new QHBoxLayout;
    folder->setObjectName(QStringLiteral("archiveFolderField"));
    folder->setText(question.folder);
    auto* choose = new QPushButton(tr("Choose…"), this);
    row->addWidget(folder, 1);
    row->addWidget(choose);
    layout->addLayout(row);
    connect(choose, &QPushButton::clicked, this, [this] {
        const QString chosen
            = QFileDialog::getExistingDirectory(this, windowTitle(), folder->text(), QFileDialog::ShowDirsOnly);
        if (!chosen.isEmpty())
            folder->setText(chosen);
    });

    auto* accessory = new QWidget(this);
    accessory->setObjectName(QStringLiteral("archiveAccessoryView"));
    auto* accessoryLayout = new QVBoxLayout(accessory);
    accessoryLayout->setContentsMargins(0, 0, 0, 0);
    preserve->setToolTip(tr("Every archived file as it was received"));
    process->setToolTip(tr("Files renamed for the disc, links rewritten to relative paths"));
    accessoryLayout->addWidget(preserve);
    accessoryLayout->addWidget(process);
    dontDisplayArchiveDialogButton->setObjectName(QStringLiteral("dontDisplayArchiveDialogButton"));
    accessoryLayout->addWidget(dontDisplayArchiveDialogButton);
    layout->addWidget(accessory);
    (question.process ? process : preserve)->setChecked(true);
    dontDisplayArchiveDialogButton->setChecked(question.dontAskAgain);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    buttons->addButton(question.prompt, QDialogButtonBox::AcceptRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    setMinimumWidth(420);
}

std::optional<ArchiveFolderPanel::Answer> ArchiveFolderPanel::answer() const
{
    const QString chosen = folder->text().trimmed();
    if (chosen.isEmpty())
        return std::nullopt;
    return Answer { chosen, process->isChecked(), dontDisplayArchiveDialogButton->isChecked() };
}

std::optional<ArchiveFolderPanel::Answer> ArchiveFolderPanel::ask(
    const archive::ArchiveFolderQuestion& question, QWidget* parent)
{
    ArchiveFolderPanel panel(question, parent);
    if (panel.exec() != QDialog::Accepted)
        return std::nullopt;
    return panel.answer();
}

} // namespace crawlmere::views
