// Uploading files to an FTP or FTPS server in-process, one file after another.
#pragma once

#include <QString>
#include <QStringList>

namespace crawlmere::platform {

/// Where and how to upload. Credentials stay in this process: they are handed to libcurl only.
struct FtpUploadRequest {
    /// The host as typed, with or without "ftp://" or "ftps://"; no scheme means FTP.
    QString server;
    /// Appended as server:port when not empty.
    QString port;
    /// The remote folder; slashes at either end are trimmed.
    QString directory;
    QString user;
    QString password;
    /// Require TLS on the control and data connections (the upload fails when the server
    /// cannot speak it, before any password is sent).
    bool requireTls = false;
    /// Only with `requireTls` off: try TLS and fall back to clear text.
    bool tryTls = false;
    /// Skip the peer certificate and host name checks.
    bool insecure = false;
    /// Absolute paths of the files, uploaded in order under their own names.
    QStringList files;
    /// The limit on the whole run, all files together.
    int timeoutSeconds = 30;
};

/// The outcome of an upload: 0 when every file arrived, else the first libcurl error code
/// (`CURLE_READ_ERROR` for a file that cannot be read, `CURLE_UNSUPPORTED_PROTOCOL` for a
/// scheme other than ftp or ftps).
struct FtpUploadResult {
    int code = 0;
    /// libcurl's error text, or the file that could not be read.
    QString detail;
};

/// Runs an upload; stateless.
class FtpUpload {
public:
    /// "host[:port]/dir/" or "host[:port]/" — the URL the file names are appended to.
    static QString destinationUrl(const FtpUploadRequest& request);
    /// Blocks until every file is sent or the first failure: call it on a worker thread, never
    /// the main one. Thread-safe (each call uses its own handle). Only ftp and ftps are
    /// allowed, redirects are never followed.
    static FtpUploadResult run(const FtpUploadRequest& request);
};

} // namespace crawlmere::platform
