// The scripted loopback sites of the scan tests and the desktop session: their routes and bodies
// are read from a folder of tests/fixtures (loopback-site unless another is named).
#pragma once

#include <httplib.h>

#include <QString>

namespace crawlmere::test {

/// Adds every route of tests/fixtures/<folder>/routes.tsv to `server` (before it starts): its
/// status, body (a file below <folder>/site/), content type and Location header, after the
/// route's wait. "{x}" in a body becomes the request's query parameter "x". An address not
/// listed is left to the server (404). Fails the current test when the table or a body cannot
/// be read.
void serveLoopbackSite(httplib::Server& server, const QString& folder = QStringLiteral("loopback-site"));

} // namespace crawlmere::test
