// What the sitemap upload sheet does, without a widget: its fields from and back to the site's
// settings, the upload started on OK, and when the sheet may end.
#pragma once

#include <QString>
#include <QVariantMap>

#include <functional>

namespace crawlmere::sitemap {
class SitemapManager;
}

namespace crawlmere::views {

/// The six upload settings the sheet edits, under the site's keys `ftpserver`, `ftpport`,
/// `ftpdirectory`, `ftpusername`, `ftppassword` and `ftpUsesTLS`.
struct FtpSheetFields {
    QString server;
    QString port;
    QString directory;
    QString user;
    QString password;
    bool usesTls = false;

    /// The fields of a site's settings; a missing key reads as empty (or off).
    static FtpSheetFields fromSettings(const QVariantMap& settings);
    /// Writes the six keys into `settings`, leaving every other key alone.
    void applyTo(QVariantMap& settings) const;
    /// The six keys alone.
    QVariantMap toSettings() const;
};

/// The sheet's states: hidden, shown and waiting for an answer, shown while an upload runs.
/// The upload itself runs on the manager's worker; `uploadBusy` must receive the manager's
/// `ftpBusy` calls. Main thread only; the manager must outlive the model.
class FtpSheetModel {
public:
    enum class State { Hidden, Shown, Uploading };

    /// What the widget does with the model's answers; unset hooks are skipped.
    struct Display {
        /// Show the sheet with these fields, buttons enabled.
        std::function<void(const FtpSheetFields&)> show;
        /// The upload started: fields and buttons disabled, a busy indicator shown.
        std::function<void()> showBusy;
        /// End the sheet with a return code (1 OK, 0 cancelled) and order it out.
        std::function<void(int)> end;
        /// OK was refused: say `message` in the sheet, which stays open with its fields.
        std::function<void(const QString& message)> refuse;
    };

    /// What the sheet says when OK is pressed with no server.
    static QString missingServerText();

    /// `store` receives the six keys on OK, for the selected site's settings (may be unset).
    /// `siteSettings` answers the selected site's stored settings, which the sheet shows when it
    /// opens; unset, it shows the manager's copy of the settings of the last scan.
    FtpSheetModel(sitemap::SitemapManager& manager, std::function<void(const QVariantMap&)> store,
        std::function<QVariantMap()> siteSettings = {});

    void setDisplay(Display display) { m_display = std::move(display); }
    State state() const { return m_state; }

    /// beginFTPDialog: shows the sheet with the fields of the selected site's settings (see the
    /// constructor). While the sheet is already shown (or uploading) nothing changes.
    void beginFTPDialog();
    /// theSheetOK: with no server typed (blanks only count as none) the sheet stays open and
    /// `refuse` says so; nothing is stored or uploaded. Otherwise the fields go to the store and
    /// to the manager's settings, then `transferFiles`. When an upload started, the sheet stays,
    /// busy, until `uploadBusy(false)`; when nothing started it ends at once with 1. Ignored
    /// unless shown.
    void theSheetOK(const FtpSheetFields& fields);
    /// theSheetCancel: ends the sheet with 0; ignored while an upload runs (it cannot be taken
    /// back halfway) and while hidden.
    void theSheetCancel();
    /// The manager's `ftpBusy`: false ends an uploading sheet with 1, before the result alert.
    void uploadBusy(bool busy);

private:
    void end(int code);

    sitemap::SitemapManager& m_manager;
    std::function<void(const QVariantMap&)> m_store;
    std::function<QVariantMap()> m_siteSettings;
    Display m_display;
    State m_state = State::Hidden;
};

} // namespace crawlmere::views
