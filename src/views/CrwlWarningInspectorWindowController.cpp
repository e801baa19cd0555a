// The warning inspector: one warning's page, its text, and the page source around its position.
#include "views/CrwlWarningInspectorWindowController.h"

#include "engine/CrwlUrl.h"
#include "platform/Dispatch.h"
#include "platform/UrlOpener.h"
#include "reports/WarningContext.h"
#include "reports/WarningRecord.h"

#include <QCloseEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace crawlmere::views {

using reports::WarningContext;

CrwlWarningInspectorWindowController::CrwlWarningInspectorWindowController(
    std::shared_ptr<platform::UrlOpener> opener, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , urlOpener(std::move(opener))
{
    setObjectName(QStringLiteral("CrwlWarningInspectorWindow"));
    setWindowTitle(InspectorWindowTitle());
    m_urlField = new QLineEdit(this);
    m_urlField->setObjectName(QStringLiteral("urlField"));
    m_urlField->setReadOnly(true);
    m_descriptionField = new QLineEdit(this);
    m_descriptionField->setObjectName(QStringLiteral("descriptionField"));
    m_descriptionField->setReadOnly(true);
    m_contextField = new QPlainTextEdit(this);
    m_contextField->setObjectName(QStringLiteral("contextField"));
    m_contextField->setReadOnly(true);
    auto* visit = new QPushButton(tr("Visit"), this);
    visit->setObjectName(QStringLiteral("visitButton"));
    connect(visit, &QPushButton::clicked, this, &CrwlWarningInspectorWindowController::visitUrl);

    auto* urlRow = new QHBoxLayout;
    urlRow->addWidget(m_urlField, 1);
    urlRow->addWidget(visit);
    auto* form = new QFormLayout;
    form->addRow(tr("URL"), urlRow);
    form->addRow(tr("Warning"), m_descriptionField);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_contextField, 1);
    resize(640, 320);
}

CrwlWarningInspectorWindowController::~CrwlWarningInspectorWindowController()
{
    if (fetch)
        fetch->cancel();
}

void CrwlWarningInspectorWindowController::windowDidLoad(const QString& userAgent)
{
    if (!warningRecord)
        return;
    if (!warningRecord->url.isEmpty())
        m_urlField->setText(warningRecord->url);
    const QString& text = warningRecord->warning;
    if (text.isEmpty())
        return;
    m_descriptionField->setText(CrwlUrl::cleanedWarningString(text));
    const std::optional<int> position = WarningContext::positionInWarning(text);
    if (!position) {
        notifynocontext();
        return;
    }
    QPointer<CrwlWarningInspectorWindowController> window(this);
    fetch = WarningContext::fetch(warningRecord->url, userAgent, *position, [window](const QString& context) {
        platform::Dispatch::toMain([window, context] {
            if (window)
                window->showContext(context);
        });
    });
}

void CrwlWarningInspectorWindowController::notifynocontext()
{
    QPointer<CrwlWarningInspectorWindowController> window(this);
    platform::Dispatch::toMain([window] {
        if (window)
            window->showContext(WarningContext::noContextText());
    });
}

void CrwlWarningInspectorWindowController::showContext(const QString& text)
{
    // A closed window keeps what it showed; late answers are dropped.
    if (!closed)
        m_contextField->setPlainText(text);
}

void CrwlWarningInspectorWindowController::visitUrl()
{
    if (warningRecord && !warningRecord->url.isEmpty() && urlOpener)
        urlOpener->openURL(QUrl(warningRecord->url));
}

void CrwlWarningInspectorWindowController::closeEvent(QCloseEvent* event)
{
    closed = true;
    if (fetch)
        fetch->cancel();
    QWidget::closeEvent(event);
}

} // namespace crawlmere::views
