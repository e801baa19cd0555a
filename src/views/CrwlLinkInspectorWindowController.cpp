// The link inspector: one link target's facts and its redirect chain, in one window.
#include "views/CrwlLinkInspectorWindowController.h"

#include "engine/CrwlUrl.h"
#include "views/LinkInspectorContent.h"
#include "views/Pasteboard.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFormLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace crawlmere::views {

CrwlLinkInspectorWindowController::CrwlLinkInspectorWindowController(Pasteboard* board, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , pasteboard(board)
{
    setObjectName(QStringLiteral("CrwlLinkInspectorWindow"));
    setWindowTitle(InspectorWindowTitle());
}

void CrwlLinkInspectorWindowController::buildWidgets()
{
    auto* form = new QFormLayout;
    for (const auto& [name, label] : { std::pair("inspectorLinkURL", "URL"), std::pair("inspectorStatus", "Status"),
             std::pair("inspectorRedir", "Redirects to"), std::pair("inspectorPageTitle", "Title"),
             std::pair("inspectorTargetPageInboundCount", "Occurrences"), std::pair("inspectorTargetMimeType", "MIME type"),
             std::pair("inspectorTimeStamp", "Requested"), std::pair("inspectorResponseTime", "Response time") }) {
        auto* field = new QLineEdit(this);
        field->setObjectName(QLatin1String(name));
        field->setReadOnly(true);
        form->addRow(tr(label), field);
    }
    m_redirectButton = new QPushButton(this);
    m_redirectButton->setObjectName(QStringLiteral("redirectButton"));
    form->addRow(tr("Redirects"), m_redirectButton);
    m_redirectTable = new QTableWidget(0, 3, this);
    m_redirectTable->setObjectName(QStringLiteral("redirectTable"));
    m_redirectTable->setHorizontalHeaderLabels({ tr("URL"), tr("Status"), tr("Reason") });
    m_redirectTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_redirectTable->verticalHeader()->hide();
    m_redirectTable->horizontalHeader()->setStretchLastSection(true);
    auto* copy = new QPushButton(tr("Copy"), this);
    copy->setObjectName(QStringLiteral("copyRedirTableButton"));
    connect(copy, &QPushButton::clicked, this, [this] { copyRedirTableToClipboard(); });
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_redirectTable, 1);
    layout->addWidget(copy, 0, Qt::AlignRight);
    resize(720, 480);
}

void CrwlLinkInspectorWindowController::windowDidLoad()
{
    if (!lcurl)
        return;
    if (!m_redirectTable)
        buildWidgets();
    const CrwlUrl& target = *lcurl;
    auto set = [this](const char* name, const QString& text) { findChild<QLineEdit*>(QLatin1String(name))->setText(text); };
    set("inspectorLinkURL", target.getAbsoluteStringDecoded());
    set("inspectorStatus", target.getStatusDescription());
    set("inspectorRedir", target.getRedirDecoded());
    set("inspectorPageTitle", target.getLinkpagetitle());
    set("inspectorTargetPageInboundCount", QString::number(target.getInboundInstances().size()));
    set("inspectorTargetMimeType", target.mimeType());
    set("inspectorTimeStamp", target.getFieldByName(QStringLiteral("timestamp")));
    set("inspectorResponseTime", target.getFieldByName(QStringLiteral("responsetime")));
    const qint64 redirects = target.getRedirectCount();
    m_redirectButton->setText(QString::number(redirects > 0 ? redirects : 0));
    m_redirectButton->setEnabled(redirects > 0);
    const QList<QStringList> rows = LinkInspectorContent::redirectRows(target);
    m_redirectTable->setRowCount(int(rows.size()));
    for (int row = 0; row < rows.size(); ++row)
        for (int column = 0; column < 3; ++column)
            m_redirectTable->setItem(row, column, new QTableWidgetItem(rows[row][column]));
}

void CrwlLinkInspectorWindowController::closeEvent(QCloseEvent* event)
{
    QWidget::closeEvent(event);
    if (event->isAccepted())
        Q_EMIT windowClosed();
}

bool CrwlLinkInspectorWindowController::copyRedirTableToClipboard()
{
    const QString text = lcurl ? LinkInspectorContent::redirectTableText(LinkInspectorContent::redirectRows(*lcurl)) : QString();
    if (text.isEmpty()) {
        QApplication::beep();
        return false;
    }
    (pasteboard ? *pasteboard : Pasteboard::general()).setString(text);
    return true;
}

} // namespace crawlmere::views
