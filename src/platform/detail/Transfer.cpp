#include "platform/detail/Transfer.h"

#include "platform/NameResolver.h"
#include "platform/detail/NetworkEngine.h"

#include <QUrl>

#include <cmath>

namespace crawlmere::platform::detail {

namespace {

    bool isBlank(char c) { return c == ' ' || c == '\t'; }

    /// "HTTP/1.1 404 Not Found" → version 11, code 404, reason "Not Found".
    bool parseStatusLine(const QByteArray& line, int& version, int& code, QByteArray& reason)
    {
        const qsizetype firstSpace = line.indexOf(' ');
        if (firstSpace < 0)
            return false;
        const QByteArray protocol = line.left(firstSpace);
        if (protocol == "HTTP/1.0")
            version = 10;
        else if (protocol == "HTTP/1.1")
            version = 11;
        else if (protocol.startsWith("HTTP/2"))
            version = 20;
        else if (protocol.startsWith("HTTP/3"))
            version = 30;
        else
            version = 0;
        QByteArray rest = line.mid(firstSpace + 1);
        const qsizetype secondSpace = rest.indexOf(' ');
        bool ok = false;
        code = rest.left(secondSpace < 0 ? rest.size() : secondSpace).toInt(&ok);
        reason = secondSpace < 0 ? QByteArray() : rest.mid(secondSpace + 1).trimmed();
        return ok;
    }

    size_t onHeaderLine(char* buffer, size_t size, size_t count, void* userData)
    {
        auto& transfer = *static_cast<Transfer*>(userData);
        const size_t length = size * count;
        if (transfer.state != TransferState::Connecting)
            return length; // trailers after a chunked body: not part of the head
        transfer.noteActivity();
        transfer.headBytes += static_cast<qint64>(length);
        if (transfer.headBytes > transfer.request.maxHeaderBytes) {
            transfer.stopReason = UrlError::make(UrlErrorCode::HeaderTooLarge);
            return 0;
        }
        QByteArray line(buffer, static_cast<qsizetype>(length));
        while (line.endsWith('\n') || line.endsWith('\r'))
            line.chop(1);

        if (line.startsWith("HTTP/")) {
            // A new head begins: an interim 1xx response is followed by the real one.
            transfer.headers.clear();
            transfer.reasonPhrase.clear();
            if (!parseStatusLine(line, transfer.httpVersion, transfer.statusCode, transfer.reasonPhrase))
                transfer.statusCode = 0;
            return length;
        }
        if (line.isEmpty()) {
            if (transfer.statusCode >= 100 && transfer.statusCode < 200)
                return length; // end of an interim head
            if (!transfer.engine.headComplete(transfer))
                return 0;
            return length;
        }
        if (isBlank(line[0])) {
            // An obsolete folded continuation of the previous field.
            transfer.headers.appendToLastValue(line.trimmed());
            return length;
        }
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            return length; // not a field; ignore it as browsers do
        transfer.headers.add(line.left(colon).trimmed(), line.mid(colon + 1).trimmed());
        return length;
    }

    size_t onBodyBytes(char* buffer, size_t size, size_t count, void* userData)
    {
        auto& transfer = *static_cast<Transfer*>(userData);
        const size_t length = size * count;
        switch (transfer.state) {
        case TransferState::AwaitingDecision:
        case TransferState::ReceivingBody:
            break;
        case TransferState::Connecting:
        case TransferState::Finished:
            transfer.stopReason = UrlError::make(UrlErrorCode::BadServerResponse);
            return 0;
        }
        transfer.noteActivity();
        // Never paused: a paused transfer has libcurl go on decoding a compressed body into a
        // buffer of its own, unbounded by the cap. Bytes that come while the head's decision is
        // pending are held here instead, within the cap, and the cap ends the body the moment it
        // is reached, whatever the encoding and whether or not the decision is in.
        const qint64 room = transfer.request.maxBodyBytes - transfer.bodyBytes;
        const qint64 taken = std::min<qint64>(room, static_cast<qint64>(length));
        const bool held = transfer.state == TransferState::AwaitingDecision;
        if (taken > 0) {
            transfer.bodyBytes += taken;
            if (held)
                transfer.heldBody.append(buffer, taken);
            else
                transfer.sink->dataReceived(QByteArray(buffer, taken));
        }
        if (taken < static_cast<qint64>(length)) {
            transfer.stopReason = UrlError::make(UrlErrorCode::BodyTooLarge);
            return 0;
        }
        return length;
    }

    /// The idle time-out: called about once a second even when nothing moves. libcurl's own
    /// low-speed limit averages over several seconds, so after a burst it would wait that much
    /// longer; this clock is exact to about a second.
    int onProgress(void* userData, curl_off_t, curl_off_t downloaded, curl_off_t, curl_off_t uploaded)
    {
        auto& transfer = *static_cast<Transfer*>(userData);
        const auto now = std::chrono::steady_clock::now();
        const curl_off_t moved = downloaded + uploaded;
        if (transfer.state == TransferState::AwaitingDecision || moved != transfer.lastProgressBytes) {
            // Waiting for our own decision is not the server's idleness.
            transfer.lastProgressBytes = moved;
            transfer.lastActivity = now;
            return 0;
        }
        if (now - transfer.lastActivity > transfer.idleTimeout) {
            transfer.stopReason = UrlError::make(UrlErrorCode::TimedOut);
            return 1;
        }
        return 0;
    }

    /// Called by libcurl on the network thread just before it would ask the name service;
    /// non-zero ends the transfer as an unknown name does.
    int onResolverStart(void*, void*, void* userData)
    {
        const auto& transfer = *static_cast<const Transfer*>(userData);
        return nameLookupMustFail(QUrl(transfer.request.url).host().toLower()) ? 1 : 0;
    }

    bool headerNameIsSafe(const QByteArray& name)
    {
        if (name.isEmpty())
            return false;
        for (char c : name) {
            if (c <= ' ' || c == ':' || c == 127)
                return false;
        }
        return true;
    }

    QByteArray withoutLineBreaks(QByteArray value)
    {
        value.replace('\r', ' ');
        value.replace('\n', ' ');
        return value.trimmed();
    }

} // namespace

void Transfer::resetHop()
{
    easy.release();
    headerList.reset();
    resolveList.reset();
    state = TransferState::Connecting;
    statusCode = 0;
    reasonPhrase.clear();
    httpVersion = 0;
    headers.clear();
    headBytes = 0;
    headComplete = false;
    // Bytes of a body not taken (a redirect's, a challenge's) are not the task's.
    bodyBytes = 0;
    heldBody.clear();
    stopReason.reset();
    endedWhileAwaiting.reset();
    headToReport.reset();
    lastProgressBytes = 0;
    noteActivity();
}

std::optional<UrlError> Transfer::prepare(CURLSH* cookieShare)
{
    const QString scheme = request.scheme();
    if (request.url.isEmpty() || scheme.isEmpty())
        return UrlError::make(UrlErrorCode::BadUrl);
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
        return UrlError::make(UrlErrorCode::UnsupportedUrl);

    EasyHandle handle(curl_easy_init());
    if (!handle)
        return UrlError::make(UrlErrorCode::Unknown);
    CURL* e = handle.get();

    const QByteArray url = request.url.toUtf8();
    if (curl_easy_setopt(e, CURLOPT_URL, url.constData()) != CURLE_OK)
        return UrlError::make(UrlErrorCode::BadUrl);
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_2TLS));
    curl_easy_setopt(e, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 0L);
    curl_easy_setopt(e, CURLOPT_PROXY_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(e, CURLOPT_PROXY_SSL_VERIFYHOST, 0L);
    curl_easy_setopt(e, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);

    // Idle time-out: the connection must come up within it, and afterwards some byte must move
    // in every stretch of that length (checked by onProgress).
    const double timeout
        = request.timeoutInterval >= 0.001 ? request.timeoutInterval : UrlRequest::kDefaultTimeoutInterval;
    idleTimeout = std::chrono::milliseconds(static_cast<qint64>(std::ceil(timeout * 1000.0)));
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(idleTimeout.count()));
    curl_easy_setopt(e, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(e, CURLOPT_XFERINFOFUNCTION, &onProgress);
    curl_easy_setopt(e, CURLOPT_XFERINFODATA, this);
    noteActivity();

    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &onHeaderLine);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &onBodyBytes);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(e, CURLOPT_PRIVATE, this);
    if (nameLookupFailureInstalled()) {
        curl_easy_setopt(e, CURLOPT_RESOLVER_START_FUNCTION, &onResolverStart);
        curl_easy_setopt(e, CURLOPT_RESOLVER_START_DATA, this);
    }

    if (request.proxy && !request.proxy->host.isEmpty()) {
        const QByteArray proxy
            = QStringLiteral("http://%1:%2").arg(request.proxy->host, QString::number(request.proxy->port)).toUtf8();
        curl_easy_setopt(e, CURLOPT_PROXY, proxy.constData());
    } else {
        curl_easy_setopt(e, CURLOPT_PROXY, ""); // no proxy, whatever the environment says
        if (!pinLookedUpAddresses(e))
            return UrlError::make(UrlErrorCode::Unknown);
    }

    if (request.httpShouldHandleCookies && cookieShare) {
        curl_easy_setopt(e, CURLOPT_SHARE, cookieShare);
        curl_easy_setopt(e, CURLOPT_COOKIEFILE, "");
    }

    if (credential) {
        curl_easy_setopt(e, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
        const QByteArray user = credential->user.toUtf8();
        const QByteArray password = credential->password.toUtf8();
        curl_easy_setopt(e, CURLOPT_USERNAME, user.constData());
        curl_easy_setopt(e, CURLOPT_PASSWORD, password.constData());
    }

    // Header fields. libcurl derives Host and Content-Length itself and names the codings it
    // decodes in Accept-Encoding; our own values of those would be wrong or undecodable.
    curl_slist* list = nullptr;
    bool failed = false;
    auto append = [&](const QByteArray& line) {
        curl_slist* next = curl_slist_append(list, line.constData());
        if (!next) {
            failed = true;
            return;
        }
        list = next;
    };
    bool hasUserAgent = false;
    for (const auto& [name, value] : request.headers.fields()) {
        if (!headerNameIsSafe(name) || HttpHeaders::namesEqual(name, "Host")
            || HttpHeaders::namesEqual(name, "Content-Length") || HttpHeaders::namesEqual(name, "Accept-Encoding"))
            continue;
        if (HttpHeaders::namesEqual(name, "User-Agent"))
            hasUserAgent = true;
        const QByteArray clean = withoutLineBreaks(value);
        append(clean.isEmpty() ? name + ';' : name + ": " + clean);
    }
    append("Expect:"); // no 100-continue round trip before a body
    headerList.reset(list);
    if (failed)
        return UrlError::make(UrlErrorCode::Unknown);
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, headerList.get());
    if (!hasUserAgent && !request.userAgent.isEmpty()) {
        const QByteArray agent = withoutLineBreaks(request.userAgent.toUtf8());
        curl_easy_setopt(e, CURLOPT_USERAGENT, agent.constData());
    }

    const QByteArray method = request.httpMethod.trimmed().toUpper();
    if (method.isEmpty() || method == "GET") {
        curl_easy_setopt(e, CURLOPT_HTTPGET, 1L);
    } else if (method == "HEAD") {
        curl_easy_setopt(e, CURLOPT_NOBODY, 1L);
    } else {
        if (method == "POST" || !request.httpBody.isEmpty()) {
            curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.httpBody.size()));
            curl_easy_setopt(e, CURLOPT_COPYPOSTFIELDS, request.httpBody.constData());
        }
        if (method != "POST") {
            if (!headerNameIsSafe(method))
                return UrlError::make(UrlErrorCode::BadUrl);
            curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, method.constData());
        }
    }

    easy.reset(std::move(handle));
    return std::nullopt;
}

bool Transfer::pinLookedUpAddresses(CURL* e)
{
    const QString host = HostAddressBook::lookupHost(request.url);
    if (host.isEmpty())
        return true;
    const std::optional<QStringList> addresses = HostAddressBook::find(host);
    if (!addresses)
        return true;
    const QUrl url(request.url);
    const int port = url.port(request.scheme() == QLatin1String("https") ? 443 : 80);
    QStringList written;
    for (const QString& address : *addresses)
        written.append(address.contains(u':') ? u'[' + address + u']' : address);
    const QByteArray entry = QStringLiteral("%1:%2:%3").arg(host, QString::number(port), written.join(u',')).toLatin1();
    resolveList.reset(curl_slist_append(nullptr, entry.constData()));
    if (!resolveList)
        return false;
    curl_easy_setopt(e, CURLOPT_RESOLVE, resolveList.get());
    return true;
}

UrlResponse Transfer::makeResponse() const
{
    UrlResponse response;
    response.isHttp = true;
    response.statusCode = statusCode;
    response.httpVersion = httpVersion;
    response.reasonPhrase = reasonPhrase.isEmpty() ? UrlResponse::localizedStringForStatusCode(statusCode)
                                                   : QString::fromLatin1(reasonPhrase);
    response.allHeaderFields = headers;
    response.url = request.url;
    if (easy) {
        char* effective = nullptr;
        if (curl_easy_getinfo(easy.get(), CURLINFO_EFFECTIVE_URL, &effective) == CURLE_OK && effective)
            response.url = QString::fromUtf8(effective);
    }
    response.setContentType(headers.value("Content-Type"));
    if (headers.contains("Content-Length")) {
        bool ok = false;
        const qint64 length = headers.values("Content-Length").constFirst().trimmed().toLongLong(&ok);
        response.expectedContentLength = ok && length >= 0 ? length : -1;
    }
    return response;
}

UrlError Transfer::errorFor(CURLcode code) const
{
    auto make = [code](UrlErrorCode ours) { return UrlError::make(ours, static_cast<int>(code)); };
    switch (code) {
    case CURLE_OPERATION_TIMEDOUT:
        return make(UrlErrorCode::TimedOut);
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
        return make(UrlErrorCode::CannotFindHost);
    case CURLE_COULDNT_CONNECT:
        return make(UrlErrorCode::CannotConnectToHost);
    case CURLE_GOT_NOTHING:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_PARTIAL_FILE:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
    case CURLE_HTTP3:
        return make(UrlErrorCode::NetworkConnectionLost);
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_UNSUPPORTED_PROTOCOL:
        return make(UrlErrorCode::BadServerResponse);
    case CURLE_BAD_CONTENT_ENCODING:
        return make(UrlErrorCode::CannotDecodeContent);
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_SHUTDOWN_FAILED:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_SSL_CLIENTCERT:
    case CURLE_USE_SSL_FAILED:
        return make(UrlErrorCode::SecureConnectionFailed);
    case CURLE_URL_MALFORMAT:
        return make(UrlErrorCode::BadUrl);
    case CURLE_TOO_MANY_REDIRECTS:
        return make(UrlErrorCode::TooManyRedirects);
    case CURLE_FILESIZE_EXCEEDED:
        return make(UrlErrorCode::BodyTooLarge);
    case CURLE_OUT_OF_MEMORY:
        // libcurl refuses a single header line beyond its own limit this way.
        if (!headComplete)
            return make(UrlErrorCode::HeaderTooLarge);
        break;
    default:
        break;
    }
    UrlError error = make(UrlErrorCode::Unknown);
    error.localizedDescription = QString::fromUtf8(curl_easy_strerror(code));
    return error;
}

} // namespace crawlmere::platform::detail
