// The sitemap upload sheet: server, port, folder, user, password and the TLS box over the main
// window, busy while the upload runs.
#pragma once

#include "views/FtpSheetModel.h"

#include <QDialog>

#include <memory>

class QCheckBox;
class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class ShellPrompts;

namespace crawlmere::views {

/// The window-modal sheet `ftpDialog` over the window of its parent. Its fields carry the
/// settings keys as object names (`ftpserver`, `ftpport`, `ftpdirectory`, `ftpusername`,
/// `ftppassword`, `ftpUsesTLS`); the buttons are `ftpOKButton` (`theSheetOK:`) and
/// `ftpCancelButton` (`theSheetCancel:`); `ftpProgress` turns while the upload runs; `ftpMessage`
/// says why OK was refused.
///
/// Installs the manager's `beginFTPDialog`, `ftpBusy` and `alert` hooks, and takes them out
/// again when it goes. The result alert goes to `prompts` (null: no alert is shown). The
/// manager must outlive the sheet. Main thread only.
class SitemapFtpSheet final : public QDialog {
    Q_OBJECT
public:
    /// `siteSettings`: see `FtpSheetModel`.
    SitemapFtpSheet(sitemap::SitemapManager& manager, std::function<void(const QVariantMap&)> store,
        std::shared_ptr<ShellPrompts> prompts, QWidget* parent, std::function<QVariantMap()> siteSettings = {});
    ~SitemapFtpSheet() override;

    FtpSheetModel& model() { return m_model; }
    /// The fields as typed.
    FtpSheetFields fields() const;
    /// Escape, the close button and Cancel: `theSheetCancel:` (refused while uploading).
    void reject() override { m_model.theSheetCancel(); }

private:
    void showFields(const FtpSheetFields& fields);
    void setBusy(bool busy);

    sitemap::SitemapManager& m_manager;
    FtpSheetModel m_model;
    std::shared_ptr<ShellPrompts> m_prompts;
    QLineEdit* m_server = nullptr;
    QLineEdit* m_port = nullptr;
    QLineEdit* m_directory = nullptr;
    QLineEdit* m_user = nullptr;
    QLineEdit* m_password = nullptr;
    QCheckBox* m_usesTls = nullptr;
    QDialogButtonBox* m_buttons = nullptr;
    QProgressBar* m_progress = nullptr;
    QLabel* m_message = nullptr;
};

} // namespace crawlmere::views
