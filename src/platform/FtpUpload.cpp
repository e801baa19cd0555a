// Uploading files to an FTP or FTPS server in-process, one file after another.
#include "platform/FtpUpload.h"

#include "platform/detail/NetworkEngine.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <curl/curl.h>

#include <cstdio>
#include <memory>

namespace crawlmere::platform {

namespace {

struct EasyDeleter {
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};

} // namespace

QString FtpUpload::destinationUrl(const FtpUploadRequest& request)
{
    const QString host = request.port.isEmpty() ? request.server : request.server + u':' + request.port;
    QString directory = request.directory;
    while (directory.startsWith(u'/'))
        directory.remove(0, 1);
    while (directory.endsWith(u'/'))
        directory.chop(1);
    return directory.isEmpty() ? host + u'/' : host + u'/' + directory + u'/';
}

FtpUploadResult FtpUpload::run(const FtpUploadRequest& request)
{
    detail::globalInitOnce();
    const std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
    if (!easy)
        return { CURLE_FAILED_INIT, QStringLiteral("no transfer handle") };
    const QByteArray base = destinationUrl(request).toUtf8();
    const QByteArray user = request.user.toUtf8();
    const QByteArray password = request.password.toUtf8();
    char error[CURL_ERROR_SIZE] = {};
    CURL* h = easy.get();
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, error);
    curl_easy_setopt(h, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(h, CURLOPT_DEFAULT_PROTOCOL, "ftp");
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "ftp,ftps");
    curl_easy_setopt(h, CURLOPT_USERNAME, user.constData());
    curl_easy_setopt(h, CURLOPT_PASSWORD, password.constData());
    curl_easy_setopt(h, CURLOPT_USE_SSL, request.requireTls ? long(CURLUSESSL_ALL)
            : request.tryTls                                 ? long(CURLUSESSL_TRY)
                                                             : long(CURLUSESSL_NONE));
    if (request.insecure) {
        curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 0L);
        curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 0L);
    }
    QElapsedTimer clock;
    clock.start();
    const qint64 limitMs = qint64(request.timeoutSeconds) * 1000;
    for (const QString& path : request.files) {
        const std::unique_ptr<FILE, FileCloser> file(std::fopen(QFile::encodeName(path).constData(), "rb"));
        if (!file)
            return { CURLE_READ_ERROR, path };
        const qint64 left = limitMs - clock.elapsed();
        if (left <= 0)
            return { CURLE_OPERATION_TIMEDOUT, QStringLiteral("time limit reached") };
        const QByteArray url = base + QUrl::toPercentEncoding(QFileInfo(path).fileName());
        curl_easy_setopt(h, CURLOPT_URL, url.constData());
        curl_easy_setopt(h, CURLOPT_READDATA, file.get());
        curl_easy_setopt(h, CURLOPT_INFILESIZE_LARGE, curl_off_t(QFileInfo(path).size()));
        curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, long(left));
        error[0] = '\0';
        const CURLcode code = curl_easy_perform(h);
        if (code != CURLE_OK)
            return { int(code), QString::fromUtf8(error[0] ? error : curl_easy_strerror(code)) };
    }
    return {};
}

} // namespace crawlmere::platform
