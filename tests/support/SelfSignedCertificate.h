// A self-signed certificate and its key, made by the openssl tool in a folder of the test's, for
// https servers on 127.0.0.1.
#pragma once

#include <QString>

#include <optional>

namespace crawlmere::test {

struct CertificateFiles {
    QString certificate;
    QString key;
};

/// Makes "cert.pem" and "key.pem" (RSA 2048, one day, subject CN=`commonName`, signed by
/// nobody) in `folder`; nullopt when the openssl tool is missing or fails.
std::optional<CertificateFiles> makeSelfSignedCertificate(
    const QString& folder, const QString& commonName = QStringLiteral("127.0.0.1"));

} // namespace crawlmere::test
