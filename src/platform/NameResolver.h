// Name lookups ahead of transfers: a resolver interface with the machine's name service behind
// it (blocking lookups on a pool of threads of its own), and the book of answers that transfers
// connect to instead of looking the name up again.
#pragma once

#include "platform/UrlError.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

namespace crawlmere::platform {

/// The answer to one lookup: the host's addresses (numeric, IPv6 ones without brackets), or why
/// there are none.
struct NameLookupResult {
    QStringList addresses;
    /// `CannotFindHost` for a name the service does not know (or that answered no address).
    std::optional<UrlError> error;
};

/// Looks host names up.
class NameResolver {
public:
    using Done = std::function<void(NameLookupResult)>;

    virtual ~NameResolver();

    /// Looks `host` (lower-case, without port or brackets) up and calls `done` exactly once,
    /// on any thread. Safe from any thread.
    virtual void lookUp(const QString& host, Done done) = 0;

    /// The machine's name service: up to `kLookupsAtOnce` blocking lookups at once on threads
    /// of its own (more wait their turn), so a lookup that the service answers late holds no
    /// transfer and no worker of the shared pools. A host for which the test of
    /// `UrlSession::setNameLookupFailure` answers true fails at once without asking the
    /// service. A query the name server leaves unanswered is sent again after a second (up to
    /// six times) instead of the system's five seconds. The same object for the whole process.
    static std::shared_ptr<NameResolver> system();

    /// Lookups the machine's name service runs at once; the scan starts no more than this.
    static constexpr int kLookupsAtOnce = 128;

protected:
    NameResolver() = default;
};

/// Answers that transfers use instead of a lookup of their own: a transfer to a host found here
/// (without a proxy) connects to these addresses. Safe from any thread.
namespace HostAddressBook {
/// The host of `url` as lookups and the book know it: lower-case, international names in
/// their ASCII form, without brackets; empty for a URL without host and for an address
/// written as such (which needs no lookup).
QString lookupHost(const QString& url);
/// Keeps `addresses` for `host` (lower-case) for a while; replaces an earlier answer. An
/// empty list removes it.
void remember(const QString& host, const QStringList& addresses);
/// The addresses kept for `host`, none when it was not looked up lately.
std::optional<QStringList> find(const QString& host);
/// Forgets every answer.
void clear();
} // namespace HostAddressBook

} // namespace crawlmere::platform
