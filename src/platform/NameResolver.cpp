#include "platform/NameResolver.h"

#include "platform/detail/NetworkEngine.h"

#include <QRunnable>
#include <QThreadPool>
#include <QUrl>

#include <chrono>
#include <mutex>
#include <unordered_map>

#include <arpa/inet.h>
#include <netdb.h>
#include <resolv.h>
#include <sys/socket.h>

namespace crawlmere::platform {

namespace {

/// A lookup thread's stack: the name service needs far less, and only the pages it
/// touches cost memory.
constexpr uint kLookupStackBytes = 512 * 1024;
/// Idle lookup threads end after this.
constexpr int kLookupThreadExpiryMs = 30'000;

/// How long an answer is used before transfers look the name up themselves again.
constexpr auto kAnswerLifetime = std::chrono::minutes(30);
/// Beyond this many hosts the book starts again empty.
constexpr std::size_t kBookCap = 100'000;

/// A query the name server has not answered is sent again after this many seconds, up to
/// `kQueryTries` times in all. The system's own five seconds (twice) cost every lookup whose
/// query a busy or rate-limited server dropped five seconds or ten; asked again after one, most
/// are answered within a few.
constexpr int kQueryRetransmitSeconds = 1;
constexpr int kQueryTries = 6;

/// Applies the retry timing above to the calling thread's resolver state, once per thread.
void tuneThisThreadsResolver()
{
    thread_local bool tuned = false;
    if (tuned)
        return;
    tuned = true;
    if (res_init() != 0)
        return;
    _res.retrans = kQueryRetransmitSeconds;
    _res.retry = kQueryTries;
}

NameLookupResult blockingLookup(const QString& host)
{
    NameLookupResult result;
    if (detail::nameLookupMustFail(host)) {
        result.error = UrlError::make(UrlErrorCode::CannotFindHost);
        return result;
    }
    tuneThisThreadsResolver();
    addrinfo hints {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const QByteArray name = host.toUtf8();
    const int code = getaddrinfo(name.constData(), nullptr, &hints, &found);
    if (code == 0) {
        for (const addrinfo* entry = found; entry; entry = entry->ai_next) {
            char text[INET6_ADDRSTRLEN] = {};
            const void* address = nullptr;
            if (entry->ai_family == AF_INET)
                address = &reinterpret_cast<const sockaddr_in*>(entry->ai_addr)->sin_addr;
            else if (entry->ai_family == AF_INET6)
                address = &reinterpret_cast<const sockaddr_in6*>(entry->ai_addr)->sin6_addr;
            if (!address || !inet_ntop(entry->ai_family, address, text, sizeof text))
                continue;
            const QString numeric = QString::fromLatin1(text);
            if (!result.addresses.contains(numeric))
                result.addresses.append(numeric);
        }
        freeaddrinfo(found);
    }
    if (result.addresses.isEmpty())
        result.error = UrlError::make(UrlErrorCode::CannotFindHost);
    return result;
}

class SystemNameResolver final : public NameResolver {
public:
    SystemNameResolver()
    {
        m_pool.setMaxThreadCount(kLookupsAtOnce);
        m_pool.setStackSize(kLookupStackBytes);
        m_pool.setExpiryTimeout(kLookupThreadExpiryMs);
    }

    void lookUp(const QString& host, Done done) override
    {
        m_pool.start(QRunnable::create([host, done = std::move(done)] { done(blockingLookup(host)); }));
    }

private:
    QThreadPool m_pool;
};

struct BookEntry {
    QStringList addresses;
    std::chrono::steady_clock::time_point until;
};

std::mutex g_bookMutex;
std::unordered_map<QString, BookEntry> g_book;

} // namespace

NameResolver::~NameResolver() = default;

std::shared_ptr<NameResolver> NameResolver::system()
{
    // Never destroyed: a lookup the service answers late must not hold up the end of the
    // process, and its answer then goes nowhere.
    static const std::shared_ptr<NameResolver> instance(new SystemNameResolver, [](NameResolver*) {});
    return instance;
}

QString HostAddressBook::lookupHost(const QString& url)
{
    QString host = QUrl(url).host(QUrl::EncodeUnicode).toLower();
    if (host.isEmpty())
        return {};
    const QByteArray text = host.toLatin1();
    unsigned char address[sizeof(in6_addr)];
    if (inet_pton(AF_INET, text.constData(), address) == 1 || inet_pton(AF_INET6, text.constData(), address) == 1)
        return {};
    return host;
}

void HostAddressBook::remember(const QString& host, const QStringList& addresses)
{
    std::lock_guard lock(g_bookMutex);
    if (addresses.isEmpty()) {
        g_book.erase(host);
        return;
    }
    if (g_book.size() >= kBookCap)
        g_book.clear();
    g_book.insert_or_assign(host, BookEntry { addresses, std::chrono::steady_clock::now() + kAnswerLifetime });
}

std::optional<QStringList> HostAddressBook::find(const QString& host)
{
    std::lock_guard lock(g_bookMutex);
    if (g_book.empty())
        return std::nullopt;
    const auto found = g_book.find(host);
    if (found == g_book.end())
        return std::nullopt;
    if (std::chrono::steady_clock::now() >= found->second.until) {
        g_book.erase(found);
        return std::nullopt;
    }
    return found->second.addresses;
}

void HostAddressBook::clear()
{
    std::lock_guard lock(g_bookMutex);
    g_book.clear();
}

} // namespace crawlmere::platform
