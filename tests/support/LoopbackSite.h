// The scripted loopback site that the scan tests and the desktop session share: its routes and
// bodies are read from tests/fixtures/loopback-site.
#pragma once

#include <httplib.h>

namespace crawlmere::test {

/// Adds every route of tests/fixtures/loopback-site/routes.tsv to `server` (before it starts):
/// its status, body, content type and Location header, after the route's wait. "{x}" in a body
/// becomes the request's query parameter "x". An address not listed is left to the server (404).
/// Fails the current test when the table or a body cannot be read.
void serveLoopbackSite(httplib::Server& server);

} // namespace crawlmere::test
