// The sitemap upload sheet over the main window.
#include "views/SitemapFtpSheet.h"

#include "engine/CrawlSettingKeys.h"
#include "engine/ShellServices.h"
#include "sitemap/SitemapManager.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace crawlmere::views {

namespace {

QLineEdit* field(QWidget* parent, crawlmere::engine::CrawlSettingKey key)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(key);
    return edit;
}

} // namespace

SitemapFtpSheet::SitemapFtpSheet(sitemap::SitemapManager& manager, std::function<void(const QVariantMap&)> store,
    std::shared_ptr<ShellPrompts> prompts, QWidget* parent, std::function<QVariantMap()> siteSettings)
    : QDialog(parent)
    , m_manager(manager)
    , m_model(manager, std::move(store), std::move(siteSettings))
    , m_prompts(std::move(prompts))
{
    setObjectName(QStringLiteral("ftpDialog"));
    setWindowTitle(tr("Upload sitemap"));
    setWindowModality(Qt::WindowModal);
    setMinimumWidth(380);

    m_server = field(this, crawlKey::ftpserver);
    m_server->setPlaceholderText(tr("ftp.example.com"));
    m_port = field(this, crawlKey::ftpport);
    m_port->setPlaceholderText(tr("21"));
    m_directory = field(this, crawlKey::ftpdirectory);
    m_user = field(this, crawlKey::ftpusername);
    m_password = field(this, crawlKey::ftppassword);
    m_password->setEchoMode(QLineEdit::Password);
    m_usesTls = new QCheckBox(tr("Use TLS"), this);
    m_usesTls->setObjectName(crawlKey::ftpUsesTLS);
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("ftpProgress"));
    m_progress->setRange(0, 0);
    m_progress->setTextVisible(false);
    m_progress->hide();
    m_message = new QLabel(this);
    m_message->setObjectName(QStringLiteral("ftpMessage"));
    m_message->setWordWrap(true);
    m_message->hide();
    m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("ftpOKButton"));
    m_buttons->button(QDialogButtonBox::Ok)->setText(tr("Upload"));
    m_buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("ftpCancelButton"));

    auto* form = new QFormLayout;
    form->addRow(tr("Server:"), m_server);
    form->addRow(tr("Port:"), m_port);
    form->addRow(tr("Folder:"), m_directory);
    form->addRow(tr("User name:"), m_user);
    form->addRow(tr("Password:"), m_password);
    form->addRow(QString(), m_usesTls);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_message);
    layout->addWidget(m_progress);
    layout->addWidget(m_buttons);

    connect(m_buttons, &QDialogButtonBox::accepted, this, [this] { m_model.theSheetOK(fields()); });
    connect(m_buttons, &QDialogButtonBox::rejected, this, &SitemapFtpSheet::reject);

    FtpSheetModel::Display display;
    display.show = [this](const FtpSheetFields& values) { showFields(values); };
    display.showBusy = [this] { setBusy(true); };
    display.end = [this](int code) {
        setBusy(false);
        done(code);
    };
    display.refuse = [this](const QString& message) {
        m_message->setText(message);
        m_message->show();
        m_server->setFocus();
    };
    m_model.setDisplay(std::move(display));

    sitemap::SitemapManagerObserver& observer = m_manager.observer();
    observer.beginFTPDialog = [this] { m_model.beginFTPDialog(); };
    observer.ftpBusy = [this](bool busy) { m_model.uploadBusy(busy); };
    observer.alert = [this](const QString& message, const QString& informative, ShellAlertStyle style) {
        if (m_prompts)
            m_prompts->runModalAlert({ message, informative, { tr("OK") }, {}, style });
    };
}

SitemapFtpSheet::~SitemapFtpSheet()
{
    sitemap::SitemapManagerObserver& observer = m_manager.observer();
    observer.beginFTPDialog = nullptr;
    observer.ftpBusy = nullptr;
    observer.alert = nullptr;
}

FtpSheetFields SitemapFtpSheet::fields() const
{
    FtpSheetFields values;
    values.server = m_server->text();
    values.port = m_port->text();
    values.directory = m_directory->text();
    values.user = m_user->text();
    values.password = m_password->text();
    values.usesTls = m_usesTls->isChecked();
    return values;
}

void SitemapFtpSheet::showFields(const FtpSheetFields& values)
{
    m_server->setText(values.server);
    m_port->setText(values.port);
    m_directory->setText(values.directory);
    m_user->setText(values.user);
    m_password->setText(values.password);
    m_usesTls->setChecked(values.usesTls);
    m_message->hide();
    setBusy(false);
    open();
}

void SitemapFtpSheet::setBusy(bool busy)
{
    for (QWidget* widget : { static_cast<QWidget*>(m_server), static_cast<QWidget*>(m_port),
             static_cast<QWidget*>(m_directory), static_cast<QWidget*>(m_user), static_cast<QWidget*>(m_password),
             static_cast<QWidget*>(m_usesTls), static_cast<QWidget*>(m_buttons) })
        widget->setEnabled(!busy);
    m_progress->setVisible(busy);
    if (busy)
        setCursor(Qt::BusyCursor);
    else
        unsetCursor();
}

} // namespace crawlmere::views
