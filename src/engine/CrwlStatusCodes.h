// Names for the internal negative status codes a URL record carries for outcomes that HTTP
// does not describe.
#pragma once

#include <QtGlobal>

/// The internal status codes (-1 to -21). Anything from 0 up is an HTTP status code; 0 means a
/// response that carried no code. `CrwlUrl::descriptionForStatusCode` gives their texts.
namespace CrwlStatus {
/// "" : not yet checked, or put back in the queue.
inline constexpr qint64 notYetChecked = -1;
/// "Request sent".
inline constexpr qint64 requestSent = -2;
/// "User marked fixed".
inline constexpr qint64 userMarkedFixed = -3;
/// "Not checked": excluded from fetching by a rule (a "Do not check" term, FTP, form action,
/// redirect to a mail or telephone link).
inline constexpr qint64 notChecked = -4;
/// "Unable to make valid url".
inline constexpr qint64 unableToMakeValidUrl = -5;
/// "Disallowed by robots.txt".
inline constexpr qint64 disallowedByRobotsTxt = -6;
/// "File is directory".
inline constexpr qint64 fileIsDirectory = -7;
/// "File doesn't exist".
inline constexpr qint64 fileDoesNotExist = -8;
/// "Recurring redirect": the chain reached `recurringRedirectHops` hops.
inline constexpr qint64 recurringRedirect = -9;
/// How many redirects (by status, header or refresh) a record follows before it ends
/// `recurringRedirect`.
inline constexpr qint64 recurringRedirectHops = 13;
/// "possible 'soft 404'".
inline constexpr qint64 possibleSoft404 = -10;
/// "Missing link url": an empty or "#" link while "#" links count as bad.
inline constexpr qint64 missingLinkUrl = -11;
/// A professional-network site refused the request (status 999 or 429).
inline constexpr qint64 blockedByNetworkSite = -12;
/// A content-delivery edge refused the request.
inline constexpr qint64 blockedByEdgeService = -13;
/// The transport reported an error; the text is the record's error text.
inline constexpr qint64 completedWithError = -14;
/// "OK": a response that is not an HTTP response (a local file); counts as good.
inline constexpr qint64 nonHttpOk = -15;
/// A web-application firewall answered with its challenge page.
inline constexpr qint64 blockedByFirewallService = -16;
/// "Unknown error": the fetch was given up after its time-out.
inline constexpr qint64 unknownError = -17;
/// "Unauthorized": a challenge came and no credential was configured.
inline constexpr qint64 unauthorized = -18;
/// "Response header field Refresh:".
inline constexpr qint64 refreshHeader = -19;
/// "Redirection to nowhere".
inline constexpr qint64 redirectionToNowhere = -20;
/// "Missing image src".
inline constexpr qint64 missingImageSrc = -21;

/// Lowest internal code.
inline constexpr qint64 lowestInternal = -21;
} // namespace CrwlStatus
