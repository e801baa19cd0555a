// Hands web addresses, mail addresses and files to the desktop's opener and tells when it fails.
#pragma once

#include <QObject>
#include <QStringList>
#include <QUrl>

#include <functional>

namespace crawlmere::app {

/// The program's own handler of the schemes it opens outside (`kSchemes`): each URL goes to the
/// desktop's opener program (`xdg-open` unless told otherwise) in a process of its own, watched
/// without waiting. When the opener cannot be started or ends with a failure ("no method
/// available" where no browser is installed), `failed` gets the URL and the opener's last words.
/// `install` registers it through `QDesktopServices::setUrlHandler`, so that everything that
/// opens a URL the usual way comes here; the destructor takes the registration back. Main thread.
class DesktopLauncher final : public QObject {
    Q_OBJECT
public:
    static const QStringList& kSchemes();

    using Failed = std::function<void(const QUrl& url, const QString& why)>;
    explicit DesktopLauncher(Failed failed, QString opener = QStringLiteral("xdg-open"), QObject* parent = nullptr);
    ~DesktopLauncher() override;

    /// Registers this launcher for `kSchemes()`.
    void install();

    /// The alert's text for a URL that could not be opened.
    static QString failureText(const QUrl& url, const QString& why);

public Q_SLOTS:
    /// Starts the opener with `url`.
    void open(const QUrl& url);

private:
    Failed m_failed;
    QString m_opener;
    bool m_installed = false;
};

} // namespace crawlmere::app
