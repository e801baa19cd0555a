// The new-version check and the download of a new build.
#include "app/UpdateWindowController.h"

#include "app/UpdateWindowView.h"
#include "engine/ShellServices.h"
#include "platform/Dispatch.h"
#include "platform/Log.h"
#include "platform/Paths.h"
#include "platform/PropertyList.h"
#include "platform/StoredValue.h"
#include "platform/TextEncoding.h"
#include "platform/UrlOpener.h"
#include "platform/UrlSession.h"
#include "platform/UserDefaults.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QUrl>
#include <QWidget>

#include <array>

namespace crawlmere::app {

using platform::UserDefaults;
namespace Dispatch = platform::Dispatch;

namespace {

constexpr qint64 kMaxListBytes = 1024 * 1024;
constexpr qint64 kMaxVersionTextBytes = 64 * 1024;
constexpr qint64 kMaxNotesBytes = 4 * 1024 * 1024;

QString tr(const char* text) { return QCoreApplication::translate("UpdateWindowController", text); }

/// An absolute http(s) address, else an invalid one.
QUrl webAddress(const QString& text)
{
    const QUrl url(text.trimmed(), QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() || (scheme != u"http" && scheme != u"https"))
        return {};
    return url;
}

/// A load on the calling worker; the body of a whole 2xx answer, or none.
std::optional<platform::UrlLoadResult> load(const QUrl& url, qint64 maxBytes, std::chrono::milliseconds timeout)
{
    if (!url.isValid())
        return std::nullopt;
    platform::UrlRequest request(QString::fromUtf8(url.toEncoded()), double(timeout.count()) / 1000.0);
    request.httpShouldHandleCookies = false;
    request.maxBodyBytes = maxBytes;
    platform::UrlLoadResult result = platform::UrlSession::loadSynchronously(request, timeout);
    if (!result.succeeded() || result.statusCode() < 200 || result.statusCode() >= 300)
        return std::nullopt;
    return result;
}

/// The three version numbers of `version`, or none for no part or four and more.
std::optional<std::array<qint64, 3>> versionTriple(const QString& version)
{
    if (version.isEmpty())
        return std::nullopt;
    const QStringList parts = version.split(u'.');
    if (parts.size() > 3)
        return std::nullopt;
    std::array<qint64, 3> triple { 0, 0, 0 };
    for (qsizetype i = 0; i < parts.size(); ++i)
        triple[size_t(i)] = crawlmere::platform::integerValue(parts[i]);
    return triple;
}

/// The notes document as text for the window: HTML or plain text; an error text for anything
/// else (rich text documents are not read).
void readNotes(const platform::UrlLoadResult& loaded, UpdateWindowController::CheckResult& result)
{
    const QByteArray& body = loaded.body;
    const QString mime = loaded.response ? loaded.response->mimeType : QString();
    const QString charset = loaded.response ? loaded.response->textEncodingName : QString();
    const QByteArray start = body.left(64).trimmed();
    if (mime == u"text/rtf" || mime == u"application/rtf" || start.startsWith("{\\rtf")) {
        result.notesError = QStringLiteral("rich text documents are not read");
        return;
    }
    platform::EncodingId encoding = platform::TextEncoding::encodingForLabel(charset);
    if (encoding == platform::Encoding::None)
        encoding = platform::Encoding::UTF8;
    const auto text = platform::TextEncoding::decode(body, encoding);
    if (!text || text->contains(QChar(0))) {
        result.notesError = QStringLiteral("the document is not text in %1")
                                .arg(charset.isEmpty() ? QStringLiteral("UTF-8") : charset);
        return;
    }
    result.notesLoaded = true;
    result.notes = *text;
    result.notesAreHtml
        = mime == u"text/html" || mime == u"application/xhtml+xml" || (mime.isEmpty() && start.startsWith('<'));
}

/// The check of `kind` against `address`, run on a worker.
UpdateWindowController::CheckResult runCheck(
    UpdateWindowController::CheckKind kind, const QUrl& address, std::chrono::milliseconds timeout)
{
    UpdateWindowController::CheckResult result;
    result.kind = kind;
    if (kind == UpdateWindowController::CheckKind::Manual) {
        const auto loaded = load(address, kMaxVersionTextBytes, timeout);
        if (loaded && !loaded->body.isEmpty())
            result.version = QString::fromUtf8(loaded->body).trimmed();
        result.higher = UpdateWindowController::currentVersionIsHigherThanThisVersion(result.version);
        return result;
    }
    const auto loaded = load(address, kMaxListBytes, timeout);
    if (!loaded)
        return result;
    const auto list = platform::PropertyList::read(loaded->body);
    if (!list || list->typeId() != QMetaType::QVariantMap)
        return result;
    result.dictionary = list->toMap();
    const QVariant version = result.dictionary.value(QStringLiteral("currentversion"));
    if (version.typeId() == QMetaType::QString)
        result.version = version.toString();
    result.higher = UpdateWindowController::currentVersionIsHigherThanThisVersion(result.version);
    if (!result.higher)
        return result;
    const QString notesAddress = result.dictionary.value(QStringLiteral("newinthisversionurl")).toString();
    const auto notes = load(webAddress(notesAddress), kMaxNotesBytes, timeout);
    if (notes)
        readNotes(*notes, result);
    else
        result.notesError = QStringLiteral("the document could not be loaded");
    if (!result.notesError.isEmpty()) {
        result.notesError
            = QStringLiteral("error making string from data at %1 - error %2").arg(notesAddress, result.notesError);
    }
    return result;
}

/// Takes `item` out of every menu and bar that shows it.
void removeFromMenus(QAction* item)
{
    if (!item)
        return;
    for (QObject* holder : item->associatedObjects()) {
        if (auto* widget = qobject_cast<QWidget*>(holder))
            widget->removeAction(item);
    }
}

} // namespace

UpdateWindowController::UpdateWindowController(
    UserDefaults& defaults, UpdateWindowView& view, ShellPrompts& prompts, platform::UrlOpener& opener)
    : m_defaults(defaults)
    , m_view(view)
    , m_prompts(prompts)
    , m_opener(opener)
    , m_alive(std::make_shared<UpdateWindowController*>(this))
{
}

UpdateWindowController::~UpdateWindowController() = default;

void UpdateWindowController::setTurnOnAutoUpdatesMenuItem(QAction* item)
{
    m_turnOnAutoUpdatesMenuItem = item;
    updateMenuItems();
}

void UpdateWindowController::setCheckForUpdatesMenuItem(QAction* item)
{
    m_checkForUpdatesMenuItem = item;
    updateMenuItems();
}

void UpdateWindowController::updateMenuItems()
{
    if (m_turnOnAutoUpdatesMenuItem)
        m_turnOnAutoUpdatesMenuItem->setEnabled(webAddress(m_defaults.stringForKey(kPropertyListURLKey)).isValid());
    if (m_checkForUpdatesMenuItem)
        m_checkForUpdatesMenuItem->setEnabled(webAddress(m_defaults.stringForKey(kVersionTextURLKey)).isValid());
    m_view.setHomePageAvailable(webAddress(m_defaults.stringForKey(kHomePageURLKey)).isValid());
}

void UpdateWindowController::updateDownloadAvailable()
{
    m_view.setDownloadAvailable(
        webAddress(m_currentVersionDictionary.value(QStringLiteral("downloadurl")).toString()).isValid());
}

void UpdateWindowController::awakeFromNib()
{
    m_defaults.registerDefaults({ { kAutomaticUpdateCheckKey, true } });
    updateMenuItems();
    checkForUpdates(CheckKind::Startup);
}

void UpdateWindowController::checkForUpdates(CheckKind kind)
{
    m_defaults.setBool(true, kNoUpdateAvailableKey);
    QUrl address;
    switch (kind) {
    case CheckKind::Startup:
        // Only a stored NO stops it; unset counts as the registered YES.
        if (m_defaults.objectForKey(kAutomaticUpdateCheckKey).isValid()
            && !m_defaults.boolForKey(kAutomaticUpdateCheckKey))
            return;
        removeFromMenus(m_turnOnAutoUpdatesMenuItem);
        platform::logLine(0, QStringLiteral("Update check from startup"));
        address = webAddress(m_defaults.stringForKey(kPropertyListURLKey));
        break;
    case CheckKind::Manual:
        m_currentVersionDictionary.clear();
        updateDownloadAvailable();
        address = webAddress(m_defaults.stringForKey(kVersionTextURLKey));
        break;
    }
    if (!address.isValid())
        return;
    ++m_checksInFlight;
    const std::weak_ptr<UpdateWindowController*> alive = m_alive;
    Dispatch::toGlobal([kind, address, timeout = m_requestTimeout, alive] {
        CheckResult result = runCheck(kind, address, timeout);
        Dispatch::toMain([alive, result = std::move(result)] {
            if (const auto controller = alive.lock())
                (*controller)->checkFinished(result);
        });
    });
}

void UpdateWindowController::checkFinished(const CheckResult& result)
{
    --m_checksInFlight;
    if (result.kind == CheckKind::Startup)
        m_currentVersionDictionary = result.dictionary;
    updateDownloadAvailable();
    if (result.version.isEmpty())
        return;
    if (!result.higher) {
        if (result.kind == CheckKind::Manual)
            m_prompts.runModalAlert({ tr("Update check"), tr("No update available"), { tr("OK") } });
        return;
    }
    switch (result.kind) {
    case CheckKind::Startup:
        if (result.notesLoaded)
            m_view.setNotes(result.notes, result.notesAreHtml);
        else
            platform::logLine(0, result.notesError);
        m_view.setVersionText(result.version);
        m_view.setReleaseDateText(result.dictionary.value(QStringLiteral("releasedate")).toString());
        m_defaults.setBool(false, kNoUpdateAvailableKey);
        m_view.showNewVersionButton();
        break;
    case CheckKind::Manual:
        m_view.setNotes(tr("Please see website for details"), /*html=*/false);
        m_view.setVersionText(result.version);
        m_view.setReleaseDateText(QString());
        showDetails();
        break;
    }
}

void UpdateWindowController::turnOnAutomaticUpdates()
{
    m_defaults.setBool(true, kAutomaticUpdateCheckKey);
    removeFromMenus(m_turnOnAutoUpdatesMenuItem);
    checkForUpdates(CheckKind::Startup);
}

void UpdateWindowController::showDetails() { m_view.showDetails(); }

void UpdateWindowController::closeSheet()
{
    m_view.closeSheet();
    if (!m_view.updateCheckChecked())
        m_defaults.setBool(true, kNoUpdateAvailableKey);
}

void UpdateWindowController::visitUpdate()
{
    const QUrl home = webAddress(m_defaults.stringForKey(kHomePageURLKey));
    if (home.isValid())
        m_opener.openURL(home);
}

void UpdateWindowController::loadUpdate()
{
    if (m_currentVersionDictionary.isEmpty() || m_download)
        return;
    const QUrl url = webAddress(m_currentVersionDictionary.value(QStringLiteral("downloadurl")).toString());
    const QString folder = platform::Paths::downloadsFolder();
    if (!url.isValid()) {
        platform::logLine(0, QStringLiteral("Updateconnection can't be created"));
        return;
    }
    if (!platform::Paths::makeFolder(folder)) {
        platform::logLine(0, QStringLiteral("unable to save to %1").arg(folder));
        return;
    }
    m_download = UpdateDownload::start(
        url, folder,
        [this](qint64 received, qint64 expected) { m_view.setProgress(/*running=*/true, received, expected); },
        [this, folder](const UpdateDownload::Outcome& outcome) { downloadFinished(outcome, folder); });
    if (!m_download) {
        platform::logLine(0, QStringLiteral("Updateconnection can't be created"));
        return;
    }
    m_view.setProgress(/*running=*/true, 0, -1);
}

void UpdateWindowController::downloadFinished(const UpdateDownload::Outcome& outcome, const QString& folder)
{
    m_download.reset();
    m_view.setProgress(/*running=*/false, 0, -1);
    switch (outcome.result) {
    case UpdateDownload::Outcome::Result::ConnectionFailed:
        platform::logLine(0, QStringLiteral("update connection failed"));
        return;
    case UpdateDownload::Outcome::Result::SaveFailed:
        platform::logLine(0, QStringLiteral("unable to save to %1").arg(folder));
        return;
    case UpdateDownload::Outcome::Result::Saved:
        break;
    }
    m_opener.openURL(QUrl::fromLocalFile(outcome.path));
    m_opener.openURL(QUrl::fromLocalFile(folder));
    closeSheet();
    const std::weak_ptr<UpdateWindowController*> alive = m_alive;
    Dispatch::toMain([alive] {
        if (const auto controller = alive.lock(); controller && (*controller)->m_terminate)
            (*controller)->m_terminate();
    });
}

bool UpdateWindowController::currentVersionIsHigherThanThisVersion(const QString& published, const QString& running)
{
    const auto mine = versionTriple(running);
    const auto theirs = versionTriple(published);
    if (!mine || !theirs)
        return false;
    return *theirs > *mine;
}

} // namespace crawlmere::app
