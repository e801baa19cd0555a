// What the sitemap upload sheet does, without a widget.
#include "views/FtpSheetModel.h"

#include "engine/CrawlSettingKeys.h"
#include "platform/StoredValue.h"
#include "sitemap/SitemapManager.h"

#include <QCoreApplication>

namespace crawlmere::views {

FtpSheetFields FtpSheetFields::fromSettings(const QVariantMap& settings)
{
    FtpSheetFields fields;
    fields.server = settings.value(crawlKey::ftpserver).toString();
    fields.port = settings.value(crawlKey::ftpport).toString();
    fields.directory = settings.value(crawlKey::ftpdirectory).toString();
    fields.user = settings.value(crawlKey::ftpusername).toString();
    fields.password = settings.value(crawlKey::ftppassword).toString();
    fields.usesTls = crawlmere::platform::boolValue(settings.value(crawlKey::ftpUsesTLS));
    return fields;
}

void FtpSheetFields::applyTo(QVariantMap& settings) const { settings.insert(toSettings()); }

QVariantMap FtpSheetFields::toSettings() const
{
    return { { crawlKey::ftpserver, server }, { crawlKey::ftpport, port }, { crawlKey::ftpdirectory, directory },
        { crawlKey::ftpusername, user }, { crawlKey::ftppassword, password }, { crawlKey::ftpUsesTLS, usesTls } };
}

FtpSheetModel::FtpSheetModel(sitemap::SitemapManager& manager, std::function<void(const QVariantMap&)> store,
    std::function<QVariantMap()> siteSettings)
    : m_manager(manager)
    , m_store(std::move(store))
    , m_siteSettings(std::move(siteSettings))
{
}

void FtpSheetModel::beginFTPDialog()
{
    if (m_state != State::Hidden)
        return;
    m_state = State::Shown;
    if (m_display.show)
        m_display.show(FtpSheetFields::fromSettings(m_siteSettings ? m_siteSettings() : m_manager.crawlSettings()));
}

void FtpSheetModel::theSheetOK(const FtpSheetFields& fields)
{
    if (m_state != State::Shown)
        return;
    if (fields.server.trimmed().isEmpty()) {
        if (m_display.refuse)
            m_display.refuse(missingServerText());
        return;
    }
    if (m_store)
        m_store(fields.toSettings());
    QVariantMap settings = m_manager.crawlSettings();
    fields.applyTo(settings);
    m_manager.setCrawlSettings(settings);
    m_state = State::Uploading;
    m_manager.transferFiles();
    if (!m_manager.ftpInProgress()) {
        end(1);
        return;
    }
    if (m_display.showBusy)
        m_display.showBusy();
}

QString FtpSheetModel::missingServerText()
{
    return QCoreApplication::translate("FtpSheetModel", "Enter the FTP server to upload the sitemap to.");
}

void FtpSheetModel::theSheetCancel()
{
    if (m_state == State::Shown)
        end(0);
}

void FtpSheetModel::uploadBusy(bool busy)
{
    if (!busy && m_state == State::Uploading)
        end(1);
}

void FtpSheetModel::end(int code)
{
    m_state = State::Hidden;
    if (m_display.end)
        m_display.end(code);
}

} // namespace crawlmere::views
