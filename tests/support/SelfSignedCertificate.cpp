// A self-signed certificate made by the openssl tool.
#include "support/SelfSignedCertificate.h"

#include <QDir>
#include <QProcess>

namespace crawlmere::test {

std::optional<CertificateFiles> makeSelfSignedCertificate(const QString& folder, const QString& commonName)
{
    const QDir dir(folder);
    CertificateFiles files { dir.filePath(QStringLiteral("cert.pem")), dir.filePath(QStringLiteral("key.pem")) };
    QProcess openssl;
    openssl.start(QStringLiteral("openssl"),
        { QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"), QStringLiteral("rsa:2048"),
            QStringLiteral("-nodes"), QStringLiteral("-days"), QStringLiteral("1"), QStringLiteral("-subj"),
            QStringLiteral("/CN=") + commonName, QStringLiteral("-keyout"), files.key, QStringLiteral("-out"),
            files.certificate });
    if (!openssl.waitForFinished(30000) || openssl.exitStatus() != QProcess::NormalExit || openssl.exitCode() != 0)
        return std::nullopt;
    return files;
}

} // namespace crawlmere::test
